// A whole file as bytes, for tests that compare files.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tarmix::testing {

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace tarmix::testing
