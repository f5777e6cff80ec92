#include "link/monitor_exchange.h"

namespace tarmix {

bool EndsWithPrompt(const std::string& text) {
    return text.size() >= kMonitorPromptLength &&
           text.compare(text.size() - kMonitorPromptLength, kMonitorPromptLength, kMonitorPrompt) ==
               0;
}

int ReceiveUntilPrompt(CSerial& serial, std::string& answer, size_t capacity, Millis limit) {
    const Millis deadline = serial.clock().now() + limit;
    while (answer.size() < capacity && !EndsWithPrompt(answer) && serial.clock().now() < deadline) {
        if (serial.ReceiveMore(answer, capacity - answer.size(), deadline) != 0) return 1;
    }
    return 0;
}

bool MonitorExchange::SendAndWaitPrompt(const std::string& command, std::string& answer,
                                        size_t capacity, Millis silenceBudget) {
    serial_.DrainInput();
    serial_.SendLine(command);
    answer.clear();
    const size_t room = capacity > 0 ? capacity - 1 : 0;
    Millis silent{0};
    std::string cycle;
    while (silent < silenceBudget) {
        const size_t free = room - answer.size();
        serial_.ReceiveText(cycle, free, free, scaled(kCycle));
        if (!cycle.empty()) {
            answer += cycle;
            continue;
        }
        // The prompt counts only once the line has gone quiet, so a prompt in the middle
        // of a longer reply does not end the exchange early.
        if (EndsWithPrompt(answer)) return true;
        silent += kCycle;
    }
    return false;
}

bool MonitorExchange::SendAndExpect(const std::string& command, const std::string& expected,
                                    std::string& answer, size_t capacity, Millis timeout) {
    answer.clear();
    serial_.DrainInput();
    if (serial_.SendLine(command) != 0) return false;
    serial_.ReceiveText(answer, capacity, expected.size(), timeout);
    return answer.compare(0, expected.size(), expected) == 0 && answer.size() >= expected.size();
}

std::string MonitorExchange::CollectAnswer(const std::string& command, size_t capacity,
                                           Millis timeout) {
    serial_.DrainInput();
    serial_.SendLine(command);
    std::string answer;
    const size_t room = capacity > 0 ? capacity - 1 : 0;
    serial_.ReceiveText(answer, room, room, timeout);
    return answer;
}

bool MonitorExchange::CollectUntilPrompt(const std::string& command, std::string& answer,
                                         size_t capacity, Millis limit) {
    answer.clear();
    serial_.DrainInput();
    if (serial_.SendLine(command) != 0) return false;
    return ReceiveUntilPrompt(serial_, answer, capacity, limit) == 0 && EndsWithPrompt(answer);
}

bool MonitorExchange::Answers() {
    static constexpr Millis kPromptLimit{1000};
    static constexpr size_t kCapacity = 256;
    std::string answer;
    return CollectUntilPrompt("", answer, kCapacity, scaled(kPromptLimit));
}

}  // namespace tarmix
