// Shared by the fuzz targets: the input as text, and as a file for the readers that take a
// path. Each target process writes its own file, so targets may run side by side.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tarmix::fuzz {

inline std::string_view asText(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input written to a private file; the path stays the same for the whole run.
inline const std::string& asFile(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/tarmix-fuzz-" + std::to_string(getpid()) + ".in";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    return path;
}

// A broken promise of a parser: ends the run as a crash, with the input kept.
inline void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "broken: %s\n", what);
        __builtin_trap();
    }
}

}  // namespace tarmix::fuzz
