// The image info header that many application images carry in their first bytes: 32-bit
// words that say how much ROM and RAM the application needs, where it really starts, and
// which version it is. The download checks them against the controller before it erases
// anything.
//
// Words, at byte offsets from the base of the image's first block:
//    0 magic 0x00090009        8 tag "Inf1" / "Inf2" / "Inf3"     12 code start
//   16 code end               20 ROM end                         24 RAM start
//   28 RAM used end           32 RAM end                         36 application start
//   40 version ("Inf2", "Inf3")
// A second form, written by another tool chain, has magic 0xE1A00000 and tag "Inf3" (at
// offsets 0 and 8, or at 64 and 72) and its version at offset 52.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "flash/rom_image.h"

namespace tarmix {

// The header forms, in the order they are tried.
enum class HeaderForm {
    kInf1,    // magic 0x00090009, tag "Inf1": no skip offset, no version
    kInf2,    // magic 0x00090009, tag "Inf2": skip offset and version
    kInf3,    // magic 0x00090009, tag "Inf3": as "Inf2"
    kSecond,  // magic 0xE1A00000, tag "Inf3" (little-endian only): version at offset 52
    kNone,    // no header: the figures below keep their defaults
};

inline constexpr uint32_t kHeaderMagic = 0x00090009;
inline constexpr uint32_t kSecondHeaderMagic = 0xE1A00000;
inline constexpr uint32_t kTagInf1 = 0x496E6631;  // "Inf1" as a 32-bit value
inline constexpr uint32_t kTagInf2 = 0x496E6632;
inline constexpr uint32_t kTagInf3 = 0x496E6633;
// Bytes from the base of the first block that any header form reads.
inline constexpr size_t kHeaderSpan = 76;

struct ImageHeader {
    HeaderForm form = HeaderForm::kNone;
    // The header's words are stored most significant byte first ("Inf1", "Inf2", "Inf3").
    bool bigEndian = false;
    // The base of the image's first block: its lowest address rounded down to a multiple of
    // 4 (0 for an image without data records). Header offsets count from here.
    uint32_t firstBlockBase = 0;
    uint32_t romExtent = 0x100000;    // ROM end - base
    uint32_t romCodeSize = 0;         // code end - code start (+ skip offset for Inf2/Inf3)
    uint32_t ramAvailable = 0x10000;  // RAM end - RAM start
    uint32_t ramNeeded = 0;           // RAM used end - RAM start
    // Application start - base: the part of the image below the application start, which
    // need not be sent again when the controller already holds this version. The download
    // compares it as a signed value.
    uint32_t skipOffset = 0;
    uint32_t version = 0;  // the version word, as a number

    // The 4 version bytes in the image's own byte order, that is as the controller's memory
    // holds them once the image is in the flash (lowest byte first for a little-endian
    // header, highest byte first for a big-endian one).
    std::array<uint8_t, 4> versionBytes() const;

    bool operator==(const ImageHeader&) const = default;
};

// Decodes the header from the first kHeaderSpan bytes of the first block (bytes that lie
// beyond the block are 0xFF). Tries "Inf1", "Inf2", "Inf3" in little-endian and then in
// big-endian byte order each, then the second form, else kNone with the default figures.
// All differences are unsigned 32-bit arithmetic.
ImageHeader DecodeImageHeader(std::span<const uint8_t, kHeaderSpan> window, uint32_t base);

// Reads the image's first block as far as the header needs it and decodes the header.
// The first block is assembled as AssembleBlocks would, without a start address, except
// that no record is split: it is complete at a gap, when (serial) it has reached
// `blockLimit` bytes before the next record, when (parallel) it holds more than 9000 bytes,
// or at the end of the file. Reading stops there.
// kOk with `header` filled (kNone when the image has no header or no data); kOpenFailed,
// kReadFailed or kDamagedRecord (a damaged record inside the first block) leave `header`
// untouched.
ImageResult ReadImageHeader(const std::string& path, size_t blockLimit, bool parallel,
                            ImageHeader& header);

}  // namespace tarmix
