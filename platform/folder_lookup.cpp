#include "platform/folder_lookup.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tarmix {

namespace fs = std::filesystem;

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

}  // namespace

std::optional<fs::path> FindFileInFolder(const fs::path& folder, std::string_view name) {
    if (name.empty() || folder.empty()) return std::nullopt;
    const fs::path exact = folder / std::string(name);
    if (isFile(exact)) return exact;
    std::vector<fs::path> matches;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (equalIgnoringCase(entry->path().filename().string(), name) && isFile(entry->path()))
            matches.push_back(entry->path());
    }
    if (matches.empty()) return std::nullopt;
    return *std::min_element(matches.begin(), matches.end());
}

}  // namespace tarmix
