#include "sim/memory.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>

#include "sim/srec.h"

namespace tarmix::sim {

namespace {

constexpr uint8_t kErased = 0xff;
constexpr uint8_t kUnwrittenRam = 0x00;
constexpr size_t kSavedRecordBytes = 32;

// The boot block at the bottom of bank 1: sectors of 16, 8, 8 and 32 KiB.
constexpr uint32_t kBootBlockSize = 0x10000;
constexpr std::array<std::pair<uint32_t, uint32_t>, 4> kBootSectors{
    {{0x0000, 0x4000}, {0x4000, 0x2000}, {0x6000, 0x2000}, {0x8000, 0x8000}}};

}  // namespace

const MemoryArea* Memory::flashBank(uint32_t address, uint32_t count) const {
    for (const MemoryArea& bank : model_.flashBanks)
        if (bank.containsRange(address, count)) return &bank;
    return nullptr;
}

bool Memory::touchesFlash(uint32_t address, uint32_t count) const {
    if (count == 0) return false;
    const uint64_t last = uint64_t{address} + count - 1;
    for (const MemoryArea& bank : model_.flashBanks)
        if (bank.size && address <= bank.end() && last >= bank.start) return true;
    return false;
}

std::optional<Sector> Memory::sectorAt(uint32_t address) const {
    const MemoryArea* bank = flashBank(address);
    if (!bank) return std::nullopt;
    const uint32_t offset = address - bank->start;
    const bool bootBlock = model_.bootBlock && bank == &model_.flashBanks.front();
    if (bootBlock && offset < kBootBlockSize) {
        for (size_t i = 0; i < kBootSectors.size(); ++i) {
            const auto [start, size] = kBootSectors[i];
            if (offset - start < size) return Sector{bank->start + start, size, int(i)};
        }
    }
    // The boot block takes the place of one large sector and adds three sector numbers.
    const int shift = bootBlock ? int(kBootSectors.size()) - 1 : 0;
    const uint32_t index = offset / model_.sectorSize;
    return Sector{bank->start + index * model_.sectorSize, model_.sectorSize, int(index) + shift};
}

std::vector<Sector> Memory::sectorsOverlapping(uint32_t first, uint32_t last) const {
    std::vector<Sector> sectors;
    const MemoryArea* bank = flashBank(first);
    if (!bank || first > last || !bank->contains(last)) return sectors;
    for (auto sector = sectorAt(first); sector && sector->start <= last;) {
        sectors.push_back(*sector);
        if (sector->size - 1 >= bank->end() - sector->start) break;  // the bank's last sector
        sector = sectorAt(sector->start + sector->size);
    }
    return sectors;
}

void Memory::erase(const Sector& sector) {
    const uint32_t first = sector.start / kPageSize;
    const uint32_t pages = sector.size / kPageSize;
    pages_.erase(pages_.lower_bound(first), pages_.lower_bound(first + pages));
}

void Memory::forgetRam() {
    std::erase_if(pages_, [this](const auto& page) { return !flashBank(page.first * kPageSize); });
}

uint8_t Memory::blankByte(uint32_t address) const {
    return flashBank(address) ? kErased : kUnwrittenRam;
}

Memory::Page& Memory::page(uint32_t index) {
    auto found = pages_.find(index);
    if (found != pages_.end()) return found->second;
    return pages_.emplace(index, Page(kPageSize, blankByte(index * kPageSize))).first->second;
}

void Memory::write(uint32_t address, std::span<const uint8_t> bytes, Write how) {
    size_t done = 0;
    while (done < bytes.size()) {
        const uint32_t at = address + uint32_t(done);  // wraps at 4 GiB, as the address bus
        const uint32_t offset = at % kPageSize;
        const size_t count = std::min<size_t>(kPageSize - offset, bytes.size() - done);
        Page& target = page(at / kPageSize);
        const bool andInto = how == Write::kProgram && flashBank(at);
        for (size_t i = 0; i < count; ++i) {
            uint8_t& cell = target[offset + i];
            cell = andInto ? uint8_t(cell & bytes[done + i]) : bytes[done + i];
        }
        done += count;
    }
}

void Memory::program(uint32_t address, std::span<const uint8_t> bytes) {
    write(address, bytes, Write::kProgram);
}

void Memory::store(uint32_t address, std::span<const uint8_t> bytes) {
    write(address, bytes, Write::kStore);
}

void Memory::read(uint32_t address, std::span<uint8_t> out) const {
    size_t done = 0;
    while (done < out.size()) {
        const uint32_t at = address + uint32_t(done);
        const uint32_t offset = at % kPageSize;
        const size_t count = std::min<size_t>(kPageSize - offset, out.size() - done);
        auto found = pages_.find(at / kPageSize);
        if (found == pages_.end()) {
            std::fill_n(out.begin() + long(done), count, blankByte(at));
        } else {
            std::copy_n(found->second.begin() + offset, count, out.begin() + long(done));
        }
        done += count;
    }
}

std::vector<uint8_t> Memory::read(uint32_t address, uint32_t count) const {
    std::vector<uint8_t> bytes(count);
    read(address, bytes);
    return bytes;
}

bool Memory::lastWritten(const MemoryArea& area, uint32_t& address) const {
    if (!area.size) return false;
    auto it = pages_.upper_bound(area.end() / kPageSize);
    while (it != pages_.begin()) {
        --it;
        const uint64_t pageStart = uint64_t{it->first} * kPageSize;
        if (pageStart + kPageSize <= area.start) return false;
        const uint8_t blank = blankByte(uint32_t(pageStart));
        for (uint32_t i = kPageSize; i-- > 0;) {
            const uint64_t at = pageStart + i;
            if (at > area.end() || at < area.start) continue;
            if (it->second[i] != blank) {
                address = uint32_t(at);
                return true;
            }
        }
    }
    return false;
}

bool Memory::saveFlash(const std::filesystem::path& path, std::string& error) const {
    static constexpr std::string_view kName = "tarmix-sim flash";
    std::string text =
        EncodeSrecord('0', 0, {reinterpret_cast<const uint8_t*>(kName.data()), kName.size()}) +
        "\r\n";
    for (const auto& [index, bytes] : pages_) {
        const uint32_t pageStart = index * kPageSize;
        if (!flashBank(pageStart)) continue;
        for (size_t offset = 0; offset < kPageSize; offset += kSavedRecordBytes) {
            const auto chunk = std::span(bytes).subspan(offset, kSavedRecordBytes);
            if (std::all_of(chunk.begin(), chunk.end(), [](uint8_t b) { return b == kErased; }))
                continue;
            text += EncodeSrecord('3', pageStart + uint32_t(offset), chunk) + "\r\n";
        }
    }
    text += EncodeSrecord('7', 0, {}) + "\r\n";

    // Written aside and renamed, so a stop in the middle never leaves half a memory.
    const std::filesystem::path partial = path.string() + ".part";
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    bool ok = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = file && std::fclose(file) == 0 && ok;
    std::error_code failure;
    if (ok) std::filesystem::rename(partial, path, failure);
    if (ok && !failure) return true;
    std::filesystem::remove(partial, failure);
    error = "cannot write " + path.string();
    return false;
}

bool Memory::loadFlash(const std::filesystem::path& path, std::string& error) {
    for (auto it = pages_.begin(); it != pages_.end();)
        it = flashBank(it->first * kPageSize) ? pages_.erase(it) : std::next(it);
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored)) return true;

    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path.string();
        return false;
    }
    unsigned long lineNumber = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const std::optional<Srecord> record = DecodeSrecord(line);
        if (record && !record->carriesData()) continue;
        if (!record || !flashBank(record->address, uint32_t(record->data.size()))) {
            error = path.string() + ": line " + std::to_string(lineNumber) +
                    " does not hold flash contents";
            return false;
        }
        store(record->address, record->data);
    }
    if (in.bad()) {
        error = "cannot read " + path.string();
        return false;
    }
    return true;
}

}  // namespace tarmix::sim
