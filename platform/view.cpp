#include "platform/view.h"

#include <vector>

namespace tarmix {

std::string ShortenForDisplay(const std::string& text) {
    constexpr size_t kLongest = 20;
    constexpr size_t kHead = 4;
    constexpr size_t kTail = 12;
    // Start offsets of the UTF-8 characters.
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    if (starts.size() <= kLongest) return text;
    return text.substr(0, starts[kHead]) + "...." + text.substr(starts[starts.size() - kTail]);
}

}  // namespace tarmix
