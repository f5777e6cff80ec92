#include "config/capability.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace tarmix {

namespace {

constexpr char kTellCaps[] = "tell caps";
constexpr char kTellCapsEcho[] = "tell caps\r\n";
constexpr size_t kEchoLength = 11;  // "tell caps" and CR LF

// One number as scanf's %d or %x reads it: leading white space, an optional sign, digits.
// Values beyond 32 bits wrap as they do in the monitor's own 32-bit fields.
bool readNumber(const char*& cursor, int base, int& value) {
    while (*cursor && std::isspace(static_cast<unsigned char>(*cursor))) ++cursor;
    char* end = nullptr;
    const long long number = std::strtoll(cursor, &end, base);
    if (end == cursor) return false;
    cursor = end;
    value = static_cast<int>(static_cast<unsigned long long>(number) & 0xffffffffu);
    return true;
}

}  // namespace

std::optional<std::vector<int>> ParseCapabilities(const std::string& answer) {
    if (answer.size() < kEchoLength) return std::nullopt;
    const std::string numbers = answer.substr(kEchoLength);
    const char* cursor = numbers.c_str();
    std::vector<int> values;
    int value = 0;
    while (values.size() < kMaxCapabilityValues) {
        const bool hex = values.size() == 1 || values.size() == 2;
        if (!readNumber(cursor, hex ? 16 : 10, value)) break;
        values.push_back(value);
    }
    if (values.size() < kMinCapabilityValues) return std::nullopt;
    return values;
}

std::string FormatInitCaps(const std::vector<int>& values) {
    std::string line = "init caps";
    char field[16];
    for (size_t i = 0; i < values.size(); ++i) {
        if (i == 1 || i == 2)
            std::snprintf(field, sizeof field, " %04x", static_cast<unsigned>(values[i]));
        else
            std::snprintf(field, sizeof field, " %d", values[i]);
        line += field;
    }
    return line;
}

std::optional<std::vector<int>> ReadCapabilities(MonitorExchange& monitor, size_t capacity) {
    std::string answer;
    if (!monitor.CollectUntilPrompt(kTellCaps, answer, capacity,
                                    monitor.scaled(kCapabilityAnswerLimit)) ||
        answer.rfind(kTellCapsEcho, 0) != 0)
        return std::nullopt;
    answer.resize(answer.size() - kMonitorPromptLength);
    return ParseCapabilities(answer);
}

bool RewriteCapability(MonitorExchange& monitor, size_t capacity, size_t index, int value) {
    auto values = ReadCapabilities(monitor, capacity);
    if (!values || index < 1 || index > values->size()) return false;
    (*values)[index - 1] = value;
    monitor.serial().SendLine(FormatInitCaps(*values));
    return true;
}

}  // namespace tarmix
