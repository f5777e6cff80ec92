#include "batch/script_paths.h"

#include <algorithm>

#include "platform/latin1.h"
#include "platform/pc_paths.h"

namespace tarmix {

std::string ScriptFolder(std::string_view scriptPath) {
    const size_t last = scriptPath.find_last_of("/\\");
    return last == std::string_view::npos ? std::string()
                                          : std::string(scriptPath.substr(0, last + 1));
}

std::string ScriptFileToPcPath(std::string_view name, std::string_view folder) {
    std::string path = Latin1ToUtf8(name);
    std::replace(path.begin(), path.end(), '\\', '/');
    return CompleteName(path, folder);
}

}  // namespace tarmix
