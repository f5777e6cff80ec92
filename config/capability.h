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
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/monitor_exchange.h"

namespace tarmix {

inline constexpr size_t kMinCapabilityValues = 5;
inline constexpr size_t kMaxCapabilityValues = 10;

// The values of a "tell caps" answer (which starts with the 11-character echo), read with
// value 1 decimal, values 2 and 3 hexadecimal, the rest decimal; at most ten. Fewer than
// five values: nullopt, the record is unusable.
std::optional<std::vector<int>> ParseCapabilities(const std::string& answer);

// "init caps %d %04x %04x %d %d" with one more " %d" per value beyond the fifth.
std::string FormatInitCaps(const std::vector<int>& values);

// How long a "tell caps" answer may take to reach its prompt, before the time factor. The
// wait ends at the prompt, so a monitor that answers at once is not held up.
inline constexpr Millis kCapabilityAnswerLimit{500};

// Sends "tell caps" and reads the record from its whole answer: the echo, the values and
// the prompt, collected in as many pieces as the line brings them (at most `capacity`
// characters). nullopt when the prompt did not arrive, the echo is wrong or fewer than
// five values were read: a record seen only in part is never taken for the whole.
std::optional<std::vector<int>> ReadCapabilities(MonitorExchange& monitor, size_t capacity);

// Reads the record (ReadCapabilities), replaces value `index` (1-based) with `value` and
// sends the record back; the answer to "init caps" is not read. Returns false, sending
// nothing, when the record is unusable.
bool RewriteCapability(MonitorExchange& monitor, size_t capacity, size_t index, int value);

}  // namespace tarmix
