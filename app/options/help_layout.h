// The layout of --help in any language: the words an option is typed with in one column,
// its explanation from the catalogue beside it, wrapped at the width of a terminal.
//
//   --trace FILE             write the wire trace to FILE
//   --mkdir PATH, --rm PATH, --rmdir PATH   new folder, delete file or folder
//
// Widths are counted in characters, not bytes, so Greek and Cyrillic texts line up too.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tarmix {

// The longest line of the help, and the column where every explanation starts.
inline constexpr size_t kHelpWidth = 79;
inline constexpr size_t kHelpTextColumn = 27;

struct HelpEntry {
    std::string_view words;  // as typed: "--port COMn=PATH"
    std::string text;        // in the run's language; a line break in it starts a new line
};

// The entries, two spaces in, the texts at kHelpTextColumn (after three blanks where the
// words reach past it).
std::string HelpColumns(std::span<const HelpEntry> entries);

// A paragraph wrapped at blanks, every line `indent` characters in. A line break in the
// text starts a new line, which keeps the blanks it begins with.
std::string HelpParagraph(std::string_view text, size_t indent = 0);

// `line` continued with `text`, wrapped; the lines after the first are `indent` in.
std::string HelpWrapped(std::string line, std::string_view text, size_t indent);

}  // namespace tarmix
