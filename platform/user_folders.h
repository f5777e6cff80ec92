// The user's own folders: home, and the XDG base folders below it.
#pragma once

#include <filesystem>

namespace tarmix {

// $HOME when it is an absolute path; otherwise the home folder the password database gives
// the user (never the folder the program happens to run in). Empty when neither is known.
std::filesystem::path HomeFolder();

// An XDG base folder: `variable` when it holds an absolute path, else HomeFolder()/fallback
// (for example XDG_STATE_HOME and ".local/state").
std::filesystem::path XdgFolder(const char* variable, const char* homeRelative);

}  // namespace tarmix
