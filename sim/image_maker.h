// Application ROM images for the simulated controller, its tests, the benchmarks and the
// demo files: S-records of deterministic pseudo-random data with an optional info header
// in the first bytes.
//
// The header describes a plain image the download accepts as it is: the code covers the
// whole image, the ROM ends with it, the RAM it needs fits in the RAM it has, and the
// application starts at the load address (skip offset 0) unless the options say otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarmix::sim {

enum class HeaderKind { kInf1, kInf2, kInf3, kNone };

// "inf1", "inf2", "inf3" or "none"; false for anything else (kind unchanged).
bool ParseHeaderKind(std::string_view text, HeaderKind& kind);

struct ImageOptions {
    HeaderKind header = HeaderKind::kInf1;
    bool bigEndian = false;   // header words most significant byte first
    bool ramOnly = false;     // an "S0RAM-VERSION" line: the image runs from RAM only
    bool s2Records = false;   // 24-bit "S2" records ending with "S8" instead of "S3" and "S7"
    uint32_t seed = 1;        // the same seed gives the same data
    size_t recordBytes = 32;  // data bytes per record (1 to 250)
    std::string title = "tarmix-sim image";  // the "S0" line's text
    // Header figures. RAM end = ramStart + ramAvailable, RAM used end = ramStart + ramNeeded.
    uint32_t ramStart = 0x00800000;
    uint32_t ramNeeded = 0x4000;
    uint32_t ramAvailable = 0x10000;
    // "Inf2" and "Inf3": application start - load address, and the version word.
    uint32_t skipOffset = 0;
    uint32_t version = 0x00010000;
};

// The bytes of the image: the header (if any) followed by pseudo-random data.
std::vector<uint8_t> MakeImageBytes(uint32_t startAddress, uint32_t size,
                                    const ImageOptions& options);

// Writes the image of `size` bytes loaded at `startAddress` to `path` as S-records with CR LF
// line ends: an "S0" line, the data records in address order, a count record and an end
// record holding the start address. An existing file is replaced only once the new one is
// complete. 0 on success; 1 with `error` saying why: size 0 or smaller than the header,
// an image that runs past 4 GiB (16 MiB with "S2" records), a skip offset outside the
// image, a bad record length, or a file that cannot be written.
int MakeRomImage(const std::string& path, uint32_t startAddress, uint32_t size,
                 const ImageOptions& options, std::string& error);

// Writes the given bytes as such an image (the options' header fields are not used: the
// bytes are written as they are). Same results as MakeRomImage.
int WriteRomImage(const std::string& path, uint32_t startAddress, std::span<const uint8_t> data,
                  const ImageOptions& options, std::string& error);

}  // namespace tarmix::sim
