// A whole file as bytes, for tests that compare files.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

namespace tarmix::testing {

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// ASCII text as the settings file holds it: UTF-16LE without a byte-order mark.
inline std::string utf16(std::string_view text) {
    std::string bytes;
    for (char c : text) bytes += {c, '\0'};
    return bytes;
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace tarmix::testing
