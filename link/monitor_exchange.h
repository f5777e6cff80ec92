// The command/answer rules of the boot monitor.
//
// A command is one line ended by CR. The monitor echoes it, sends CR LF and its answer, and
// when it is ready again it sends the prompt "\r\nBoot> ". Every exchange first throws away
// whatever is still queued, so leftovers of an earlier, timed-out exchange are never taken
// for the next answer. Time-outs are base values multiplied by the time factor.
#pragma once

#include <cstdint>
#include <string>

#include "link/serial.h"

namespace tarmix {

inline constexpr char kMonitorPrompt[] = "\r\nBoot> ";
inline constexpr size_t kMonitorPromptLength = sizeof(kMonitorPrompt) - 1;

// True when the text ends with the monitor prompt.
bool EndsWithPrompt(const std::string& text);

// Adds what arrives (in any number of pieces) to `answer` until it ends with the prompt,
// until it holds `capacity` bytes, or until `limit` has passed, whichever comes first: the
// wait ends as soon as the prompt has arrived. 1 only when reading fails.
int ReceiveUntilPrompt(CSerial& serial, std::string& answer, size_t capacity, Millis limit);

class MonitorExchange {
  public:
    // One receive cycle of SendAndWaitPrompt, before the time factor.
    static constexpr Millis kCycle{100};

    explicit MonitorExchange(CSerial& serial, uint32_t timeFactor = 1)
        : serial_(serial), timeFactor_(timeFactor) {}

    uint32_t timeFactor() const { return timeFactor_; }
    void setTimeFactor(uint32_t factor) { timeFactor_ = factor ? factor : 1; }
    // A base time-out multiplied by the time factor.
    Millis scaled(Millis base) const { return base * timeFactor_; }
    CSerial& serial() { return serial_; }

    // Sends the command and collects the answer in 100 ms cycles (scaled) until the line
    // has been silent for one cycle and the text ends with the prompt (true), or until the
    // silent cycles add up to `silenceBudget` (false). A device that keeps talking is never
    // cut off by the budget. `answer` holds everything received, at most capacity-1 bytes.
    bool SendAndWaitPrompt(const std::string& command, std::string& answer, size_t capacity,
                           Millis silenceBudget);

    // Sends the command and waits until expected.size() bytes are there or `timeout`
    // (given already scaled where the caller scales it). True when the answer starts with
    // `expected` exactly; false when it differs, when too little arrived, or when the send
    // failed (then nothing is received).
    bool SendAndExpect(const std::string& command, const std::string& expected, std::string& answer,
                       size_t capacity, Millis timeout);

    // Sends the command and returns what arrived within `timeout`: at most capacity-1 bytes.
    std::string CollectAnswer(const std::string& command, size_t capacity, Millis timeout);

    // Sends the command and collects its answer with ReceiveUntilPrompt (at most `capacity`
    // bytes, `limit` given already scaled where the caller scales it). True when the send
    // worked and the answer ends with the prompt: the whole answer is there.
    bool CollectUntilPrompt(const std::string& command, std::string& answer, size_t capacity,
                            Millis limit);

    // Whether the monitor still answers: an empty line brings its prompt within a second
    // (scaled). After a failed exchange this tells a refusal from a line gone silent.
    bool Answers();

  private:
    CSerial& serial_;
    uint32_t timeFactor_;
};

}  // namespace tarmix
