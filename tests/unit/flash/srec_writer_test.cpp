// The S-record writer, and what it writes read back by the image readers.
#include "flash/srec_writer.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "flash/rom_image.h"
#include "srec_test_support.h"

namespace tarmix {
namespace {

using test::CollectBlocks;
using test::TempFile;

TEST(SrecWriter, WritesTheKnownRecords) {
    std::vector<uint8_t> data(16);
    std::iota(data.begin(), data.end(), 0);
    std::string line;
    size_t offset = 0;
    FormatDataRecord(line, data, offset, 0, 16);
    EXPECT_EQ(line, "S31500000000000102030405060708090A0B0C0D0E0F72");
    EXPECT_EQ(offset, 16u);

    FormatCountRecord(line, 2);
    EXPECT_EQ(line, "S5030002FA");
    FormatCountRecord(line, 0x12345);  // low 16 bits
    EXPECT_EQ(line, "S503234594");
    FormatEndRecord(line, 0);
    EXPECT_EQ(line, "S70500000000FA");
    FormatRecord(line, '2', 0xAB123456, std::vector<uint8_t>{0xFF});  // cut to 24 bits
    EXPECT_EQ(line, "S205123456FF5F");
}

// What the backup writes, the download reads back unchanged; the file is large enough for
// lines to cross the reader's buffer boundaries.
TEST(SrecWriter, RoundTripThroughTheBlockAssembler) {
    std::vector<uint8_t> data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 7919) >> 3);
    const uint32_t base = 0x00110000;
    std::string text, line;
    size_t records = 0;
    for (size_t offset = 0; offset < data.size(); ++records) {
        FormatDataRecord(line, data, offset, base,
                         std::min(kBackupRecordBytes, data.size() - offset));
        text += line + "\r\n";
    }
    FormatCountRecord(line, static_cast<uint32_t>(records));
    text += line + "\r\n";
    FormatEndRecord(line, base);
    text += line + "\r\n";
    TempFile file(text);

    ImageExtent extent;
    ASSERT_TRUE(ScanImageExtent(file.path(), extent).ok());
    EXPECT_EQ(extent.lowest, base);
    EXPECT_EQ(extent.highest, base + data.size() - 1);

    std::vector<uint8_t> back;
    for (const auto& block : CollectBlocks(file.path(), base, kSerialBlockLimit, false)) {
        ASSERT_EQ(block.base, base + back.size());
        back.insert(back.end(), block.bytes.begin(), block.bytes.end());
    }
    EXPECT_EQ(back, data);
}

}  // namespace
}  // namespace tarmix
