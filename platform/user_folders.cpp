#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tarmix {

namespace fs = std::filesystem;

namespace {

fs::path absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    const fs::path path = value ? value : "";
    return path.is_absolute() ? path : fs::path();
}

fs::path passwordDatabaseHome() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size_t(size > 0 ? size : 16384));
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return {};
    const fs::path home = found->pw_dir;
    return home.is_absolute() ? home : fs::path();
}

}  // namespace

fs::path HomeFolder() {
    const fs::path home = absoluteVariable("HOME");
    return home.empty() ? passwordDatabaseHome() : home;
}

fs::path XdgFolder(const char* variable, const char* homeRelative) {
    const fs::path set = absoluteVariable(variable);
    if (!set.empty()) return set;
    const fs::path home = HomeFolder();
    return home.empty() ? fs::path() : home / homeRelative;
}

}  // namespace tarmix
