// Gathering a file-system command's answer up to the monitor prompt.
//
// The command goes out after the input has been drained; then receive cycles of 100 ms
// (times the time factor) collect the answer until a silent cycle finds it ending with the
// prompt. How long silence is borne differs by command:
//   - listings ("tree", "dir") count silent cycles in a row and start again whenever text
//     arrives: 10 once more than the echo is there, 300 while nothing or only the echo is;
//   - the other commands count silent cycles over the whole answer, whether text arrived
//     in between or not: their own limit, with "finfo" bearing 1 once text has begun and 3
//     before.
// The buffer grows with the answer, so a long folder is never cut short.
#pragma once

#include <cstddef>
#include <string>

#include "link/monitor_exchange.h"

namespace tarmix {

struct CollectionLimits {
    int silentAfterText;   // silent cycles borne once text (beyond the echo) arrived
    int silentBeforeText;  // ... while none did
    bool restartOnText;    // text resets the count of silent cycles
    bool echoIsNoText;     // only text beyond the echo (command + CR LF) counts as text
};

inline constexpr CollectionLimits kListingLimits{10, 300, true, true};
inline constexpr CollectionLimits kFinfoLimits{1, 3, false, false};
inline constexpr CollectionLimits CommandLimits(int silentCycles) {
    return {silentCycles, silentCycles, false, false};
}

enum class Collected {
    Complete,    // the answer ends with the prompt
    GivenUp,     // silence ran out first: `answer` holds what arrived
    SendFailed,  // the command did not go out: nothing was received
};

Collected CollectToPrompt(MonitorExchange& monitor, const std::string& command, std::string& answer,
                          const CollectionLimits& limits);

}  // namespace tarmix
