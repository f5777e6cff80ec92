#include "app/json_event.h"

#include <cmath>

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

}  // namespace

std::string JsonText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : utf8Length(text, i);
        if (length == 0) {  // an ISO 8859-1 byte: its two-byte UTF-8 form
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
            ++i;
            continue;
        }
        out.append(text.substr(i, length));
        i += length;
    }
    return out;
}

std::string JsonString(std::string_view text) { return nlohmann::json(JsonText(text)).dump(); }

JsonEvent& JsonEvent::text(std::string_view key, std::string_view value) {
    body_[JsonText(key)] = JsonText(value);
    return *this;
}

JsonEvent& JsonEvent::number(std::string_view key, long long value) {
    body_[JsonText(key)] = value;
    return *this;
}

JsonEvent& JsonEvent::real(std::string_view key, double value) {
    if (std::isfinite(value))
        body_[JsonText(key)] = value;
    else
        body_[JsonText(key)] = nullptr;
    return *this;
}

JsonEvent& JsonEvent::flag(std::string_view key, bool value) {
    body_[JsonText(key)] = value;
    return *this;
}

JsonEvent& JsonEvent::json(std::string_view key, nlohmann::ordered_json value) {
    body_[JsonText(key)] = std::move(value);
    return *this;
}

}  // namespace tarmix
