// Temporary image files and block collection for the ROM image tests.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "flash/rom_image.h"

namespace tarmix::test {

// A file in the temporary folder that is removed again at the end of the test.
class TempFile {
  public:
    explicit TempFile(std::string_view content = {}) {
        static std::atomic<int> counter{0};
        path_ = (std::filesystem::temp_directory_path() /
                 ("tarmix_srec_" + std::to_string(::getpid()) + "_" + std::to_string(counter++)))
                    .string();
        std::ofstream(path_, std::ios::binary).write(content.data(), content.size());
    }
    ~TempFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

struct EmittedBlock {
    uint32_t base;
    std::vector<uint8_t> bytes;
};

// Every block AssembleBlocks emits; `result` receives its result.
inline std::vector<EmittedBlock> CollectBlocks(const std::string& path, uint32_t start,
                                               size_t limit, bool parallel,
                                               AssembleResult* result = nullptr) {
    std::vector<EmittedBlock> blocks;
    const AssembleResult r =
        AssembleBlocks(path, start, limit, parallel, [&](uint32_t base, auto bytes) {
            blocks.push_back({base, {bytes.begin(), bytes.end()}});
            return 0;
        });
    if (result) *result = r;
    return blocks;
}

}  // namespace tarmix::test
