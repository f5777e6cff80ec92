#include "batch/script_words.h"

namespace tarmix {

namespace {

constexpr char kBlank = ' ';
constexpr char kQuote = '"';

}  // namespace

std::vector<std::string> SplitScriptWords(std::string_view line) {
    std::vector<std::string> words;
    size_t at = 0;
    while (words.size() < kMaxScriptWords) {
        while (at < line.size() && line[at] == kBlank) ++at;
        // Blanks at the end of a line start no word, unless there is nothing else.
        if (at == line.size() && !(words.empty() && !line.empty())) break;
        size_t end;
        if (at < line.size() && line[at] == kQuote) {
            const size_t start = at + 1;
            end = line.find(kQuote, start);
            if (end == std::string_view::npos) end = line.size();
            words.emplace_back(line.substr(start, std::min(end - start, kMaxScriptWordLength)));
            while (end < line.size() && line[end] == kQuote) ++end;
        } else {
            end = line.find(kBlank, at);
            if (end == std::string_view::npos) end = line.size();
            words.emplace_back(line.substr(at, std::min(end - at, kMaxScriptWordLength)));
        }
        at = end;
    }
    return words;
}

bool IsScriptComment(std::string_view line) {
    return !line.empty() && (line.front() == ';' || line.front() == '#');
}

}  // namespace tarmix
