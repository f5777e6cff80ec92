#include "ffs/listing_parse.h"

#include <charconv>
#include <vector>

#include "ffs/device_path.h"
#include "link/monitor_exchange.h"

namespace tarmix {

namespace {

constexpr char kFileSystemError[] = "[FFS-Error]";
constexpr std::string_view kLineEnd = "\r\n";

// "tree": every level of depth is one 4-column group of the prefix.
constexpr size_t kLevelWidth = 4;
constexpr std::string_view kAncestorLevel = "|   ";
constexpr std::string_view kOwnLevel = "+---";
// No folder name the device keeps is longer than this.
constexpr size_t kMaxTreeName = 99;

// "dir": the fixed columns of a row.
constexpr size_t kNameColumns = 20;
constexpr size_t kSizeColumn = 20;
constexpr size_t kDateColumn = 30;
constexpr std::string_view kFolderMark = "<DIR>";

std::vector<std::string_view> SplitLines(std::string_view body) {
    std::vector<std::string_view> lines;
    if (body.empty()) return lines;
    while (true) {
        const size_t end = body.find(kLineEnd);
        lines.push_back(body.substr(0, end));
        if (end == std::string_view::npos) break;
        body.remove_prefix(end + kLineEnd.size());
    }
    return lines;
}

// The depth the line's prefix gives, and where its name starts; 0 for a line without one.
size_t PrefixDepth(std::string_view line) {
    size_t depth = 0;
    while (line.size() >= (depth + 1) * kLevelWidth) {
        const std::string_view group = line.substr(depth * kLevelWidth, kLevelWidth);
        if (group == kOwnLevel) return depth + 1;
        if (group != kAncestorLevel) break;
        ++depth;
    }
    return 0;  // a heading, a blank line, or a spacer of "|" only
}

std::string_view TrimRight(std::string_view text) {
    const size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

// Columns 20-29 of a file row: blanks, then a decimal number. false when the columns hold
// something else than a size (a name that runs on past column 19); an empty or blank
// field, or one without digits, reads as "no number".
bool ReadSize(std::string_view field, std::optional<uint64_t>& size) {
    if (!field.empty() && field.front() != ' ' && (field.front() < '0' || field.front() > '9'))
        return false;
    const size_t first = field.find_first_not_of(' ');
    if (first == std::string_view::npos) return true;
    uint64_t value = 0;
    const char* begin = field.data() + first;
    const auto [end, error] = std::from_chars(begin, field.data() + field.size(), value);
    if (error == std::errc() && end != begin) size = value;
    return true;
}

std::optional<FileRow> ReadRow(std::string_view line) {
    if (line.size() <= kSizeColumn) return std::nullopt;
    const std::string_view name = TrimRight(line.substr(0, kNameColumns));
    if (!IsSafeDeviceName(name)) return std::nullopt;
    FileRow row;
    row.name = std::string(name);
    if (line.substr(kSizeColumn, kFolderMark.size()) == kFolderMark) {
        row.isFolder = true;
    } else if (!ReadSize(line.substr(kSizeColumn, kDateColumn - kSizeColumn), row.size)) {
        return std::nullopt;
    }
    if (line.size() > kDateColumn) row.created = std::string(line.substr(kDateColumn));
    return row;
}

}  // namespace

std::string_view AnswerBody(std::string_view answer, size_t commandLength) {
    const size_t begin = commandLength + kLineEnd.size();
    if (answer.size() < begin + kMonitorPromptLength) return {};
    return answer.substr(begin, answer.size() - kMonitorPromptLength - begin);
}

bool ReportsFileSystemError(std::string_view answer) {
    return answer.find(kFileSystemError) != std::string_view::npos;
}

TreeParse ParseTree(std::string_view body, const std::string& rootPath) {
    TreeParse parse;
    parse.folders.push_back({"", rootPath, 0, -1});
    // The most recent entry of each depth: the parent of the next deeper line.
    std::vector<int> lastAtDepth = {0};
    size_t skipBelow = 0;  // while set, lines deeper than this belong to a skipped folder
    for (std::string_view line : SplitLines(body)) {
        size_t depth = PrefixDepth(line);
        if (depth == 0) continue;
        if (skipBelow != 0 && depth > skipBelow) {
            ++parse.skipped;
            continue;
        }
        skipBelow = 0;
        const std::string_view name = line.substr(depth * kLevelWidth);
        if (!IsSafeDeviceName(name) || name.size() > kMaxTreeName) {
            ++parse.skipped;
            skipBelow = std::min(depth, lastAtDepth.size());
            continue;
        }
        // A line can only go one level deeper than the folder before it.
        depth = std::min(depth, lastAtDepth.size());
        const int parent = lastAtDepth[depth - 1];
        const auto index = int(parse.folders.size());
        parse.folders.push_back({std::string(name),
                                 SubFolderPath(parse.folders[size_t(parent)].path, name),
                                 int(depth), parent});
        lastAtDepth.resize(depth);
        lastAtDepth.push_back(index);
    }
    return parse;
}

DirParse ParseDir(std::string_view body, const std::string& folderPath) {
    DirParse parse;
    const std::vector<std::string_view> lines = SplitLines(body);
    if (lines.empty() || lines[0].find(folderPath) == std::string_view::npos) return parse;
    parse.headerMatches = true;
    for (size_t i = 2; i < lines.size(); ++i) {
        if (std::optional<FileRow> row = ReadRow(lines[i]))
            parse.rows.push_back(std::move(*row));
        else
            ++parse.skipped;
    }
    return parse;
}

}  // namespace tarmix
