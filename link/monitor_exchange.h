// The command/answer rules of the boot monitor, and the one place that waits for its answers.
//
// A command is one line ended by CR. The monitor echoes it, sends CR LF and its answer, and
// when it is ready again it sends the prompt "\r\nBoot> ". SendCommand first throws away
// whatever is still queued, so leftovers of an earlier, timed-out exchange are never taken
// for the next answer.
//
// The rules every receive here follows:
// - Every wait is a Wait that names how the time factor applies to it; no duration is
//   taken bare.
// - `capacity` is the most bytes an answer keeps (the whole answer, also where a receive
//   adds to what it was given); what arrives beyond it is not read and stays queued.
// - Every receive returns a Reply: what it heard, and how many bytes it received.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/serial.h"

namespace tarmix {

inline constexpr char kMonitorPrompt[] = "\r\nBoot> ";
inline constexpr size_t kMonitorPromptLength = sizeof(kMonitorPrompt) - 1;

// True when the text ends with the monitor prompt.
bool EndsWithPrompt(const std::string& text);

// How long a receive waits.
class Wait {
  public:
    // A base time-out multiplied by the link's time factor: the rule for the monitor's
    // answers, which a slow line stretches.
    static constexpr Wait Scaled(Millis base) { return {base, Rule::Scaled}; }
    // A time no factor changes.
    static constexpr Wait Fixed(Millis time) { return {time, Rule::Fixed}; }
    // A base time-out multiplied by (time factor / 3 + 1): the flash's own erase and program
    // times, which a slow line stretches less than an answer.
    static constexpr Wait Damped(Millis base) { return {base, Rule::Damped}; }
    // Damped, then multiplied by the time factor as well.
    static constexpr Wait DampedAndScaled(Millis base) { return {base, Rule::DampedAndScaled}; }

    // This wait with a fixed time on top (what the line needs to carry a known count of
    // bytes).
    constexpr Wait Plus(Millis fixed) const {
        Wait sum = *this;
        sum.extra_ += fixed;
        return sum;
    }
    // The wait under `timeFactor`.
    constexpr Millis Under(uint32_t timeFactor) const {
        const uint32_t damping = timeFactor / 3 + 1;
        switch (rule_) {
            case Rule::Fixed:
                return base_ + extra_;
            case Rule::Scaled:
                return base_ * timeFactor + extra_;
            case Rule::Damped:
                return base_ * damping + extra_;
            case Rule::DampedAndScaled:
                return base_ * damping * timeFactor + extra_;
        }
        return base_ + extra_;
    }

  private:
    enum class Rule { Fixed, Scaled, Damped, DampedAndScaled };
    constexpr Wait(Millis base, Rule rule) : base_(base), rule_(rule) {}

    Millis base_;
    Rule rule_;
    Millis extra_{0};
};

// What a receive heard.
enum class Heard {
    Prompt,      // the answer ends with the prompt
    Expected,    // what was waited for came: the bytes wanted, or the text looked for
    Other,       // enough arrived, but it does not begin with the text looked for
    TooLittle,   // the wait ended first
    Full,        // the answer reached its capacity without the prompt
    SendFailed,  // the command did not (wholly) go out
    ReadFailed,  // reading the line failed
};

struct Reply {
    Heard heard = Heard::TooLittle;
    size_t received = 0;  // bytes this call received
    bool ok() const { return heard == Heard::Prompt || heard == Heard::Expected; }
};

class MonitorExchange {
  public:
    // One receive cycle of SendAndWaitPrompt, before the time factor.
    static constexpr Millis kCycle{100};

    explicit MonitorExchange(CSerial& serial, uint32_t timeFactor = 1)
        : serial_(serial), timeFactor_(timeFactor) {}

    uint32_t timeFactor() const { return timeFactor_; }
    void setTimeFactor(uint32_t factor) { timeFactor_ = factor ? factor : 1; }
    CSerial& serial() { return serial_; }

    // --- Sending. false when the line did not wholly go out.

    // Throws away what is queued, then sends the command line.
    bool SendCommand(const std::string& command);
    // The line alone, for steps that cleared the line their own way (or must not).
    bool SendLine(const std::string& line);

    // --- Receiving, nothing sent. A read failure is ReadFailed whatever else arrived.

    // Waits until `wanted` bytes are there or the wait is over (in whole poll periods), then
    // replaces `answer` by what arrived. Expected once `wanted` bytes came, else TooLittle.
    Reply Receive(std::string& answer, size_t capacity, size_t wanted, Wait wait);
    // Receive, then Expected when the answer begins with `expected` (however many bytes
    // came), TooLittle when it is shorter than that, Other when it differs.
    Reply ReceiveStartingWith(std::string& answer, const std::string& expected, size_t capacity,
                              size_t wanted, Wait wait);
    // Replaces `answer` by what is waiting once at least one byte is there or the wait is
    // over (Wait::Fixed(0ms): only what is there now). Expected when anything came.
    Reply ReceiveWaiting(std::string& answer, size_t capacity, Wait wait);
    // Adds what arrives (in any number of pieces) to `answer` until it ends with the prompt
    // (Prompt), holds `capacity` bytes (Full), or `limit` has passed (TooLittle): the wait
    // ends as soon as the prompt has arrived.
    Reply ReceiveUntilPrompt(std::string& answer, size_t capacity, Wait limit);
    // The same, but the wait is the silence borne after each piece; `taken` sees the answer
    // after every piece.
    Reply ReceiveUntilSilent(std::string& answer, size_t capacity, Wait silence,
                             const std::function<void(const std::string&)>& taken = {});
    // Adds to `answer` until it holds `count` bytes (Expected) or the wait is over. A look
    // at the line takes up to `look` bytes, so `answer` may end up holding more than
    // `count`: the surplus is the start of what follows.
    Reply ReceiveAtLeast(std::string& answer, size_t count, size_t look, Wait wait);
    // Exactly `count` bytes into `buffer` (never more) unless the wait is over first. An
    // abandoned operation does not wait for the rest.
    Reply ReceiveExactly(uint8_t* buffer, size_t count, Wait wait);
    // Reads and throws away until a look of `quiet` brings nothing. false when the line does
    // not fall silent within `limit`, or reading fails.
    bool DrainUntilQuiet(Wait quiet, Wait limit);

    // --- Exchanges: SendCommand, then a receive.

    // Collects the answer in kCycle cycles until the line has been silent for one cycle
    // and the text ends with the prompt (Prompt), or until the silent cycles add up to
    // `silence`. A device that keeps talking is never cut off by it. The answer is
    // collected also after a failed send (a write that failed part-way may have gone out).
    Reply SendAndWaitPrompt(const std::string& command, std::string& answer, size_t capacity,
                            Wait silence);
    // ReceiveUntilPrompt after the command; SendFailed (nothing received) when it did not
    // go out. Prompt means the whole answer is there.
    Reply CollectUntilPrompt(const std::string& command, std::string& answer, size_t capacity,
                             Wait limit);
    // What arrives after the command in the whole wait, which ends early only once
    // `capacity` bytes are there: the caller judges the text. Collected also after a failed
    // send.
    Reply CollectAnswer(const std::string& command, std::string& answer, size_t capacity,
                        Wait wait);

    // Whether the monitor still answers: an empty line brings its prompt within a second
    // (scaled). After a failed exchange this tells a refusal from a line gone silent.
    bool Answers();

  private:
    Millis span(Wait wait) const { return wait.Under(timeFactor_); }
    // ReceiveUntilPrompt and ReceiveUntilSilent: `renew` starts the wait afresh after every
    // piece.
    Reply Collect(std::string& answer, size_t capacity, Wait wait, bool renew,
                  const std::function<void(const std::string&)>& taken);

    CSerial& serial_;
    uint32_t timeFactor_;
};

}  // namespace tarmix
