// The simulated controller's own description of the hardware models. It is kept apart from
// the program's model table on purpose: each checks the other.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarmix::sim {

struct MemoryArea {
    uint32_t start = 0;
    uint32_t size = 0;  // 0: the model has no such area
    uint32_t end() const { return start + size - 1; }
    bool contains(uint32_t address) const {
        return size && address >= start && address - start < size;
    }
};

struct ModelSpec {
    std::string keyword;                 // as on tarmix-sim's command line
    int code = 0;                        // hardware model code
    std::string modelText;               // what "please answer me" names the model
    size_t sizePosition = 39;            // where the size field stands in the answer
    std::string sizeField;               // flash size (model 2: both banks and the clock)
    std::vector<MemoryArea> flashBanks;  // sectored NOR flash, erased to 0xff
    uint32_t sectorSize = 0x10000;
    MemoryArea ram;
    bool parallelPort = false;                 // answers "parportCTRL test"
    int firmware = 30;                         // default answer to "tell version"
    std::array<int, 3> driveSizesKb{0, 0, 0};  // A:, B:, C:
};

// The model of a keyword, or nullptr. Keywords: those of the program's "change hardware"
// command, plus "vantix" and "vantix+".
const ModelSpec* findModel(const std::string& keyword);
const std::vector<ModelSpec>& allModels();

}  // namespace tarmix::sim
