#include "lang/text_ids.h"

#include <map>
#include <mutex>
#include <regex>
#include <string>

#include "lang/catalog.h"
#include "lang/format_text.h"

namespace tarmix {

namespace {

// A prefix shorter than this would name entries by chance ("Error", "Start").
constexpr size_t kShortestPrefix = 6;

std::string_view trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A text with conversions, as a pattern; a line that does not begin with its literal start
// is no match, which spares most lines the pattern.
struct Format {
    std::string start;
    std::regex pattern;
    int id;
};

// The texts of one language, ready for matching lines against.
struct LanguageIndex {
    std::map<std::string, int, std::less<>> whole;  // trimmed text → lowest id
    std::vector<Format> formats;
};

// A piece of a format without conversions, as it is printed: "%%" shows as "%".
std::string printed(std::string_view literal) {
    return fillFormat(literal, {}).value_or(std::string(literal));
}

void appendLiteral(std::string& pattern, std::string_view literal) {
    for (char c : printed(literal)) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) pattern += '\\';
        pattern += c;
    }
}

// A format as a pattern: its literal text, each conversion standing for any text.
std::regex patternOf(std::string_view format) {
    std::string pattern;
    std::string_view rest = format;
    for (const std::string& conversion : formatConversions(format)) {
        const size_t at = rest.find(conversion);
        appendLiteral(pattern, rest.substr(0, at));
        pattern += ".*";
        rest.remove_prefix(at + conversion.size());
    }
    appendLiteral(pattern, rest);
    return std::regex(pattern);
}

LanguageIndex indexOf(const TextCatalogues& catalogues, int languageIndex) {
    LanguageIndex index;
    const PoCatalogue* german = catalogues.find(languages()[kGermanLanguage].code);
    if (german == nullptr) return index;
    for (const auto& [id, entry] : german->entries) {  // every id the program knows
        const std::optional<std::string> text = catalogues.lookup(languageIndex, id);
        // A text of several lines is known by its first.
        const std::string_view shown = trimmed(std::string_view(*text).substr(0, text->find('\n')));
        if (shown.empty()) continue;
        index.whole.emplace(std::string(shown), id);  // ids ascend: the lowest stays
        if (const auto conversions = formatConversions(shown); !conversions.empty()) {
            const std::string start = printed(shown.substr(0, shown.find(conversions.front())));
            index.formats.push_back({start, patternOf(shown), id});
        }
    }
    return index;
}

int idOfLine(const LanguageIndex& index, std::string_view line) {
    if (const auto found = index.whole.find(line); found != index.whole.end()) return found->second;
    for (const Format& format : index.formats)
        if (line.starts_with(format.start) &&
            std::regex_match(line.begin(), line.end(), format.pattern))
            return format.id;
    int best = 0;
    size_t bestLength = 0;
    for (const auto& [text, id] : index.whole) {
        if (text.size() < kShortestPrefix || text.size() <= bestLength) continue;
        if (line.starts_with(text)) {
            best = id;
            bestLength = text.size();
        }
    }
    return best;
}

std::vector<int> idsIn(const LanguageIndex& index, std::string_view message) {
    std::vector<int> ids;
    while (!message.empty()) {
        const size_t end = message.find('\n');
        const std::string_view line = trimmed(message.substr(0, end));
        if (!line.empty())
            if (const int id = idOfLine(index, line); id != 0) ids.push_back(id);
        message.remove_prefix(end == std::string_view::npos ? message.size() : end + 1);
    }
    return ids;
}

}  // namespace

std::vector<int> TextIdsOf(const TextCatalogues& catalogues, int languageIndex,
                           std::string_view message) {
    return idsIn(indexOf(catalogues, languageIndex), message);
}

std::vector<int> TextIdsOf(std::string_view message) {
    // Built once per language: the console asks for every message it shows.
    static std::mutex mutex;
    static std::map<int, LanguageIndex> built;
    const int language = languageIndex();
    std::lock_guard lock(mutex);
    auto found = built.find(language);
    if (found == built.end())
        found = built.emplace(language, indexOf(builtInCatalogues(), language)).first;
    return idsIn(found->second, message);
}

}  // namespace tarmix
