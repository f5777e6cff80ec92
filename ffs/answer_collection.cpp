#include "ffs/answer_collection.h"

#include <algorithm>

#include "lang/format_text.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {
// One look at the line takes at most this much; the answer grows by as many looks as needed.
constexpr size_t kReceiveChunk = 4096;
constexpr Wait kCycle = Wait::Scaled(MonitorExchange::kCycle);
constexpr char kEchoEnd[] = "\r\n";
}  // namespace

Collected CollectToPrompt(MonitorExchange& monitor, const std::string& command, std::string& answer,
                          const CollectionLimits& limits) {
    answer.clear();
    if (!monitor.SendCommand(command)) return Collected::SendFailed;
    const size_t echoLength = limits.echoIsNoText ? command.size() + 2 : 0;
    int silent = 0;
    std::string cycle;
    while (true) {
        // One character past the capacity tells a full answer from one that runs on.
        const size_t room = std::min(kReceiveChunk, limits.capacity + 1 - answer.size());
        monitor.Receive(cycle, room, room, kCycle);
        if (!cycle.empty()) {
            answer += cycle;
            if (answer.size() > limits.capacity) return Collected::TooLong;
            if (limits.restartOnText) silent = 0;
            continue;
        }
        if (EndsWithPrompt(answer))
            return answer.starts_with(command + kEchoEnd) ? Collected::Complete
                                                          : Collected::NotEchoed;
        const bool textArrived = answer.size() > echoLength;
        ++silent;
        if (silent >= (textArrived ? limits.silentAfterText : limits.silentBeforeText))
            return Collected::GivenUp;
    }
}

std::string TooLongText(size_t capacity) { return FormatText(text::kAnswerTooLong, capacity); }

}  // namespace tarmix
