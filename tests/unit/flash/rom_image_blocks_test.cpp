// Cutting an image into blocks for the transfer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flash/rom_image.h"
#include "flash/srec_writer.h"
#include "srec_test_support.h"

namespace tarmix {
namespace {

using test::CollectBlocks;
using test::EmittedBlock;
using test::TempFile;

// Builds image text from (address, bytes) pieces, one "S3" record each.
class ImageText {
  public:
    ImageText& record(uint32_t address, const std::vector<uint8_t>& bytes) {
        FormatRecord(line_, '3', address, bytes);
        text_ += line_ + "\r\n";
        return *this;
    }
    // `count` bytes from `address` on in records of 16, byte i being (address + i) & 0xFF.
    ImageText& run(uint32_t address, size_t count) {
        for (size_t done = 0; done < count; done += 16) {
            std::vector<uint8_t> bytes;
            for (size_t i = done; i < std::min(count, done + 16); ++i) {
                bytes.push_back(static_cast<uint8_t>(address + i));
            }
            record(address + static_cast<uint32_t>(done), bytes);
        }
        return *this;
    }
    const std::string& text() const { return text_; }

  private:
    std::string text_;
    std::string line_;
};

std::vector<std::pair<uint32_t, size_t>> Shapes(const std::vector<EmittedBlock>& blocks) {
    std::vector<std::pair<uint32_t, size_t>> shapes;
    for (const auto& b : blocks) shapes.emplace_back(b.base, b.bytes.size());
    return shapes;
}

// Every emitted byte equals the run's pattern, apart from the 0xFF padding.
void ExpectRunBytes(const EmittedBlock& block, uint32_t first, uint32_t last) {
    for (size_t i = 0; i < block.bytes.size(); ++i) {
        const uint32_t address = block.base + static_cast<uint32_t>(i);
        const uint8_t expected =
            address >= first && address <= last ? static_cast<uint8_t>(address) : 0xFF;
        ASSERT_EQ(block.bytes[i], expected) << std::hex << address;
    }
}

TEST(AssembleBlocks, UnalignedStartAndAGapPadToWholeWords) {
    TempFile file(ImageText().record(5, {1, 2, 3}).record(12, {9}).text());
    const auto blocks = CollectBlocks(file.path(), 0, kSerialBlockLimit, false);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].base, 4u);
    EXPECT_EQ(blocks[0].bytes, (std::vector<uint8_t>{0xFF, 1, 2, 3}));
    EXPECT_EQ(blocks[1].base, 12u);
    EXPECT_EQ(blocks[1].bytes, (std::vector<uint8_t>{9}));  // the last block keeps its length

    TempFile padded(ImageText().record(0x100, {1, 2, 3, 4, 5}).record(0x80, {7}).text());
    const auto backwards = CollectBlocks(padded.path(), 0, kSerialBlockLimit, false);
    ASSERT_EQ(backwards.size(), 2u);
    EXPECT_EQ(backwards[0].bytes, (std::vector<uint8_t>{1, 2, 3, 4, 5, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(backwards[1].base, 0x80u);
}

TEST(AssembleBlocks, SerialBlocksAreCutAtTheLimit) {
    TempFile file(ImageText().run(0x100000, 10000).text());
    const auto blocks = CollectBlocks(file.path(), 0, 4000, false);
    EXPECT_EQ(Shapes(blocks), (std::vector<std::pair<uint32_t, size_t>>{
                                  {0x100000, 4000}, {0x100FA0, 4000}, {0x101F40, 2000}}));
    for (const auto& b : blocks) ExpectRunBytes(b, 0x100000, 0x100000 + 9999);

    // Records of 16 bytes from an odd address: the limit cuts through records.
    TempFile odd(ImageText().run(0x2003, 600).text());
    const auto small = CollectBlocks(odd.path(), 0, BlockLimitForModel(16), false);
    EXPECT_EQ(Shapes(small), (std::vector<std::pair<uint32_t, size_t>>{
                                 {0x2000, 256}, {0x2100, 256}, {0x2200, 91}}));
    for (const auto& b : small) ExpectRunBytes(b, 0x2003, 0x2003 + 599);
}

TEST(AssembleBlocks, ParallelBlocksGrowPast9000AndCarryTheUnfinishedWord) {
    TempFile file(ImageText().run(0x1002, 20000).text());
    const auto blocks = CollectBlocks(file.path(), 0, kSerialBlockLimit, true);
    // The first block starts at 0x1000 with 2 bytes of padding; after 563 records it holds
    // 9010 bytes: 9008 go out, the last 2 open the next block.
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].base, 0x1000u);
    EXPECT_EQ(blocks[0].bytes.size(), 9008u);
    EXPECT_EQ(blocks[1].base, 0x1000u + 9008);
    uint32_t next = 0x1000;
    for (const auto& b : blocks) {
        EXPECT_EQ(b.base, next);
        EXPECT_EQ(b.base % 4, 0u);
        ExpectRunBytes(b, 0x1002, 0x1002 + 19999);
        next = b.base + static_cast<uint32_t>(b.bytes.size());
    }
    EXPECT_EQ(next, 0x1002u + 20000);
}

TEST(AssembleBlocks, RecordsBelowTheStartAreLeftOutWhole) {
    TempFile file(ImageText()
                      .record(0x0FF0, {1, 2, 3, 4})
                      .record(0x0FFE, {5, 6, 7, 8})  // straddles the start: left out too
                      .record(0x1000, {9, 10})
                      .text());
    const auto blocks = CollectBlocks(file.path(), 0x1000, kSerialBlockLimit, false);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].base, 0x1000u);
    EXPECT_EQ(blocks[0].bytes, (std::vector<uint8_t>{9, 10}));
}

TEST(AssembleBlocks, StopsAtTheFirstRefusedBlockAndReportsTheRamOnlyMarker) {
    TempFile file("S0RAM-VERSION\r\n" + ImageText().run(0, 10000).text());
    int calls = 0;
    const auto result = AssembleBlocks(file.path(), 0, 4000, false,
                                       [&](uint32_t, auto) { return ++calls == 2 ? 1 : 0; });
    EXPECT_EQ(result.status, ImageStatus::kStopped);
    EXPECT_EQ(result.messageId(), 0);
    EXPECT_TRUE(result.ramOnly);
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace tarmix
