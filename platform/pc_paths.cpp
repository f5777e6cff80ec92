#include "platform/pc_paths.h"

namespace tarmix {

bool IsAbsoluteName(std::string_view name) {
    return name.find(':') != std::string_view::npos || name.starts_with('/');
}

std::string CompleteName(std::string_view name, std::string_view folder) {
    if (IsAbsoluteName(name) || folder.empty()) return std::string(name);
    std::string path(folder);
    if (path.back() != '/' && path.back() != '\\') path += '/';
    return path.append(name);
}

}  // namespace tarmix
