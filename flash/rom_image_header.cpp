#include "flash/rom_image_header.h"

#include <algorithm>

#include "flash/rom_image_walk.h"

namespace tarmix {

namespace {

// Byte offsets of the header words.
constexpr size_t kOffMagic = 0;
constexpr size_t kOffTag = 8;
constexpr size_t kOffCodeStart = 12;
constexpr size_t kOffCodeEnd = 16;
constexpr size_t kOffRomEnd = 20;
constexpr size_t kOffRamStart = 24;
constexpr size_t kOffRamUsedEnd = 28;
constexpr size_t kOffRamEnd = 32;
constexpr size_t kOffApplicationStart = 36;
constexpr size_t kOffVersion = 40;
constexpr size_t kOffSecondVersion = 52;
constexpr size_t kOffSecondMagic = 64;
constexpr size_t kOffSecondTag = 72;

using Window = std::span<const uint8_t, kHeaderSpan>;

uint32_t Word(Window window, size_t offset, bool bigEndian) {
    const uint8_t* b = window.data() + offset;
    if (bigEndian) return uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 | uint32_t{b[2]} << 8 | b[3];
    return uint32_t{b[3]} << 24 | uint32_t{b[2]} << 16 | uint32_t{b[1]} << 8 | b[0];
}

uint32_t Tag(HeaderForm form) {
    switch (form) {
        case HeaderForm::kInf1:
            return kTagInf1;
        case HeaderForm::kInf2:
            return kTagInf2;
        default:
            return kTagInf3;
    }
}

ImageHeader Decode(Window window, uint32_t base, HeaderForm form, bool bigEndian) {
    const auto word = [&](size_t offset) { return Word(window, offset, bigEndian); };
    ImageHeader header;
    header.form = form;
    header.bigEndian = bigEndian;
    header.firstBlockBase = base;
    header.romExtent = word(kOffRomEnd) - base;
    header.ramNeeded = word(kOffRamUsedEnd) - word(kOffRamStart);
    header.ramAvailable = word(kOffRamEnd) - word(kOffRamStart);
    if (form != HeaderForm::kInf1) {
        header.skipOffset = word(kOffApplicationStart) - base;
        header.version = word(form == HeaderForm::kSecond ? kOffSecondVersion : kOffVersion);
    }
    header.romCodeSize = word(kOffCodeEnd) - word(kOffCodeStart) + header.skipOffset;
    return header;
}

}  // namespace

std::array<uint8_t, 4> ImageHeader::versionBytes() const {
    const auto byte = [this](int shift) { return static_cast<uint8_t>(version >> shift); };
    if (bigEndian) return {byte(24), byte(16), byte(8), byte(0)};
    return {byte(0), byte(8), byte(16), byte(24)};
}

ImageHeader DecodeImageHeader(Window window, uint32_t base) {
    for (HeaderForm form : {HeaderForm::kInf1, HeaderForm::kInf2, HeaderForm::kInf3}) {
        for (bool bigEndian : {false, true}) {
            if (Word(window, kOffMagic, bigEndian) == kHeaderMagic &&
                Word(window, kOffTag, bigEndian) == Tag(form)) {
                return Decode(window, base, form, bigEndian);
            }
        }
    }
    const auto second = [&](size_t magicOffset, size_t tagOffset) {
        return Word(window, magicOffset, false) == kSecondHeaderMagic &&
               Word(window, tagOffset, false) == kTagInf3;
    };
    if (second(kOffMagic, kOffTag) || second(kOffSecondMagic, kOffSecondTag)) {
        return Decode(window, base, HeaderForm::kSecond, false);
    }
    ImageHeader none;
    none.firstBlockBase = base;
    return none;
}

ImageResult ReadImageHeader(const std::string& path, size_t blockLimit, bool parallel,
                            ImageHeader& header) {
    const size_t limit = UsableBlockLimit(blockLimit);
    std::array<uint8_t, kHeaderSpan> window;
    window.fill(0xFF);
    uint32_t base = 0;
    size_t pos = 0;  // fill position of the first block; 0 while none is open
    const auto visit = [&](LineKind kind, const DataRecord& record) {
        if (kind != LineKind::kData) return true;
        if (pos == 0) {
            base = record.address & ~uint32_t{3};
            pos = record.address - base;
        } else if (record.address != base + static_cast<uint32_t>(pos) ||
                   (parallel ? pos > kParallelBlockFill : pos >= limit)) {
            return false;  // the first block is complete
        }
        if (pos < kHeaderSpan) {
            const size_t inside = std::min(record.count, kHeaderSpan - pos);
            DecodeBytes(record.digits.substr(0, 2 * inside), window.data() + pos);
        }
        pos += record.count;
        return pos < kHeaderSpan;  // what follows in the block does not change the header
    };
    SrecLineReader reader;
    const ImageResult result = WalkRecords(reader, path, visit);
    if (result.status != ImageStatus::kOk && result.status != ImageStatus::kStopped) return result;
    header = DecodeImageHeader(window, base);
    return {};
}

}  // namespace tarmix
