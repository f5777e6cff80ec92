// The search for the image info header in the first bytes of an image.
#include <algorithm>
#include <array>

#include "flash/rom_image_header.h"
#include "fuzz_input.h"

using namespace tarmix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    std::array<uint8_t, kHeaderSpan> window;
    window.fill(0xFF);  // bytes beyond the block read as erased
    std::copy_n(data + 4, std::min(size - 4, kHeaderSpan), window.begin());
    const uint32_t base =
        uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | uint32_t(data[2]) << 8 | data[3];
    const ImageHeader header = DecodeImageHeader(window, base);
    header.versionBytes();
    return 0;
}
