#include "app/program_folders.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/user_folders.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

constexpr char kApplicationFolder[] = "tarmix";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::vector<fs::path> dataFolders() {
    std::vector<fs::path> folders{XdgFolder("XDG_DATA_HOME", ".local/share")};
    std::string list = environment("XDG_DATA_DIRS");
    if (list.empty()) list = "/usr/local/share:/usr/share";
    std::stringstream entries(list);
    for (std::string entry; std::getline(entries, entry, ':');)
        if (fs::path(entry).is_absolute()) folders.emplace_back(entry);
    return folders;
}

bool isThere(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

}  // namespace

ProgramFolders FindProgramFolders(const fs::path& executableFolder) {
    if (!executableFolder.empty() && (isThere(executableFolder / kSettingsFileName) ||
                                      isThere(executableFolder / kLibraryFolderName)))
        return {executableFolder, executableFolder / kLibraryFolderName};

    ProgramFolders folders;
    folders.settings = XdgFolder("XDG_CONFIG_HOME", ".config") / kApplicationFolder;
    folders.library = fs::path("/usr/share") / kApplicationFolder / kLibraryFolderName;
    for (const fs::path& data : dataFolders()) {
        const fs::path library = data / kApplicationFolder / kLibraryFolderName;
        if (isThere(library)) {
            folders.library = library;
            break;
        }
    }
    return folders;
}

}  // namespace tarmix
