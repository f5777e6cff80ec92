#include "ffs/listing_parse.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <vector>

#include "ffs/device_path.h"
#include "link/monitor_exchange.h"
#include "platform/latin1.h"

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
    const char* fieldEnd = field.data() + field.size();
    const auto [end, error] = std::from_chars(begin, fieldEnd, value);
    if (error == std::errc() && end != begin) size = value;
    // After the number only blanks: a row shifted by a line break in a name shows the date
    // there.
    return std::all_of(end, fieldEnd, [](char c) { return c == ' '; }) || end == begin;
}

// A row in the fixed columns; its name may still be one the PC cannot use.
std::optional<FileRow> ReadRow(std::string_view line) {
    if (line.size() <= kSizeColumn) return std::nullopt;
    FileRow row;
    row.name = std::string(TrimRight(line.substr(0, kNameColumns)));
    if (line.substr(kSizeColumn, kFolderMark.size()) == kFolderMark) {
        row.isFolder = true;
    } else if (!ReadSize(line.substr(kSizeColumn, kDateColumn - kSizeColumn), row.size)) {
        return std::nullopt;
    }
    if (line.size() > kDateColumn) row.created = std::string(line.substr(kDateColumn));
    return row;
}

// The lines of a "tree" answer, each folder line together with the lines that continue
// it: a line without a prefix after a folder line is the rest of a name with a line break
// (blank lines and spacers of "|" are layout).
std::vector<std::string> TreeLines(std::string_view body) {
    std::vector<std::string> lines;
    bool afterFolder = false;
    for (std::string_view line : SplitLines(body)) {
        const bool folder = PrefixDepth(line) > 0;
        const bool layout = line.find_first_not_of("| ") == std::string_view::npos;
        if (afterFolder && !folder && !layout) {
            lines.back().append(kLineEnd).append(line);
            continue;
        }
        lines.emplace_back(line);
        afterFolder = folder;
    }
    return lines;
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

std::string ShownDeviceText(std::string_view deviceText) {
    std::string shown;
    for (char c : deviceText) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r') {
            shown += "\\r";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return Latin1ToUtf8(shown);
}

TreeParse ParseTree(std::string_view body, const std::string& rootPath) {
    TreeParse parse;
    parse.folders.push_back({"", rootPath, 0, -1});
    // The most recent entry taken at each depth: the parent of the next deeper line.
    std::vector<int> lastAtDepth = {0};
    // The path of the most recent line at each depth, taken or not, to name skipped ones.
    std::vector<std::string> pathAtDepth = {rootPath};
    size_t skipBelow = 0;  // while set, lines deeper than this belong to a skipped folder
    for (const std::string& line : TreeLines(body)) {
        const size_t prefix = PrefixDepth(line);
        if (prefix == 0) continue;
        const std::string_view name = std::string_view(line).substr(prefix * kLevelWidth);
        // A line can only go one level deeper than the line before it.
        const size_t depth = std::min(prefix, pathAtDepth.size());
        const std::string path = SubFolderPath(pathAtDepth[depth - 1], name);
        pathAtDepth.resize(depth);
        pathAtDepth.push_back(path);
        if (skipBelow != 0 && depth > skipBelow) {
            parse.skippedEntries.push_back({path, SkipReason::InsideSkippedFolder, true});
            continue;
        }
        skipBelow = 0;
        if (!IsSafeDeviceName(name) || name.size() > kMaxTreeName) {
            parse.skippedEntries.push_back({path, SkipReason::UnsafeName, true});
            skipBelow = depth;
            continue;
        }
        const int parent = lastAtDepth[depth - 1];
        const auto index = int(parse.folders.size());
        parse.folders.push_back({std::string(name), path, int(depth), parent});
        lastAtDepth.resize(depth);
        lastAtDepth.push_back(index);
    }
    parse.skipped = int(parse.skippedEntries.size());
    return parse;
}

DirParse ParseDir(std::string_view body, const std::string& folderPath) {
    DirParse parse;
    const std::vector<std::string_view> lines = SplitLines(body);
    if (lines.empty() || lines[0].find(folderPath) == std::string_view::npos) return parse;
    parse.headerMatches = true;
    for (size_t i = 2; i < lines.size(); ++i) {
        std::string text(lines[i]);
        std::optional<FileRow> row = ReadRow(text);
        // A row broken by a line break inside its name columns is joined again.
        while (!row && text.size() + kLineEnd.size() <= kNameColumns && i + 1 < lines.size()) {
            text.append(kLineEnd).append(lines[++i]);
            row = ReadRow(text);
        }
        if (!row)
            parse.skippedEntries.push_back(
                {FilePathIn(folderPath, TrimRight(text)), SkipReason::UnreadableLine});
        else if (!IsSafeDeviceName(row->name))
            parse.skippedEntries.push_back(
                {FilePathIn(folderPath, row->name), SkipReason::UnsafeName, row->isFolder});
        else
            parse.rows.push_back(std::move(*row));
    }
    parse.skipped = int(parse.skippedEntries.size());
    return parse;
}

}  // namespace tarmix
