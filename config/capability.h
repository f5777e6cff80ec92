// The capability record: 5 to 10 numbers the monitor keeps about the controller's
// configuration. "tell caps" prints it, "init caps" replaces it whole. The program never
// builds a record from nothing: every change reads it, changes one value and sends all
// values back, as many as were read.
//
//   value 1  decimal  sent back unchanged
//   value 2  hex      EEPROM data length (cleared by an application download)
//   value 3  hex      EEPROM end address
//   value 4  decimal  real-time clock flag
//   5..10    decimal  sent back unchanged
//
// A line fault can change a digit of an answer without breaking its echo or prompt, and a
// record written back from such a reading would change values nobody touched. So the
// record is taken only from two readings that are the same (three before it is sent
// back), it is sent back only when a value must change, and it is read back afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/monitor_exchange.h"

namespace tarmix {

// The command that prints the record.
inline constexpr char kTellCaps[] = "tell caps";

inline constexpr size_t kMinCapabilityValues = 5;
inline constexpr size_t kMaxCapabilityValues = 10;
// The values that describe the EEPROM area, counted from 1.
inline constexpr size_t kEepromDataLengthValue = 2;
inline constexpr size_t kEepromEndValue = 3;

// The values of a "tell caps" answer (which starts with the 11-character echo), read with
// value 1 decimal, values 2 and 3 hexadecimal, the rest decimal; at most ten. Fewer than
// five values: nullopt, the record is unusable.
std::optional<std::vector<int>> ParseCapabilities(const std::string& answer);

// The values as the monitor prints them: "1 0000 2000 0 0".
std::string CapabilityText(const std::vector<int>& values);
// "init caps %d %04x %04x %d %d" with one more " %d" per value beyond the fifth.
std::string FormatInitCaps(const std::vector<int>& values);

// How long one answer may take to reach its prompt. The wait ends at the prompt, so a
// monitor that answers at once is not held up.
inline constexpr Wait kCapabilityAnswerLimit = Wait::Scaled(Millis{500});
// How many readings of an answer are taken at most while looking for two that agree.
inline constexpr int kReadingsLimit = 4;
// A record that is written back is first read alike three times, in at most one reading
// more: two faults that change two readings alike happen (a byte dropped from a run of
// equal digits gives the same text wherever it falls), and what is written back stays.
inline constexpr int kAgreeingBeforeWrite = 3;
// How many times a changed record is written at most: a fault on the line can change the
// command on its way, and the reading back shows it. What is written again is the record
// read before with the one value changed, so a second write is as right as the first.
inline constexpr int kCapabilityWrites = 3;

// Sends `command` and collects its whole answer (echo, CR LF, reply, prompt; at most
// `capacity` bytes), again and again until `needed` readings are the same, at most
// kReadingsLimit times (one more for each reading needed beyond two). What the readings
// agree on is what the monitor said: a byte the line changed makes its reading differ
// from the others. nullopt when not enough agreed.
std::optional<std::string> ReadAgreedAnswer(MonitorExchange& monitor, const std::string& command,
                                            size_t capacity, int needed = 2);

enum class CapabilityStatus {
    Read,        // two readings agreed on five to ten values
    NoRecord,    // two readings agreed on fewer than five values: no usable record
    Unreadable,  // no two complete readings agreed
};

struct CapabilityRecord {
    CapabilityStatus status = CapabilityStatus::Unreadable;
    std::vector<int> values;  // when Read
};

// The drive sizes of A:, B:, C: in kB from agreeing readings of "tell drives"; nullopt when
// no two readings agreed or the answer holds no sizes.
std::optional<std::array<int32_t, 3>> ReadAgreedDriveSizes(MonitorExchange& monitor,
                                                           size_t capacity);

// The record from `needed` agreeing readings of "tell caps" (ReadAgreedAnswer).
CapabilityRecord ReadCapabilities(MonitorExchange& monitor, size_t capacity, int needed = 2);

// Why the record could not be used (NoRecord or Unreadable), naming it: a catalogue text.
std::string CapabilityReadFailure(CapabilityStatus status);

enum class CapabilityChange {
    Unchanged,   // the value was so already: nothing sent
    Written,     // sent, and read back as sent
    NoRecord,    // nothing sent: the monitor keeps no usable record
    Unreadable,  // nothing sent: no two readings agreed
    NotTaken,    // sent, but the record does not read back as sent
};

struct CapabilityResult {
    CapabilityChange change = CapabilityChange::Unreadable;
    // For every change but Unchanged and Written: a catalogue text that names the record.
    std::string failure;
    bool ok() const { return failure.empty(); }
};

// Sets value `index` (1-based) of the record to `value`: reads the record; when the value
// differs, sends the whole record back with it, waits for the monitor's prompt and reads
// the record again, which must then hold exactly what was sent.
CapabilityResult SetCapability(MonitorExchange& monitor, size_t capacity, size_t index, int value);

// The last step of an application download: the old application's EEPROM data length goes
// to 0. A controller without a usable record keeps none to clear; a record that could not
// be read for certain, or that did not take the new value, is a failure. Returns it (a
// catalogue text that names the record); empty when there was none.
std::string ClearEepromDataLength(MonitorExchange& monitor);

}  // namespace tarmix
