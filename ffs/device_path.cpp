#include "ffs/device_path.h"

namespace tarmix {

namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

bool HasControl(std::string_view text) {
    for (char c : text)
        if (IsControl(c)) return true;
    return false;
}

char DriveLetterUpper(int drive) { return char('A' + drive); }

}  // namespace

std::string DriveRootPath(int drive) { return {DriveLetterUpper(drive), ':', '\\'}; }

char DriveLetterLower(int drive) { return char('a' + drive); }

std::string SubFolderPath(const std::string& folderPath, std::string_view name) {
    std::string path = folderPath;
    path += name;
    path += '\\';
    return path;
}

std::string FilePathIn(const std::string& folderPath, std::string_view name) {
    std::string path = folderPath;
    path += name;
    return path;
}

std::string_view LastNameOf(std::string_view path) {
    const size_t slash = path.rfind('\\');
    if (slash != std::string_view::npos) return path.substr(slash + 1);
    return path.size() >= 2 && path[1] == ':' ? path.substr(2) : path;
}

std::string QuotedCommand(std::string_view command, const std::string& path) {
    std::string line(command);
    line += " \"";
    line += path;
    line += '"';
    return line;
}

bool IsSafeDeviceName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("\\/:\"") == std::string_view::npos && !HasControl(name);
}

NameProblem CheckNewName(std::string_view name) {
    if (name.empty()) return NameProblem::Empty;
    if (name == "." || name == "..") return NameProblem::Dots;
    if (name.find_first_of("\\/:\"") != std::string_view::npos) return NameProblem::Separator;
    if (HasControl(name)) return NameProblem::Control;
    if (name.size() > kMaxNewNameLength) return NameProblem::TooLong;
    return NameProblem::None;
}

std::string DevicePath::folderPath() const {
    std::string path = DriveRootPath(drive);
    for (const std::string& name : names) path = SubFolderPath(path, name);
    return path;
}

std::string DevicePath::filePath() const {
    std::string path = folderPath();
    if (!names.empty()) path.pop_back();
    return path;
}

std::string DevicePath::parentFolderPath() const {
    if (names.empty()) return DriveRootPath(drive);
    DevicePath parent = *this;
    parent.names.pop_back();
    return parent.folderPath();
}

std::optional<DevicePath> ParseDevicePath(std::string_view text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    if (text.size() < 2 || text[1] != ':') return std::nullopt;
    const char letter = char(text[0] | 0x20);
    if (letter < 'a' || letter > 'c') return std::nullopt;
    DevicePath path{letter - 'a', {}};
    text.remove_prefix(2);
    if (!text.empty() && text.front() == '\\') text.remove_prefix(1);
    if (!text.empty() && text.back() == '\\') text.remove_suffix(1);
    while (!text.empty()) {
        const size_t end = text.find('\\');
        const std::string_view name = text.substr(0, end);
        if (!IsSafeDeviceName(name)) return std::nullopt;
        path.names.emplace_back(name);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return path;
}

}  // namespace tarmix
