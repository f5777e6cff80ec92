// S-record lines, and an image file read the three ways the download reads it: its extent,
// its info header, and its blocks for the serial and the parallel transfer.
#include "flash/rom_image.h"
#include "flash/rom_image_header.h"
#include "flash/srec_line.h"
#include "fuzz_input.h"

using namespace tarmix;

namespace {

void checkBlocks(const std::string& path, bool parallel) {
    // A limit as small as the smallest a model has gives many blocks from a small input.
    const size_t limit = 256;
    AssembleBlocks(
        path, 0x100, limit, parallel, [&](uint32_t base, std::span<const uint8_t> bytes) {
            fuzz::check(base % 4 == 0, "a block starts on a multiple of 4");
            fuzz::check(bytes.size() <= kBlockCapacity, "a block fits the block capacity");
            fuzz::check(parallel || bytes.size() <= limit, "a serial block keeps the limit");
            return 0;
        });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzz::asText(data, size);
    DataRecord record;
    if (ClassifyLine(text, record) == LineKind::kData) {
        fuzz::check(record.digits.size() == 2 * record.count, "two digits per data byte");
        std::vector<uint8_t> bytes(record.count);
        DecodeBytes(record.digits, bytes.data());
    }
    const std::string& path = fuzz::asFile(data, size);
    ImageExtent extent;
    ScanImageExtent(path, extent);
    ImageHeader header;
    ReadImageHeader(path, kSerialBlockLimit, false, header);
    checkBlocks(path, false);
    checkBlocks(path, true);
    return 0;
}
