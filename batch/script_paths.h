// PC file names inside batch scripts. Scripts store them with "\" as the separator, so a
// script written on either platform runs on both; they become PC paths here, at the file
// system boundary. A name is absolute when it contains ":" or starts with a separator;
// any other name is taken relative to the script's own folder.
#pragma once

#include <string>
#include <string_view>

namespace tarmix {

// The folder part of a script's path, up to and including its last separator ("/" or
// "\"); empty when it has none.
std::string ScriptFolder(std::string_view scriptPath);

// A file name as written in a script (8-bit text), as a PC path: every "\" becomes "/",
// the characters are written in UTF-8, and a relative name gets `folder` in front.
std::string ScriptFileToPcPath(std::string_view name, std::string_view folder);

}  // namespace tarmix
