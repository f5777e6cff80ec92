// The simulator's image maker, read back with the download's readers.
#include "sim/image_maker.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "flash/rom_image.h"
#include "flash/rom_image_header.h"
#include "srec_test_support.h"

namespace tarmix {
namespace {

using sim::HeaderKind;
using sim::ImageOptions;
using sim::MakeRomImage;
using test::TempFile;

// The image's bytes as the download assembles them; ramOnly receives the marker.
std::vector<uint8_t> ReadBack(const std::string& path, uint32_t start, bool& ramOnly) {
    std::vector<uint8_t> bytes;
    AssembleResult result;
    for (const auto& block : test::CollectBlocks(path, start, kSerialBlockLimit, false, &result)) {
        EXPECT_EQ(block.base, start + bytes.size());
        bytes.insert(bytes.end(), block.bytes.begin(), block.bytes.end());
    }
    EXPECT_TRUE(result.ok());
    ramOnly = result.ramOnly;
    return bytes;
}

TEST(ImageMaker, PlainImageReadsBackWithAHeaderTheDownloadAccepts) {
    TempFile file;
    std::string error;
    const uint32_t start = 0x110000, size = 0x10000;
    ASSERT_EQ(MakeRomImage(file.path(), start, size, {}, error), 0) << error;

    ImageExtent extent;
    ASSERT_TRUE(ScanImageExtent(file.path(), extent).ok());
    EXPECT_EQ(extent.lowest, start);
    EXPECT_EQ(extent.highest, start + size - 1);

    ImageHeader h;
    ASSERT_TRUE(ReadImageHeader(file.path(), kSerialBlockLimit, false, h).ok());
    EXPECT_EQ(h.form, HeaderForm::kInf1);
    EXPECT_FALSE(h.bigEndian);
    EXPECT_EQ(h.romExtent, size);
    EXPECT_EQ(h.romCodeSize, size);
    EXPECT_LE(h.ramNeeded, h.ramAvailable);
    EXPECT_EQ(h.skipOffset, 0u);

    bool ramOnly = true;
    EXPECT_EQ(ReadBack(file.path(), start, ramOnly), sim::MakeImageBytes(start, size, {}));
    EXPECT_FALSE(ramOnly);
}

TEST(ImageMaker, OptionsShowInTheFile) {
    ImageOptions o;
    o.header = HeaderKind::kInf3;
    o.bigEndian = true;
    o.ramOnly = true;
    o.s2Records = true;
    o.skipOffset = 0x100;
    o.version = 0x01020304;
    o.recordBytes = 16;
    o.seed = 7;
    TempFile file;
    std::string error;
    const uint32_t start = 0x10000, size = 5000;
    ASSERT_EQ(MakeRomImage(file.path(), start, size, o, error), 0) << error;

    std::ifstream in(file.path());
    std::string first, second;
    std::getline(in, first);
    std::getline(in, second);
    EXPECT_EQ(first, "S0RAM-VERSION\r");
    EXPECT_EQ(second.substr(0, 4), "S214");  // 16 data bytes

    ImageHeader h;
    ASSERT_TRUE(ReadImageHeader(file.path(), kSerialBlockLimit, false, h).ok());
    EXPECT_EQ(h.form, HeaderForm::kInf3);
    EXPECT_TRUE(h.bigEndian);
    EXPECT_EQ(h.skipOffset, 0x100u);
    EXPECT_EQ(h.version, 0x01020304u);
    EXPECT_EQ(h.romCodeSize, size);

    bool ramOnly = false;
    const auto bytes = ReadBack(file.path(), start, ramOnly);
    EXPECT_EQ(bytes, sim::MakeImageBytes(start, size, o));
    EXPECT_NE(bytes, sim::MakeImageBytes(start, size,
                                         ImageOptions{.header = o.header, .bigEndian = true}));
    EXPECT_TRUE(ramOnly);
}

TEST(ImageMaker, RefusesImpossibleImagesAndKeepsTheOldFile) {
    TempFile file("old");
    std::string error;
    EXPECT_EQ(MakeRomImage(file.path(), 0, 20, {}, error), 1);  // smaller than the header
    EXPECT_EQ(MakeRomImage(file.path(), 0xFFFFF000, 0x2000, {}, error), 1);
    EXPECT_EQ(MakeRomImage(file.path(), 0xFFF000, 0x2000, {.s2Records = true}, error), 1);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(MakeRomImage("/nonexistent/dir/image.rom", 0, 0x100, {}, error), 1);
    EXPECT_NE(error.find("/nonexistent/dir/image.rom"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size(file.path()), 3u);
}

}  // namespace
}  // namespace tarmix
