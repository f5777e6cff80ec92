#include "link/monitor_exchange.h"

#include <algorithm>

#include "platform/stop_request.h"

namespace tarmix {

namespace {

// A look at the line takes at most this much while an answer is collected or drained.
constexpr size_t kPiece = 4096;
// Bytes a ReceiveExactly look waits for at most: a pseudo-terminal holds about 4 kB, so
// waiting for more than that would only wait for the time-out.
constexpr size_t kExactPiece = 2048;

// What a receive that looked for the prompt heard, by its answer.
Heard PromptOrNot(const std::string& answer, size_t capacity) {
    if (EndsWithPrompt(answer)) return Heard::Prompt;
    return answer.size() >= capacity ? Heard::Full : Heard::TooLittle;
}

}  // namespace

bool EndsWithPrompt(const std::string& text) {
    return text.size() >= kMonitorPromptLength &&
           text.compare(text.size() - kMonitorPromptLength, kMonitorPromptLength, kMonitorPrompt) ==
               0;
}

bool MonitorExchange::SendCommand(const std::string& command) {
    serial_.DrainInput();
    return serial_.SendLine(command) == 0;
}

bool MonitorExchange::SendLine(const std::string& line) { return serial_.SendLine(line) == 0; }

Reply MonitorExchange::Receive(std::string& answer, size_t capacity, size_t wanted, Wait wait) {
    if (serial_.ReceiveText(answer, capacity, wanted, span(wait)) != 0)
        return {Heard::ReadFailed, answer.size()};
    return {answer.size() >= wanted ? Heard::Expected : Heard::TooLittle, answer.size()};
}

Reply MonitorExchange::ReceiveStartingWith(std::string& answer, const std::string& expected,
                                           size_t capacity, size_t wanted, Wait wait) {
    const Reply reply = Receive(answer, capacity, wanted, wait);
    if (reply.heard == Heard::ReadFailed) return reply;
    if (answer.size() < expected.size()) return {Heard::TooLittle, reply.received};
    return {answer.starts_with(expected) ? Heard::Expected : Heard::Other, reply.received};
}

Reply MonitorExchange::ReceiveWaiting(std::string& answer, size_t capacity, Wait wait) {
    answer.clear();
    if (serial_.ReceiveMore(answer, capacity, serial_.clock().now() + span(wait)) != 0)
        return {Heard::ReadFailed, answer.size()};
    return {answer.empty() ? Heard::TooLittle : Heard::Expected, answer.size()};
}

Reply MonitorExchange::Collect(std::string& answer, size_t capacity, Wait wait, bool renew,
                               const std::function<void(const std::string&)>& taken) {
    const size_t before = answer.size();
    Millis deadline = serial_.clock().now() + span(wait);
    while (answer.size() < capacity && !EndsWithPrompt(answer)) {
        const Millis now = serial_.clock().now();
        if (renew)
            deadline = now + span(wait);
        else if (now >= deadline)
            break;
        const size_t had = answer.size();
        if (serial_.ReceiveMore(answer, std::min(capacity - had, kPiece), deadline) != 0)
            return {Heard::ReadFailed, answer.size() - before};
        if (answer.size() == had) break;  // the wait is over
        if (taken) taken(answer);
    }
    return {PromptOrNot(answer, capacity), answer.size() - before};
}

Reply MonitorExchange::ReceiveUntilPrompt(std::string& answer, size_t capacity, Wait limit) {
    return Collect(answer, capacity, limit, false, {});
}

Reply MonitorExchange::ReceiveUntilSilent(std::string& answer, size_t capacity, Wait silence,
                                          const std::function<void(const std::string&)>& taken) {
    return Collect(answer, capacity, silence, true, taken);
}

Reply MonitorExchange::ReceiveAtLeast(std::string& answer, size_t count, size_t look, Wait wait) {
    Clock& clock = serial_.clock();
    const Millis deadline = clock.now() + span(wait);
    const size_t before = answer.size();
    std::string part;
    while (answer.size() < count) {
        const Millis left = deadline - clock.now();
        if (left <= Millis{0}) break;
        // A failed look's bytes are not taken: what they would continue is unknown.
        if (serial_.ReceiveText(part, look, count - answer.size(), left) != 0)
            return {Heard::ReadFailed, answer.size() - before};
        answer += part;
    }
    return {answer.size() >= count ? Heard::Expected : Heard::TooLittle, answer.size() - before};
}

Reply MonitorExchange::ReceiveExactly(uint8_t* buffer, size_t count, Wait wait) {
    Clock& clock = serial_.clock();
    const Millis deadline = clock.now() + span(wait);
    size_t got = 0;
    while (got < count) {
        const Millis left = deadline - clock.now();
        if (left <= Millis{0}) break;
        size_t piece = 0;
        const int failed = serial_.ReceiveBytes(buffer + got, count - got, piece,
                                                std::min(count - got, kExactPiece), left);
        got += piece;
        if (failed) return {Heard::ReadFailed, got};
        // An abandoned operation does not wait for the rest of a frame still arriving.
        if (AbandonRequested()) break;
    }
    return {got == count ? Heard::Expected : Heard::TooLittle, got};
}

bool MonitorExchange::DrainUntilQuiet(Wait quiet, Wait limit) {
    const Millis deadline = serial_.clock().now() + span(limit);
    std::string thrown;
    do {
        if (serial_.ReceiveText(thrown, kPiece, kPiece, span(quiet)) != 0) return false;
        if (thrown.empty()) return true;
    } while (serial_.clock().now() < deadline);
    return false;
}

Reply MonitorExchange::SendAndWaitPrompt(const std::string& command, std::string& answer,
                                         size_t capacity, Wait silence) {
    const bool sent = SendCommand(command);
    answer.clear();
    const Millis cycle = span(Wait::Scaled(kCycle));
    const Millis budget = span(silence);
    bool readFailed = false;
    Millis silent{0};
    std::string piece;
    while (silent < budget) {
        const size_t free = capacity - answer.size();
        readFailed |= serial_.ReceiveText(piece, free, free, cycle) != 0;
        if (!piece.empty()) {
            answer += piece;
            continue;
        }
        // The prompt counts only once the line has gone quiet, so a prompt in the middle
        // of a longer reply does not end the exchange early.
        if (EndsWithPrompt(answer)) return {Heard::Prompt, answer.size()};
        silent += cycle;
    }
    if (!sent) return {Heard::SendFailed, answer.size()};
    if (readFailed) return {Heard::ReadFailed, answer.size()};
    return {PromptOrNot(answer, capacity), answer.size()};
}

Reply MonitorExchange::CollectUntilPrompt(const std::string& command, std::string& answer,
                                          size_t capacity, Wait limit) {
    answer.clear();
    if (!SendCommand(command)) return {Heard::SendFailed, 0};
    return ReceiveUntilPrompt(answer, capacity, limit);
}

Reply MonitorExchange::CollectAnswer(const std::string& command, std::string& answer,
                                     size_t capacity, Wait wait) {
    const bool sent = SendCommand(command);
    const Reply reply = Receive(answer, capacity, capacity, wait);
    if (!sent && reply.heard != Heard::ReadFailed) return {Heard::SendFailed, reply.received};
    return reply;
}

bool MonitorExchange::Answers() {
    static constexpr Wait kPromptLimit = Wait::Scaled(Millis{1000});
    static constexpr size_t kCapacity = 256;
    std::string answer;
    return CollectUntilPrompt("", answer, kCapacity, kPromptLimit).heard == Heard::Prompt;
}

}  // namespace tarmix
