// Batch scripts and monitor answers are 8-bit text, one character per byte (ISO 8859-1);
// inside the program text is UTF-8. Texts cross over where they are shown to the user or
// name a PC file.
#pragma once

#include <string>
#include <string_view>

namespace tarmix {

// Each byte as the character of the same number, written in UTF-8.
inline std::string Latin1ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | byte >> 6);
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

}  // namespace tarmix
