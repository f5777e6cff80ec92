// Batch scripts, monitor answers and the names on the controller's drives are 8-bit text,
// one character per byte (ISO 8859-1); inside the program text is UTF-8. Texts cross over
// where they are shown to the user, name a PC file, or come from the user for the device.
#pragma once

#include <optional>
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

// UTF-8 text as one byte per character; nullopt when a character lies beyond U+00FF or the
// text is not valid UTF-8.
inline std::optional<std::string> Utf8ToLatin1(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            bytes += char(lead);
            continue;
        }
        // Only the two-byte forms C2 and C3 stay below U+0100.
        if ((lead != 0xC2 && lead != 0xC3) || i + 1 >= text.size()) return std::nullopt;
        const auto next = static_cast<unsigned char>(text[++i]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        bytes += char((lead & 0x03) << 6 | (next & 0x3F));
    }
    return bytes;
}

}  // namespace tarmix
