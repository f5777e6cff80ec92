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

// What a command does with the PC file or folder one of its words names; checked, like
// everything else that can be checked without the controller, before a script runs.
enum class PcUse {
    None,
    ReadFile,   // a file that is read: it must be there and readable
    Image,      // a ROM image: the whole file must be sound
    WriteFile,  // a file that is written: its folder must be there
    Folder,     // a folder (optional word): it must be there
};

struct BatchCommand {
    std::string_view name;  // the fixed words, separated by single blanks
    size_t leastWords;      // words the line needs, the fixed ones included
    ShortLine shortLine;
    std::string_view heading;  // begins the command's failure messages, e.g. "<mkdir>\n\n"
    // Whether the arguments are within their values; nullptr when any words do.
    bool (*accepts)(const ScriptLine& line);
    // nullptr for a command this program refuses ("not supported").
    Step (*run)(BatchSession& session, const ScriptLine& line);
    PcUse pcUse;    // what the command does with the PC name of word `pcWord`
    size_t pcWord;  // counted from 0
};

// The catalogue text a line of `command` is refused with before it runs ("Format error",
// "Error" for download and upload with too few words, "not supported"); 0 when it may run.
int LineRefusal(const BatchCommand& command, const ScriptLine& line);

// All commands, in the order in which they are tried.
std::span<const BatchCommand> BatchCommands();

// The command a line's words name; nullptr when they name none.
const BatchCommand* FindBatchCommand(const std::vector<std::string>& words);

// Runs one line of a script: refuses it, runs its command, or ignores it.
Step RunScriptLine(BatchSession& session, const ScriptLine& line);

}  // namespace tarmix
