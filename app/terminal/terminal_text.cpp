#include "app/terminal/terminal_text.h"

#include <algorithm>

namespace tarmix {

namespace {

// Output is taken in slices of at most this many bytes, so one slice always fits under the
// limit once the top has been trimmed.
constexpr size_t kSlice = 4096;

bool shown(unsigned char byte) {
    // C0 and C1 controls and DEL are not shown; the tab is.
    return byte == '\t' || (byte >= 0x20 && byte != 0x7f && (byte < 0x80 || byte >= 0xa0));
}

void appendLatin1(std::string& utf8, unsigned char byte) {
    if (byte < 0x80) {
        utf8 += char(byte);
        return;
    }
    utf8 += char(0xc0 | (byte >> 6));
    utf8 += char(0x80 | (byte & 0x3f));
}

}  // namespace

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string utf8;
    utf8.reserve(bytes.size());
    for (char c : bytes) appendLatin1(utf8, static_cast<unsigned char>(c));
    return utf8;
}

TerminalUpdate TerminalText::Clear() {
    TerminalUpdate update;
    if (size_ > 0) update.push_back({TerminalPiece::Drop, {}, size_});
    lines_ = {0};
    size_ = 0;
    return update;
}

size_t TerminalText::Trim(size_t incoming) {
    if (size_ + incoming <= kTerminalTextLimit) return 0;
    size_t dropped = 0;
    while (size_ > 0 && (dropped < kTerminalTrimBlock || size_ + incoming > kTerminalTextLimit)) {
        if (lines_.size() == 1) {
            // One endless line: its start goes, as much as the rule asks.
            const size_t wanted = std::max(
                kTerminalTrimBlock - std::min(dropped, kTerminalTrimBlock),
                size_ + incoming > kTerminalTextLimit ? size_ + incoming - kTerminalTextLimit
                                                      : size_t(0));
            const size_t cut = std::min(lines_.front(), wanted);
            lines_.front() -= cut;
            size_ -= cut;
            dropped += cut;
            break;
        }
        const size_t line = lines_.front() + 1;  // with its line break
        lines_.pop_front();
        size_ -= line;
        dropped += line;
    }
    return dropped;
}

TerminalUpdate TerminalText::Take(std::string_view received, std::string_view stamp) {
    TerminalUpdate update;
    auto text = [&update]() -> std::string& {
        if (update.empty() || update.back().kind != TerminalPiece::Text)
            update.push_back({TerminalPiece::Text, {}, 0});
        return update.back().text;
    };
    while (!received.empty()) {
        const std::string_view slice = received.substr(0, kSlice);
        received.remove_prefix(slice.size());
        size_t incoming = stamp.size();
        for (char c : slice) {
            if (c == '\r') incoming += 1 + stamp.size();
            if (shown(static_cast<unsigned char>(c))) ++incoming;
        }
        if (const size_t dropped = Trim(incoming))
            update.push_back({TerminalPiece::Drop, {}, dropped});
        for (char c : slice) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte == '\r') {
                update.push_back({TerminalPiece::NewLine, {}, 0});
                lines_.push_back(0);
                ++size_;
            } else if (byte == '\b') {
                if (lines_.back() == 0) continue;  // the cursor stays at the line's start
                update.push_back({TerminalPiece::Erase, {}, 0});
                --lines_.back();
                --size_;
            } else if (shown(byte)) {
                if (lines_.back() == 0 && !stamp.empty()) {
                    text() += stamp;
                    lines_.back() += stamp.size();
                    size_ += stamp.size();
                }
                appendLatin1(text(), byte);
                ++lines_.back();
                ++size_;
            }
        }
    }
    return update;
}

}  // namespace tarmix
