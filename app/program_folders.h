// Where the program keeps its files. A portable installation keeps "Tarmix.ini" and the
// boot images folder "Library" beside the executable; otherwise the settings live in the
// user's configuration folder and "Library" is looked for in the data folders.
#pragma once

#include <filesystem>

namespace tarmix {

inline constexpr char kLibraryFolderName[] = "Library";

struct ProgramFolders {
    std::filesystem::path settings;  // holds Tarmix.ini
    std::filesystem::path library;   // the "Library" folder (may not exist)
};

// For the executable in `executableFolder`: that folder for both when it holds Tarmix.ini
// or Library. Otherwise the settings go to $XDG_CONFIG_HOME/tarmix (~/.config/tarmix), and
// Library is the first "tarmix/Library" that exists in $XDG_DATA_HOME (~/.local/share) and
// $XDG_DATA_DIRS (/usr/local/share:/usr/share), else /usr/share/tarmix/Library.
ProgramFolders FindProgramFolders(const std::filesystem::path& executableFolder);

}  // namespace tarmix
