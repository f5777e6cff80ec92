// The controller's memory as its monitor sees it: the flash banks of the model, which are
// NOR flash, and RAM everywhere else in the 32-bit address space.
//
// Flash reads 0xff once erased. Erasing works on whole sectors; programming can only clear
// bits, so programming over bytes that were not erased leaves the AND of old and new, and
// a missing erase shows up as a wrong compare. RAM takes what is written; RAM that was
// never written reads 0x00.
//
// The memory is kept sparse, in pages of 4 KiB: a model with 32 MiB of flash costs only
// what has been written. Every flash sector is a whole number of pages.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/sim_models.h"

namespace tarmix::sim {

struct Sector {
    uint32_t start = 0;
    uint32_t size = 0;
    int index = 0;  // number of the sector within its bank, from 0
};

class Memory {
  public:
    static constexpr uint32_t kPageSize = 0x1000;

    explicit Memory(const ModelSpec& model) : model_(model) {}

    // The flash bank that holds the whole range, or nullptr (also for a range that crosses
    // the end of a bank).
    const MemoryArea* flashBank(uint32_t address, uint32_t count = 1) const;
    // Some byte of [address, address + count) lies in the flash.
    bool touchesFlash(uint32_t address, uint32_t count) const;
    // The sector that holds a flash address; nullptr outside the flash.
    std::optional<Sector> sectorAt(uint32_t address) const;
    // The sectors that overlap [first, last], in address order; both must lie in one bank.
    std::vector<Sector> sectorsOverlapping(uint32_t first, uint32_t last) const;

    void erase(const Sector& sector);
    // Flash bytes are programmed (AND with the old contents), RAM bytes stored.
    void program(uint32_t address, std::span<const uint8_t> bytes);
    // Every byte takes the new value, flash included: for flash that erases itself, for
    // RAM, and for loading a saved state.
    void store(uint32_t address, std::span<const uint8_t> bytes);
    // RAM loses what it held (power went away); the flash keeps it.
    void forgetRam();
    void read(uint32_t address, std::span<uint8_t> out) const;
    std::vector<uint8_t> read(uint32_t address, uint32_t count) const;

    // The highest address in [area.start, area.end()] whose byte differs from the erased
    // or unwritten value; false when there is none.
    bool lastWritten(const MemoryArea& area, uint32_t& address) const;

    // The flash contents as S3 records in ascending address order, CR LF line ends; runs
    // of erased bytes are left out. false with a reason when the file cannot be written.
    bool saveFlash(const std::filesystem::path& path, std::string& error) const;
    // Loads such a file: erases the whole flash, then stores every data record. A missing
    // file leaves the flash erased. false with a reason when the file cannot be read or a
    // record lies outside the model's flash.
    bool loadFlash(const std::filesystem::path& path, std::string& error);

  private:
    using Page = std::vector<uint8_t>;
    enum class Write { kProgram, kStore };

    uint8_t blankByte(uint32_t address) const;
    Page& page(uint32_t index);
    void write(uint32_t address, std::span<const uint8_t> bytes, Write how);

    const ModelSpec& model_;
    std::map<uint32_t, Page> pages_;  // by page number: address / kPageSize
};

}  // namespace tarmix::sim
