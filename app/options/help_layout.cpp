#include "app/options/help_layout.h"

namespace tarmix {

namespace {

// Characters of UTF-8 text: every byte but the continuation bytes 10xxxxxx.
size_t characters(std::string_view text) {
    size_t count = 0;
    for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

}  // namespace

std::string HelpWrapped(std::string line, std::string_view text, size_t indent) {
    std::string out;
    size_t width = characters(line);
    bool empty = true;  // no word on the line yet
    const auto breakLine = [&] {
        out += line + "\n";
        line.assign(indent, ' ');
        width = indent;
        empty = true;
    };
    for (size_t start = 0;;) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string_view piece = text.substr(start, end - start);
        const size_t lead = std::min(piece.find_first_not_of(' '), piece.size());
        line.append(lead, ' ');
        width += lead;
        piece.remove_prefix(lead);
        for (size_t at = 0; at < piece.size();) {
            const size_t blank = std::min(piece.find(' ', at), piece.size());
            const std::string_view word = piece.substr(at, blank - at);
            at = blank + 1;
            if (word.empty()) continue;
            if (!empty && width + 1 + characters(word) > kHelpWidth) breakLine();
            if (!empty) line += ' ', ++width;
            line += word;
            width += characters(word);
            empty = false;
        }
        if (end == text.size()) break;
        breakLine();
        start = end + 1;
    }
    return out + line + "\n";
}

std::string HelpColumns(std::span<const HelpEntry> entries) {
    std::string out;
    for (const HelpEntry& entry : entries) {
        std::string line = "  " + std::string(entry.words);
        const size_t width = characters(line);
        line.append(width + 2 <= kHelpTextColumn ? kHelpTextColumn - width : 3, ' ');
        out += HelpWrapped(line, entry.text, kHelpTextColumn);
    }
    return out;
}

std::string HelpParagraph(std::string_view text, size_t indent) {
    return HelpWrapped(std::string(indent, ' '), text, indent);
}

}  // namespace tarmix
