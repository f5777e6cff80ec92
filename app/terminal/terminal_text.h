// What the terminal shows of the bytes the controller sends, without any toolkit.
//
// The line carries ISO 8859-1. A carriage return starts a new line, a line feed is dropped
// (a device line ending "\r\n" is one line break), a backspace erases the character to its
// left on the current line, and no other control character is shown except the tab. The
// shown text is kept at most kTerminalTextLimit characters: before a piece of output would
// pass that, whole lines of at least kTerminalTrimBlock characters go from the top, so the
// text never outgrows the view's own limit and nothing arriving is lost on the way in.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace tarmix {

inline constexpr size_t kTerminalTextLimit = 60000;
inline constexpr size_t kTerminalTrimBlock = 7500;

// One step of a change to the shown text: text, a line break or an erased character at
// its end, or the first `count` characters dropped from its top (a line break counts as
// one character).
struct TerminalPiece {
    enum Kind { Text, NewLine, Erase, Drop };
    Kind kind = Text;
    std::string text;  // UTF-8, for Text
    size_t count = 0;  // for Drop
    friend bool operator==(const TerminalPiece&, const TerminalPiece&) = default;
};

// A change to the shown text: its pieces, applied in order.
using TerminalUpdate = std::vector<TerminalPiece>;

// The shown text's shape (the length of each line) and the rules above.
class TerminalText {
  public:
    // The change that showing `received` makes; `stamp` (ASCII) goes before the first
    // character shown on each line.
    TerminalUpdate Take(std::string_view received, std::string_view stamp = {});

    // Characters shown, line breaks included.
    size_t size() const { return size_; }
    size_t lineCount() const { return lines_.size(); }
    // Empties the text: the change drops everything shown.
    TerminalUpdate Clear();

  private:
    // Whole lines from the top until at least kTerminalTrimBlock characters are gone and
    // `incoming` more fit under the limit; the last line only when it is the only one.
    size_t Trim(size_t incoming);

    std::deque<size_t> lines_{0};  // characters per line, without the line break
    size_t size_ = 0;
};

// The text of ISO 8859-1 bytes as UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

}  // namespace tarmix
