#include "app/settings.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>

#include "lang/catalog.h"
#include "platform/input_file.h"
#include "platform/replacing_file.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

// A real settings file is about a hundred bytes; anything beyond this is not read.
constexpr uint64_t kMaxFileSize = 1 << 20;

constexpr int kAllowedBaudRates[] = {57600, 115200, 230400};

struct Key {
    std::string_view name;
    int Settings::*value;
    // What a user may set: one of `choices`, or with none a number from low to high.
    int low = 0;
    int high = 0;
    std::span<const int> choices = {};
};
// In the order the file is written.
constexpr Key kKeys[] = {
    {"[LANGUAGE]", &Settings::languageIndex, kGermanLanguage, kLastLanguage},
    {"[BAUDRATE]", &Settings::baudRate, 0, 0, kAllowedBaudRates},
    {"[COMPORT]", &Settings::selectedPort, -1, 6},
    {"[KEEP_RECEIPTS]", &Settings::keepReceipts, 0, 1},
    {"[VERIFY]", &Settings::verifyAfterWrite, 0, 1},
};

// The key without its brackets, as the user types it.
std::string_view bareName(const Key& key) { return key.name.substr(1, key.name.size() - 2); }

bool allows(const Key& key, int value) {
    if (key.choices.empty()) return value >= key.low && value <= key.high;
    return std::find(key.choices.begin(), key.choices.end(), value) != key.choices.end();
}

// --lang: the language of this run, and the one the settings gave, which the file keeps.
struct RunLanguage {
    std::optional<int> chosen;
    int stored = kGermanLanguage;
};
RunLanguage runLanguage;

// Text of 16-bit little-endian characters has a zero in (nearly) every odd byte; UTF-8
// and ASCII text has no zero bytes at all.
bool looksLikeUtf16(std::string_view bytes) {
    const size_t pairs = bytes.size() / 2;
    size_t zeros = 0;
    for (size_t i = 1; i < bytes.size(); i += 2) zeros += bytes[i] == '\0';
    return pairs > 0 && zeros * 2 >= pairs;
}

// The file as one-byte text. Only the keys and numbers matter, all of them ASCII, so a
// 16-bit character outside ASCII becomes '?'.
std::string decode(std::string_view bytes) {
    bool wide = false;
    if (bytes.substr(0, 2) == "\xFF\xFE") {
        bytes.remove_prefix(2);
        wide = true;
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    } else {
        wide = looksLikeUtf16(bytes);
    }
    if (!wide) return std::string(bytes);
    std::string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned unit =
            static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
        text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return text;
}

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One decimal number as "%d" reads it: blanks, an optional sign, at least one digit.
// A number outside the 32-bit range is not read.
std::optional<int> readNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    long long value = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return std::nullopt;
    return static_cast<int>(value);
}

void applyLine(std::string_view line, Settings& settings) {
    for (const Key& key : kKeys) {
        if (line.substr(0, key.name.size()) != key.name) continue;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) return;
        if (const auto number = readNumber(line.substr(colon + 1))) settings.*key.value = *number;
        return;
    }
}

std::string encodeUtf16(std::string_view text) {
    std::string bytes;
    for (char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

}  // namespace

void ParseSettings(std::string_view contents, Settings& settings) {
    const std::string text = decode(contents);
    std::string_view rest = text;
    while (!rest.empty()) {
        const size_t end = rest.find_first_of("\r\n");
        const std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.front() != ';') applyLine(line, settings);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
}

int ReadSettings(const fs::path& folder, Settings& settings) {
    settings.languageIndex = 0;
    settings.baudRate = kDefaultBaudRate;
    settings.selectedPort = 0;
    InputFile file;  // a pipe or a device in its place would never end: defaults then
    const bool opened = file.open((folder / kSettingsFileName).string());
    if (opened) {
        // Sized to the file: zeroing the whole limit would cost more than the read.
        std::string contents(std::min<uint64_t>(file.size(), kMaxFileSize), '\0');
        contents.resize(std::fread(contents.data(), 1, contents.size(), file.get()));
        ParseSettings(contents, settings);
    } else {
        settings.languageIndex =
            languageOfLocale([](const char* name) { return std::getenv(name); });
    }
    runLanguage.stored = settings.languageIndex;
    if (runLanguage.chosen) settings.languageIndex = *runLanguage.chosen;
    return opened ? 0 : 1;
}

void SetRunLanguage(std::optional<int> language) { runLanguage.chosen = language; }

int WriteSettings(const fs::path& folder, const Settings& settings, std::string* reason) {
    Settings kept = settings;
    if (runLanguage.chosen == settings.languageIndex) kept.languageIndex = runLanguage.stored;
    std::string text;
    for (const Key& key : kKeys)
        text += std::string(key.name) + ": " + std::to_string(kept.*key.value) + "\r\n";
    std::string error;
    if (WriteFileSafely(folder / kSettingsFileName, encodeUtf16(text), error)) return 0;
    if (reason) *reason = error;
    return 1;
}

std::vector<SettingLine> SettingLines(const Settings& settings) {
    std::vector<SettingLine> lines;
    for (const Key& key : kKeys) lines.push_back({bareName(key), settings.*key.value});
    return lines;
}

std::string FindSettingName(std::string_view typed) {
    std::string name(typed);
    for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
    if (name.size() > 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    for (const Key& key : kKeys)
        if (bareName(key) == name) return name;
    return {};
}

bool ChangeSetting(Settings& settings, std::string_view name, std::string_view value) {
    for (const Key& key : kKeys) {
        if (bareName(key) != name) continue;
        // The whole value is one number: "57600x" is a mistake, not 57600.
        int number = 0;
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), number);
        if (error != std::errc() || end != value.data() + value.size() || !allows(key, number))
            return false;
        settings.*key.value = number;
        return true;
    }
    return false;
}

std::string SettingNames() {
    std::string names;
    for (const Key& key : kKeys) names += (names.empty() ? "" : ", ") + std::string(bareName(key));
    return names;
}

std::string AllowedSettingValues(std::string_view name) {
    for (const Key& key : kKeys) {
        if (bareName(key) != name) continue;
        if (key.choices.empty()) return std::to_string(key.low) + ".." + std::to_string(key.high);
        std::string values;
        for (int choice : key.choices)
            values += (values.empty() ? "" : ", ") + std::to_string(choice);
        return values;
    }
    return {};
}

void CheckSettingValues(Settings& settings) {
    bool allowed = false;
    for (int rate : kAllowedBaudRates) allowed = allowed || settings.baudRate == rate;
    if (!allowed) settings.baudRate = kDefaultBaudRate;
    if (settings.languageIndex > kLastLanguage) settings.languageIndex = kEnglishLanguage;
}

}  // namespace tarmix
