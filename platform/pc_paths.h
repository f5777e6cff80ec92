// Names of files on the PC as the program's users write them: a name is absolute when it
// contains a drive colon or starts at the root; any other name belongs to a folder (the
// folder of the chosen file, or of the running script).
#pragma once

#include <string>
#include <string_view>

namespace tarmix {

bool IsAbsoluteName(std::string_view name);

// `name` itself when it is absolute or `folder` is empty; otherwise `folder`, a separator
// unless it already ends with one, and `name`.
std::string CompleteName(std::string_view name, std::string_view folder);

}  // namespace tarmix
