#include "sim/boot_library.h"

#include <cstdio>
#include <cstring>

#include "sim/boot_update_table.h"
#include "sim/image_maker.h"

namespace tarmix::sim {

namespace {

constexpr char kMarkerFormat[] = "TARMIX-SIM BOOT LOADER MODEL %d VERSION %d LENGTH %x";
// The last bytes of a boot loader: the sum of all before them.
constexpr uint32_t kSumBytes = 4;
constexpr uint32_t kBootInitSize = 1024;
constexpr uint32_t kSeedBase = 0xB0070000;

// The numbers of a command such as "flash program   100000 00c20000 10000", after its
// first `skipWords` words; false when there are fewer than `values.size()`.
bool hexNumbers(std::string_view command, size_t skipWords, std::span<uint32_t> values) {
    std::string text(command);
    char* cursor = text.data();
    for (size_t i = 0; i < skipWords; ++i) {
        while (*cursor == ' ') ++cursor;
        while (*cursor && *cursor != ' ') ++cursor;
    }
    for (uint32_t& value : values) {
        char* end = nullptr;
        value = uint32_t(std::strtoul(cursor, &end, 16));
        if (end == cursor) return false;
        cursor = end;
    }
    return true;
}

ImageOptions plainImage(uint32_t seed) {
    ImageOptions options;
    options.header = HeaderKind::kNone;
    options.seed = seed;
    return options;
}

}  // namespace

namespace {

uint32_t BootLoaderSum(std::span<const uint8_t> bytes) {
    uint32_t hash = 2166136261u;  // FNV-1a: one changed byte always changes it
    for (uint8_t b : bytes) hash = (hash ^ b) * 16777619u;
    return hash;
}

}  // namespace

std::vector<uint8_t> BootLoaderBytes(int code, int version, uint32_t size) {
    std::vector<uint8_t> bytes =
        MakeImageBytes(0, size, plainImage(kSeedBase + uint32_t(code) * 1000 + uint32_t(version)));
    if (size < kBootMarkerOffset + kBootMarkerLength + kSumBytes) return bytes;
    char marker[kBootMarkerLength] = {};
    std::snprintf(marker, sizeof marker, kMarkerFormat, code, version, size);
    std::memcpy(bytes.data() + kBootMarkerOffset, marker, sizeof marker);
    const uint32_t sum = BootLoaderSum(std::span(bytes).first(size - kSumBytes));
    for (uint32_t i = 0; i < kSumBytes; ++i) bytes[size - kSumBytes + i] = uint8_t(sum >> (8 * i));
    return bytes;
}

std::optional<BootMarker> ReadBootMarker(std::span<const uint8_t> bootArea) {
    if (bootArea.size() < kBootMarkerOffset + kBootMarkerLength) return std::nullopt;
    std::string text(reinterpret_cast<const char*>(bootArea.data() + kBootMarkerOffset),
                     kBootMarkerLength);
    text.resize(std::strlen(text.c_str()));
    BootMarker marker;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "TARMIX-SIM BOOT LOADER MODEL %d VERSION %d LENGTH %x%n",
                    &marker.code, &marker.version, &marker.length, &consumed) != 3 ||
        size_t(consumed) != text.size())
        return std::nullopt;
    return marker;
}

bool ValidBootLoader(std::span<const uint8_t> bootArea, const BootMarker& marker) {
    if (marker.length < kBootMarkerOffset + kBootMarkerLength + kSumBytes ||
        marker.length > bootArea.size())
        return false;
    uint32_t sum = 0;
    for (uint32_t i = 0; i < kSumBytes; ++i)
        sum |= uint32_t(bootArea[marker.length - kSumBytes + i]) << (8 * i);
    return sum == BootLoaderSum(bootArea.first(marker.length - kSumBytes));
}

std::optional<BootImagePlace> BootImagePlaceFor(int code, int loadingMonitorVersion) {
    const BootUpdateRow* row = BootUpdateRowFor(code);
    const auto commands = BootUpdateCommandsFor(code, loadingMonitorVersion);
    if (row == nullptr || !commands) return std::nullopt;
    const std::string_view bootInitOffset = commands->firstOffset;
    const std::string_view bootLoaderOffset = commands->secondOffset;
    const std::string_view program = commands->program;
    uint32_t copy[3] = {}, offset = 0;  // destination, source, length
    if (!hexNumbers(program, 2, copy) || !hexNumbers(bootLoaderOffset, 1, {&offset, 1}))
        return std::nullopt;
    BootImagePlace place;
    place.bootLoaderFile = row->bootLoader;
    place.bootLoaderSize = copy[2];
    place.bootLoaderAddress = copy[1] - offset;
    if (!bootInitOffset.empty()) {
        // The boot-init program lands just above the window "flash program" copies.
        if (!hexNumbers(bootInitOffset, 1, {&offset, 1})) return std::nullopt;
        place.bootInitFile = row->bootInit;
        place.bootInitAddress = copy[1] + copy[2] - offset;
    }
    return place;
}

int MakeBootLibrary(const ModelSpec& model, int version, int loadingMonitorVersion,
                    const std::filesystem::path& folder, std::string& error) {
    std::vector<int> codes{model.code};
    if (const int partner = VariantPartner(model.code)) codes.push_back(partner);
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    for (int code : codes) {
        const std::optional<BootImagePlace> place = BootImagePlaceFor(code, loadingMonitorVersion);
        if (!place) {
            error = "model \"" + model.keyword + "\" has no boot loader update";
            return 1;
        }
        const auto write = [&](const std::string& name, uint32_t address,
                               const std::vector<uint8_t>& bytes, const std::string& title) {
            ImageOptions options = plainImage(0);
            options.title = title;
            return WriteRomImage((folder / name).string(), address, bytes, options, error);
        };
        if (!place->bootInitFile.empty() &&
            write(place->bootInitFile, place->bootInitAddress,
                  MakeImageBytes(0, kBootInitSize, plainImage(kSeedBase + uint32_t(code))),
                  "tarmix-sim boot init") != 0)
            return 1;
        // The title names the version, as the program shows it before an update.
        if (write(place->bootLoaderFile, place->bootLoaderAddress,
                  BootLoaderBytes(code, version, place->bootLoaderSize),
                  "tarmix-sim boot loader version " + std::to_string(version)) != 0)
            return 1;
    }
    return 0;
}

}  // namespace tarmix::sim
