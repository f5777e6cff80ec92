// Reading the monitor's command arguments and writing its answers.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

namespace tarmix::sim {

// Error lines of the monitor. The program takes any of them for a failure; none is parsed.
inline constexpr char kUnknownCommand[] = "Unknown command: ";
inline constexpr char kSyntaxError[] = "Syntax error";
inline constexpr char kAddressError[] = "Address error";
inline constexpr char kChecksumError[] = "Checksum error";
inline constexpr char kDriveNotAvailable[] = "Drive not available";
inline constexpr char kPathError[] = "Path error";
inline constexpr char kFileSystemError[] = "File system error";

// One to eight hexadecimal digits, nothing else. false leaves `value` unchanged.
inline bool parseHex(const std::string& text, uint32_t& value) {
    if (text.empty() || text.size() > 8) return false;
    uint32_t result = 0;
    const char* end = text.data() + text.size();
    if (std::from_chars(text.data(), end, result, 16).ptr != end) return false;
    value = result;
    return true;
}

// The arguments as hexadecimal numbers, one for each of `values`; false when their number
// differs or one is not a hexadecimal number.
inline bool parseHexArgs(const std::vector<std::string>& args,
                         std::initializer_list<uint32_t*> values) {
    if (args.size() != values.size()) return false;
    size_t i = 0;
    for (uint32_t* value : values)
        if (!parseHex(args[i++], *value)) return false;
    return true;
}

// An optional minus sign and one or more decimal digits that fit into an int.
inline bool parseDecimal(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    int result = 0;
    const auto [stop, failure] = std::from_chars(text.data(), end, result, 10);
    if (failure != std::errc() || stop != end) return false;
    value = result;
    return true;
}

// printf into a string.
__attribute__((format(printf, 1, 2))) inline std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    char buffer[256];
    const int length = std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return std::string(buffer, size_t(std::max(0, std::min<int>(length, sizeof buffer - 1))));
}

}  // namespace tarmix::sim
