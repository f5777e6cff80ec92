// The production line's options: several stations programming at once, a station loop,
// and the device history record.
//
//   tarmix --headless --gang --port /dev/ttyUSB0 --port /dev/ttyUSB1 /p app.rom
//   tarmix --headless --repeat --port /dev/ttyUSB0 --record line.jsonl /p app.rom
//   tarmix --record-summary line.jsonl
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarmix {

struct LineOptions {
    bool gang = false;          // one station per --port, all at once
    bool repeat = false;        // each station programs one controller after another
    std::optional<int> baud;    // --baud: the bulk rate of this run instead of the settings'
    std::string record;         // --record FILE or postgresql://...: the device history
    std::string recordSummary;  // --record-summary FILE or postgresql://...

    // The run is a production line (one station or more).
    bool active() const { return gang || repeat || !record.empty(); }
};

// Takes the line option at arguments[i] (and its value), moving i past it. false when the
// word is none of them; `error` is set when it is one but its value is wrong.
bool TakeLineOption(const std::vector<std::string>& arguments, size_t& i, LineOptions& options,
                    std::string& error);

// The --help lines of the options above.
std::string LineUsageText();

}  // namespace tarmix
