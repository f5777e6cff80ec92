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
// An answer is taken only when it begins with the command's echo (the command, then CR LF).
// An answer is at most 59999 characters for a listing and 9999 for the other commands: a
// device that talks on past that is not listened to any longer, and nothing of what it said
// is taken (a listing cut short would read as a drive or folder with fewer entries).
#pragma once

#include <cstddef>
#include <string>

#include "link/monitor_exchange.h"

namespace tarmix {

struct CollectionLimits {
    size_t capacity;       // the longest answer taken
    int silentAfterText;   // silent cycles borne once text (beyond the echo) arrived
    int silentBeforeText;  // ... while none did
    bool restartOnText;    // text resets the count of silent cycles
    bool echoIsNoText;     // only text beyond the echo (command + CR LF) counts as text
};

inline constexpr size_t kListingCapacity = 59999;
inline constexpr size_t kCommandCapacity = 9999;

inline constexpr CollectionLimits kListingLimits{kListingCapacity, 10, 300, true, true};
inline constexpr CollectionLimits kFinfoLimits{kCommandCapacity, 1, 3, false, false};
inline constexpr CollectionLimits CommandLimits(int silentCycles) {
    return {kCommandCapacity, silentCycles, silentCycles, false, false};
}

enum class Collected {
    Complete,    // the answer ends with the prompt
    GivenUp,     // silence ran out first: `answer` holds what arrived
    TooLong,     // more than the capacity arrived without the prompt: `answer` is cut short
    SendFailed,  // the command did not go out: nothing was received
    NotEchoed,   // it ends with the prompt but does not begin with the command's echo: the
                 // line changed the command or the controller restarted, and nothing of the
                 // answer is taken
    Unsettled,   // complete answers came, but no two agreed where agreement was asked for:
                 // the line changed them, and none is taken
};

Collected CollectToPrompt(MonitorExchange& monitor, const std::string& command, std::string& answer,
                          const CollectionLimits& limits);

// What the user is told of an answer that ran past `capacity` characters.
std::string TooLongText(size_t capacity);

}  // namespace tarmix
