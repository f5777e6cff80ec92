#include "flash/boot_image_echo.h"

#include <string>

namespace tarmix {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kPromptTail = "Boot> ";  // the prompt after its CR LF

// The piece as the monitor echoes it: without the line feed it starts with.
std::string_view echoed(const std::string& piece) {
    return piece.starts_with('\n') ? std::string_view(piece).substr(1) : std::string_view(piece);
}

}  // namespace

bool BootImageEchoWatch::Take(std::string_view received) {
    for (char c : received) {
        if (failed_) break;
        failed_ = !Step(c);
    }
    return !failed_;
}

bool BootImageEchoWatch::Complete() const {
    return !failed_ && piece_ == image_.pieces.size() && promptAt_ == 0;
}

bool BootImageEchoWatch::Step(char c) {
    if (afterLine_) {
        if (c == kPromptTail[promptAt_]) {
            if (++promptAt_ == kPromptTail.size()) afterLine_ = false, promptAt_ = 0;
            return true;
        }
        if (promptAt_ > 0) return false;
        afterLine_ = false;
    }
    if (piece_ == image_.pieces.size()) return false;  // more than the image asked for
    const std::string& piece = image_.pieces[piece_];
    if (at_ == 0 && !lineFeed_ && c == '\n' && piece.starts_with('\n')) {
        lineFeed_ = true;
        return true;
    }
    const std::string_view echo = echoed(piece);
    const char expected = at_ < echo.size() ? echo[at_] : kLineEnd[at_ - echo.size()];
    if (c != expected) return false;
    if (++at_ == echo.size() + kLineEnd.size()) {
        ++piece_;
        at_ = 0;
        lineFeed_ = false;
        afterLine_ = true;
    }
    return true;
}

}  // namespace tarmix
