// The command table of batch scripts. A line runs the first command whose fixed words open
// it; a line that opens no command is ignored without a message. Command words are lower
// case and compared exactly.
//
// A line with fewer words than its command needs, or with an argument outside its values,
// is refused with the command's heading and "Format error" (download and upload: "Error"
// and the last answer) and ends the run.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch_session.h"

namespace tarmix {

// How a line that has a command's fixed words but too few words is refused.
enum class ShortLine {
    FormatError,          // heading + "Format error"
    ErrorWithLastAnswer,  // heading + "Error", an empty line and the last answer
};

struct BatchCommand {
    std::string_view name;  // the fixed words, separated by single blanks
    size_t leastWords;      // words the line needs, the fixed ones included
    ShortLine shortLine;
    std::string_view heading;  // begins the command's failure messages, e.g. "<mkdir>\n\n"
    // Whether the arguments are within their values; nullptr when any words do.
    bool (*accepts)(const ScriptLine& line);
    Step (*run)(BatchSession& session, const ScriptLine& line);
};

// All commands, in the order in which they are tried.
std::span<const BatchCommand> BatchCommands();

// The command a line's words name; nullptr when they name none.
const BatchCommand* FindBatchCommand(const std::vector<std::string>& words);

// Runs one line of a script: refuses it, runs its command, or ignores it.
Step RunScriptLine(BatchSession& session, const ScriptLine& line);

}  // namespace tarmix
