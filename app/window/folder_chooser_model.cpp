#include "app/window/folder_chooser_model.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace tarmix {

namespace fs = std::filesystem;

namespace {

// Where removable volumes and the operator's own mounts appear.
constexpr std::string_view kVolumeFolders[] = {"/media/", "/run/media/", "/mnt/"};
constexpr char kDots[] = ".....";
constexpr size_t kKeptLead = 3;

// /proc/self/mounts writes blanks and tabs in a mount point as octal escapes ("\040").
std::string UnescapeMountPoint(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool octal = text[i] == '\\' && i + 3 < text.size() &&
                           std::all_of(text.begin() + long(i) + 1, text.begin() + long(i) + 4,
                                       [](char c) { return c >= '0' && c <= '7'; });
        if (octal) {
            out += char((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 + (text[i + 3] - '0'));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsVolume(const std::string& mountPoint) {
    return std::any_of(
        std::begin(kVolumeFolders), std::end(kVolumeFolders), [&](std::string_view folder) {
            return mountPoint.size() > folder.size() && mountPoint.starts_with(folder);
        });
}

bool HasControlCharacter(const std::string& name) {
    return std::any_of(name.begin(), name.end(),
                       [](char c) { return (unsigned char)c < 0x20 || c == 0x7f; });
}

}  // namespace

std::vector<FolderRoot> FolderChooserRoots(const std::string& home, std::string_view mounts) {
    std::vector<FolderRoot> roots{{"/", FolderRootKind::System}};
    std::string homeFolder = home;
    while (homeFolder.size() > 1 && homeFolder.back() == '/') homeFolder.pop_back();
    if (homeFolder.starts_with('/') && homeFolder != "/")
        roots.push_back({homeFolder, FolderRootKind::Home});
    std::vector<std::string> volumes;
    std::istringstream lines{std::string(mounts)};
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string device, mountPoint;
        if (!(fields >> device >> mountPoint)) continue;
        mountPoint = UnescapeMountPoint(mountPoint);
        if (IsVolume(mountPoint) &&
            std::find(volumes.begin(), volumes.end(), mountPoint) == volumes.end())
            volumes.push_back(mountPoint);
    }
    std::sort(volumes.begin(), volumes.end());
    for (const std::string& volume : volumes) roots.push_back({volume, FolderRootKind::Volume});
    return roots;
}

std::vector<FolderRoot> FolderChooserRoots() {
    const char* home = std::getenv("HOME");
    std::ifstream file("/proc/self/mounts");
    std::stringstream mounts;
    mounts << file.rdbuf();
    return FolderChooserRoots(home != nullptr ? home : "", mounts.str());
}

std::vector<std::string> SubFolderNames(const std::string& path) {
    std::vector<std::string> names;
    std::error_code error;
    fs::directory_iterator entries(path, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code ignored;  // an entry that cannot be examined is no folder to show
        if (entries->is_directory(ignored)) names.push_back(entries->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string JoinFolderPath(const std::string& parent, const std::string& name) {
    if (parent.empty()) return name;
    return parent.back() == '/' ? parent + name : parent + "/" + name;
}

std::optional<FolderWalk> WalkTo(const std::string& startPath,
                                 const std::vector<FolderRoot>& roots) {
    std::optional<FolderWalk> best;
    size_t bestLength = 0;
    for (size_t i = 0; i < roots.size(); ++i) {
        const std::string& root = roots[i].path;
        const bool inside =
            startPath == root ||
            (startPath.starts_with(root) && (root.back() == '/' || startPath[root.size()] == '/'));
        if (!inside || (best && root.size() <= bestLength)) continue;
        best = FolderWalk{i, {}};
        bestLength = root.size();
    }
    if (!best) return std::nullopt;
    std::istringstream rest(startPath.substr(bestLength));
    for (std::string name; std::getline(rest, name, '/');)
        if (!name.empty()) best->names.push_back(name);
    return best;
}

std::string NewFolderPlace(const std::string& selected) {
    if (selected.empty() || selected.back() == '/') return selected;
    const size_t slash = selected.rfind('/');
    return slash == std::string::npos ? selected : selected.substr(slash);
}

std::optional<std::string> CreateChosenFolder(const std::string& selected, const std::string& name,
                                              std::string& attempted) {
    attempted = JoinFolderPath(selected, name);
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        HasControlCharacter(name))
        return std::nullopt;
    std::error_code error;
    if (!fs::create_directory(attempted, error) || error) return std::nullopt;
    return attempted;
}

std::string ShortenPathToFit(const std::string& path,
                             const std::function<bool(const std::string&)>& fits) {
    if (fits(path) || path.size() <= kKeptLead) return path;
    std::string shown = path.substr(0, kKeptLead) + kDots + path.substr(kKeptLead);
    const size_t after = kKeptLead + std::string_view(kDots).size();
    // Whole UTF-8 characters go, never a piece of one.
    while (shown.size() > after && !fits(shown)) {
        size_t length = 1;
        while (after + length < shown.size() && (shown[after + length] & 0xC0) == 0x80) ++length;
        shown.erase(after, length);
    }
    return shown;
}

}  // namespace tarmix
