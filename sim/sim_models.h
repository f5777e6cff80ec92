// The simulated controller's own description of the hardware models. It is kept apart from
// the program's model table on purpose: each checks the other.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
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
    // The whole of [address, address + count) lies inside (count 0: the address does).
    bool containsRange(uint32_t address, uint32_t count) const {
        return contains(address) && (count == 0 || count - 1 <= end() - address);
    }
};

// How "flash erase application" names its addresses on a model.
enum class EraseForm {
    kPlain,            // "flash erase application %08x %08x", flash addresses
    kMapped,           // the same with uncached addresses: (address & 0x1FFFFFFF) | 0xA0000000
    kMappedWithWidth,  // "flash %2d erase application %08x %08x", mapped; width 32 or 16
};

struct ModelSpec {
    std::string keyword;                 // as on tarmix-sim's command line
    int code = 0;                        // hardware model code
    std::string modelText;               // what "please answer me" names the model
    size_t sizePosition = 39;            // where the size field stands in the answer
    std::string sizeField;               // flash size (model 2: both banks and the clock)
    std::vector<MemoryArea> flashBanks;  // sectored NOR flash, erased to 0xff
    uint32_t sectorSize = 0x10000;
    // The first 64 KiB of bank 1 are four boot sectors of 16, 8, 8 and 32 KiB.
    bool bootBlock = true;
    // Bytes at the bottom of bank 1 that hold the boot loader: application erases and
    // "burn" leave them alone.
    uint32_t bootSize = 0;
    MemoryArea ram;
    // Where application images are loaded: the program's bank A (in RAM on staged models).
    uint32_t applicationStart = 0;
    EraseForm eraseForm = EraseForm::kPlain;
    // The application goes into RAM and "flash program" copies it to the flash; the erase
    // answers "Sectors(%4d):" and "erase done" without a line break before it.
    bool stagedFlash = false;
    // "burn" erases what it writes over: these models are never erased before a download.
    bool burnErases = false;
    // Monitors up to version 8 address bank 1 from 0: they add this to addresses below
    // 0x300000 in "burn", "verify", "flash erase sector" and "flash program".
    uint32_t oldMonitorFlashOffset = 0;
    // The largest "burn"/"verify" block the monitor takes from the serial line (from the
    // parallel port it takes up to Controller::kParallelBlockLimit).
    uint32_t serialBlockLimit = 4000;
    // The UART runs at 115200 baud too: with monitors after version 14, or with every
    // monitor version when fastOnAnyMonitor is set. 230400 is beyond every model.
    bool fastUart = true;
    bool fastOnAnyMonitor = false;
    // "call" to this address restarts the controller from its boot area (the boot loader
    // update's last step); absent on models without a boot loader update.
    std::optional<uint32_t> bootEntry;
    // On a USB link the controller's port goes away at a restart and comes back as a new
    // device.
    bool usbReenumerates = false;
    bool parallelPort = false;  // answers "parportCTRL test"
    // The EEPROM data the block commands reach: from this address up to the end of the
    // EEPROM, on monitors from eepromFirmware on; no value: the monitor has no such commands.
    std::optional<uint32_t> eepromStart;
    int eepromFirmware = 0;
    int firmware = 30;                         // default answer to "tell version"
    std::array<int, 3> driveSizesKb{0, 0, 0};  // A:, B:, C:
};

// The model of a keyword, or nullptr. Keywords: those of the program's "change hardware"
// command, plus "vantix" and "vantix+".
const ModelSpec* findModel(const std::string& keyword);
const std::vector<ModelSpec>& allModels();

}  // namespace tarmix::sim
