// How image files are read: line ends, kept lengths, the digit rule, and bad input.
#include <gtest/gtest.h>

#include <string>

#include "flash/rom_image.h"
#include "flash/rom_image_header.h"
#include "lang/text_names.h"
#include "srec_test_support.h"

namespace tarmix {
namespace {

using test::CollectBlocks;
using test::TempFile;

// 16 bytes 0x00..0x0F at 0; the checksum is 0x72.
constexpr std::string_view kRecord = "S31500000000000102030405060708090A0B0C0D0E0F72";
const std::vector<uint8_t> kRecordBytes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

std::vector<test::EmittedBlock> Blocks(const std::string& path, AssembleResult* result = nullptr) {
    return CollectBlocks(path, 0, kSerialBlockLimit, false, result);
}

TEST(SrecReader, LfOnlyLinesKeepTheirDataButA14CharacterRecordIsTooShort) {
    TempFile file(std::string(kRecord) + "\nS30500001000FA\n");
    const auto blocks = Blocks(file.path());
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].bytes, kRecordBytes);

    ImageExtent extent;
    ASSERT_TRUE(ScanImageExtent(file.path(), extent).ok());
    EXPECT_EQ(extent.highest, 15u);  // the record at 0x1000 was ignored
    EXPECT_EQ(extent.fileSize, kRecord.size() + 16);
}

TEST(SrecReader, IgnoresEmptyShortForeignAndS1LinesAndDropsTheLastCharacterOfTheFile) {
    // The last line has no line feed: its last character ("X") stands for the CR.
    TempFile file(
        "\r\n\nS\r\nS3\r\n# note\r\nS1130000000102030405060708090A0B0C0D0E0F\r\n"
        "S0RAM-VERSIO\r\n" +
        std::string(kRecord) + "X");
    AssembleResult result;
    const auto blocks = Blocks(file.path(), &result);
    ASSERT_TRUE(result.ok());
    EXPECT_FALSE(result.ramOnly);  // "RAM-VERSIO" is not the marker
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].bytes, kRecordBytes);
}

TEST(SrecReader, BadDigitsGiveValuesByTheDigitRule) {
    // "s3" is no record. Lower case reads as upper case; "G" is 16, so "1G" is 0x20.
    TempFile file("s30700001000ff0a00\r\nS3070000abcd1G0g00\r\n");
    const auto blocks = Blocks(file.path());
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].base, 0xABCCu);
    EXPECT_EQ(blocks[0].bytes, (std::vector<uint8_t>{0xFF, 0x20, 0x10}));
}

TEST(SrecReader, BinaryJunkAndAHugeLineAreReadWithoutHarm) {
    std::string junk;
    for (int i = 0; i < 5000; ++i) {
        const char c = static_cast<char>((i * 131 + 7) % 256);
        junk += c == 'S' ? 'x' : c;  // no line of junk may start a record
    }
    // A 10 MB line: the record at its start is kept, the rest of the line is skipped.
    const std::string huge =
        "S3110000200000112233445566778899AABBCC" + std::string(10'000'000, 'E');
    TempFile file(junk + "\n" + huge + "\r\n" + std::string(kRecord) + "\r\n");
    AssembleResult result;
    const auto blocks = Blocks(file.path(), &result);
    ASSERT_TRUE(result.ok());
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].base, 0x2000u);
    EXPECT_EQ(blocks[0].bytes.size(), 12u);
    EXPECT_EQ(blocks[0].bytes[11], 0xBB);  // "CC" is the checksum
    EXPECT_EQ(blocks[1].bytes, kRecordBytes);
}

TEST(SrecReader, EmptyFileHasNoDataButAMissingFileOrAFolderCannotBeOpened) {
    TempFile empty;
    ImageExtent extent;
    ASSERT_TRUE(ScanImageExtent(empty.path(), extent).ok());
    EXPECT_EQ(extent.lowest, 0xFFFFFFFFu);
    EXPECT_EQ(extent.highest, 0u);
    EXPECT_TRUE(Blocks(empty.path()).empty());

    for (const std::string path : {"/nonexistent/tarmix/image.rom", "/tmp"}) {
        ImageExtent untouched;
        untouched.lowest = 7;
        const ImageResult scan = ScanImageExtent(path, untouched);
        EXPECT_EQ(scan.status, ImageStatus::kOpenFailed);
        EXPECT_EQ(scan.messageId(), text::kFileOpenError);
        EXPECT_EQ(untouched.lowest, 7u);
        AssembleResult result;
        EXPECT_TRUE(Blocks(path, &result).empty());
        EXPECT_EQ(result.status, ImageStatus::kOpenFailed);
        ImageHeader header;
        EXPECT_EQ(ReadImageHeader(path, kSerialBlockLimit, false, header).status,
                  ImageStatus::kOpenFailed);
    }
}

// A record whose byte count promises more data than its line holds would put bytes into the
// flash that the file does not have: every reader refuses the file and names the line.
TEST(SrecReader, DataRunningPastItsLineIsRefusedByEveryReader) {
    const std::string cases[] = {
        "S3FF000010000102\r\n",    // count far beyond the line
        "S307000010001122\n",      // LF-only and no checksum: lost a data digit
        "S20900100001020304\r\n",  // "S2" one data byte short
    };
    for (const std::string& damaged : cases) {
        TempFile file(std::string(kRecord) + "\r\n" + damaged + std::string(kRecord) + "\r\n");
        ImageExtent extent;
        const ImageResult scan = ScanImageExtent(file.path(), extent);
        EXPECT_EQ(scan.status, ImageStatus::kDamagedRecord) << damaged;
        EXPECT_EQ(scan.line, 2u);
        EXPECT_EQ(scan.messageId(), text::kFileReadError);

        AssembleResult result;
        EXPECT_TRUE(Blocks(file.path(), &result).empty());  // not even the block before it
        EXPECT_EQ(result.status, ImageStatus::kDamagedRecord);

        ImageHeader header;
        EXPECT_EQ(ReadImageHeader(file.path(), kSerialBlockLimit, false, header).status,
                  ImageStatus::kDamagedRecord);
    }
}

}  // namespace
}  // namespace tarmix
