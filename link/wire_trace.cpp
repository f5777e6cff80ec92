#include "link/wire_trace.h"

#include <cstdio>

namespace tarmix {

std::string EscapeBytes(const uint8_t* data, size_t count) {
    std::string text;
    text.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const uint8_t byte = data[i];
        switch (byte) {
            case '\r':
                text += "\\r";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\t':
                text += "\\t";
                break;
            case '\\':
                text += "\\\\";
                break;
            default:
                if (byte >= 0x20 && byte < 0x7f) {
                    text += char(byte);
                } else {
                    char escaped[5];
                    std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
                    text += escaped;
                }
        }
    }
    return text;
}

std::string EscapeBytes(const std::string& bytes) {
    return EscapeBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

void WireTrace::onSent(Millis at, const uint8_t* data, size_t count) {
    write(at, "PC>", data, count);
}

void WireTrace::onReceived(Millis at, const uint8_t* data, size_t count) {
    write(at, "<DV", data, count);
}

void WireTrace::write(Millis at, const char* direction, const uint8_t* data, size_t count) {
    char time[32];
    const long long ms = (at - origin_).count();
    std::snprintf(time, sizeof time, "%6lld.%03lld", ms / 1000, ms % 1000);
    out_ << time << ' ' << direction << ' ' << EscapeBytes(data, count) << '\n';
}

}  // namespace tarmix
