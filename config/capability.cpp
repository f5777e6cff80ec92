#include "config/capability.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/agreeing_readings.h"
#include "link/identify.h"

namespace tarmix {

namespace {

constexpr size_t kEchoLength = 11;  // "tell caps" and CR LF
// The answers read and written around an application download.
constexpr size_t kDownloadAnswerCapacity = 999;

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

std::string CapabilityText(const std::vector<int>& values) {
    std::string text;
    char field[16];
    for (size_t i = 0; i < values.size(); ++i) {
        if (i == 1 || i == 2)
            std::snprintf(field, sizeof field, "%04x", static_cast<unsigned>(values[i]));
        else
            std::snprintf(field, sizeof field, "%d", values[i]);
        text.append(i ? " " : "").append(field);
    }
    return text;
}

std::string FormatInitCaps(const std::vector<int>& values) {
    return "init caps " + CapabilityText(values);
}

std::optional<std::string> ReadAgreedAnswer(MonitorExchange& monitor, const std::string& command,
                                            size_t capacity, int needed) {
    const std::string echo = command + "\r\n";
    // Each reading needed beyond two may take one reading more.
    const int limit = kReadingsLimit + needed - 2;
    return FirstAgreeingReading(
        limit,
        [&]() -> std::optional<std::string> {
            std::string answer;
            if (!monitor.CollectUntilPrompt(command, answer, capacity, kCapabilityAnswerLimit)
                     .ok() ||
                answer.rfind(echo, 0) != 0)
                return std::nullopt;
            return answer;
        },
        needed);
}

std::optional<std::array<int32_t, 3>> ReadAgreedDriveSizes(MonitorExchange& monitor,
                                                           size_t capacity) {
    const auto answer = ReadAgreedAnswer(monitor, std::string(kDrivesCommand), capacity);
    if (!answer) return std::nullopt;
    return parseDrivesAnswer(*answer);
}

CapabilityRecord ReadCapabilities(MonitorExchange& monitor, size_t capacity, int needed) {
    auto answer = ReadAgreedAnswer(monitor, kTellCaps, capacity, needed);
    if (!answer) return {};
    answer->resize(answer->size() - kMonitorPromptLength);
    const auto values = ParseCapabilities(*answer);
    if (!values) return {CapabilityStatus::NoRecord, {}};
    return {CapabilityStatus::Read, *values};
}

std::string CapabilityReadFailure(CapabilityStatus status) {
    return status == CapabilityStatus::NoRecord ? LoadText(text::kNoCapsRecord)
                                                : FormatText(text::kCapsUnreadable, kReadingsLimit);
}

CapabilityResult SetCapability(MonitorExchange& monitor, size_t capacity, size_t index, int value) {
    const CapabilityRecord record = ReadCapabilities(monitor, capacity, kAgreeingBeforeWrite);
    if (record.status == CapabilityStatus::Unreadable)
        return {CapabilityChange::Unreadable, CapabilityReadFailure(record.status)};
    if (record.status == CapabilityStatus::NoRecord || index < 1 || index > record.values.size())
        return {CapabilityChange::NoRecord, CapabilityReadFailure(CapabilityStatus::NoRecord)};
    std::vector<int> wanted = record.values;
    wanted[index - 1] = value;
    if (wanted == record.values) return {CapabilityChange::Unchanged, {}};
    CapabilityRecord after;
    for (int write = 0; write < kCapabilityWrites; ++write) {
        // The monitor's answer is only waited for: what it took shows in the reading back.
        std::string answer;
        monitor.CollectUntilPrompt(FormatInitCaps(wanted), answer, capacity,
                                   kCapabilityAnswerLimit);
        after = ReadCapabilities(monitor, capacity);
        if (after.status != CapabilityStatus::Read)
            return {CapabilityChange::NotTaken,
                    FormatText(text::kCapsNotReadBack, CapabilityText(wanted))};
        if (after.values == wanted) return {CapabilityChange::Written, {}};
    }
    return {CapabilityChange::NotTaken,
            FormatText(text::kCapsNotTaken, CapabilityText(wanted), CapabilityText(after.values))};
}

std::string ClearEepromDataLength(MonitorExchange& monitor) {
    const CapabilityResult cleared =
        SetCapability(monitor, kDownloadAnswerCapacity, kEepromDataLengthValue, 0);
    if (cleared.change == CapabilityChange::NoRecord) return {};
    return cleared.failure;
}

}  // namespace tarmix
