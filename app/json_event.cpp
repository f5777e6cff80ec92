#include "app/json_event.h"

#include <cmath>
#include <cstdio>

namespace tarmix {

namespace {

// Length of the valid UTF-8 sequence at `at`, 0 when the bytes there are not one.
size_t utf8Length(std::string_view text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    return length;
}

void appendEscaped(std::string& out, unsigned code) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", code);
    out += escape;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t length = utf8Length(text, i);
            if (length == 0) {
                appendEscaped(out, c);  // a Latin-1 byte
                ++i;
            } else {
                out.append(text.substr(i, length));
                i += length;
            }
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F)
                    appendEscaped(out, c);
                else
                    out += char(c);
        }
        ++i;
    }
    return out + "\"";
}

JsonEvent& JsonEvent::member(std::string_view key, const std::string& json) {
    if (body_.size() > 1) body_ += ",";
    body_ += JsonString(key) + ":" + json;
    return *this;
}

JsonEvent& JsonEvent::text(std::string_view key, std::string_view value) {
    return member(key, JsonString(value));
}

JsonEvent& JsonEvent::number(std::string_view key, long long value) {
    return member(key, std::to_string(value));
}

JsonEvent& JsonEvent::real(std::string_view key, double value) {
    if (!std::isfinite(value)) return member(key, "null");
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return member(key, text);
}

JsonEvent& JsonEvent::flag(std::string_view key, bool value) {
    return member(key, value ? "true" : "false");
}

}  // namespace tarmix
