// The words of a batch script line, and the line kinds that carry none.
//
//   program "Flash\Application.rom"     → program, Flash\Application.rom
//   message  Saved   "to  drive A:"     → message, Saved, to  drive A:
//
// Words are separated by runs of blanks (a tab is an ordinary character). A word that begins
// with a double quote runs to the next double quote or to the end of the line, without the
// quotes, and may be empty; further quotes right after the closing one are skipped, and the
// next word begins after them even without a blank. Each word keeps at most 254
// characters; at most ten words are taken.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarmix {

inline constexpr size_t kMaxScriptWords = 10;
inline constexpr size_t kMaxScriptWordLength = 254;

// The words of a line. An empty line has none; a line of blanks only has one empty word.
std::vector<std::string> SplitScriptWords(std::string_view line);

// A line that starts with ";" or "#" in its very first column.
bool IsScriptComment(std::string_view line);

}  // namespace tarmix
