// The image info header: its forms, its byte orders, and the first block it is read from.
#include "flash/rom_image_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "flash/srec_writer.h"
#include "srec_test_support.h"

namespace tarmix {
namespace {

using test::TempFile;

constexpr uint32_t kBase = 0x110000;

class HeaderWindow {
  public:
    HeaderWindow() { bytes_.fill(0); }
    HeaderWindow& word(size_t offset, uint32_t value, bool bigEndian = false) {
        for (size_t i = 0; i < 4; ++i) {
            bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * (bigEndian ? 3 - i : i)));
        }
        return *this;
    }
    // A header with every figure set: code 0x110040..0x118000, ROM end 0x120000, RAM
    // 0xC00000 with 0x3000 used of 0x8000, application start 0x110100, version 0x01020304.
    HeaderWindow& figures(uint32_t magic, uint32_t tag, bool bigEndian) {
        const uint32_t words[] = {magic,    0,        tag,      0x110040, 0x118000,  0x120000,
                                  0xC00000, 0xC03000, 0xC08000, 0x110100, 0x01020304};
        for (size_t i = 0; i < std::size(words); ++i) word(4 * i, words[i], bigEndian);
        return *this;
    }
    ImageHeader decode() const { return DecodeImageHeader(bytes_, kBase); }
    const std::array<uint8_t, kHeaderSpan>& bytes() const { return bytes_; }

  private:
    std::array<uint8_t, kHeaderSpan> bytes_;
};

TEST(ImageHeader, FiguresComeFromTheWordsInTheHeadersByteOrder) {
    const std::pair<uint32_t, HeaderForm> tags[] = {{kTagInf1, HeaderForm::kInf1},
                                                    {kTagInf2, HeaderForm::kInf2},
                                                    {kTagInf3, HeaderForm::kInf3}};
    for (const auto& [tag, form] : tags) {
        for (bool bigEndian : {false, true}) {
            HeaderWindow window;
            const ImageHeader h = window.figures(kHeaderMagic, tag, bigEndian).decode();
            const bool inf1 = form == HeaderForm::kInf1;
            const uint32_t skip = inf1 ? 0 : 0x100;
            EXPECT_EQ(h, (ImageHeader{.form = form,
                                      .bigEndian = bigEndian,
                                      .firstBlockBase = kBase,
                                      .romExtent = 0x10000,
                                      .romCodeSize = 0x7FC0 + skip,
                                      .ramAvailable = 0x8000,
                                      .ramNeeded = 0x3000,
                                      .skipOffset = skip,
                                      .version = inf1 ? 0u : 0x01020304u}))
                << tag << bigEndian;
            if (inf1) continue;  // the controller's memory holds the version as the file does
            const auto version = h.versionBytes();
            EXPECT_TRUE(std::equal(version.begin(), version.end(), window.bytes().begin() + 40));
        }
    }
}

TEST(ImageHeader, SecondFormAtEitherPlaceTakesItsVersionFromOffset52) {
    HeaderWindow first;
    first.figures(kSecondHeaderMagic, kTagInf3, false).word(52, 0xA1B2C3D4);
    ImageHeader h = first.decode();
    EXPECT_EQ(h.form, HeaderForm::kSecond);
    EXPECT_EQ(h.version, 0xA1B2C3D4u);
    EXPECT_EQ(h.skipOffset, 0x100u);
    EXPECT_EQ(h.ramNeeded, 0x3000u);

    HeaderWindow second;
    second.figures(0, 0, false).word(64, kSecondHeaderMagic).word(72, kTagInf3);
    EXPECT_EQ(second.decode().form, HeaderForm::kSecond);

    // The second form exists in little-endian order only.
    EXPECT_EQ(HeaderWindow().figures(kSecondHeaderMagic, kTagInf3, true).decode().form,
              HeaderForm::kNone);
}

TEST(ImageHeader, AnUnknownTagIsNoHeader) {
    HeaderWindow wrongTag;
    EXPECT_EQ(wrongTag.figures(kHeaderMagic, 0x496E6634, false).decode(),  // "Inf4"
              (ImageHeader{.form = HeaderForm::kNone, .firstBlockBase = kBase}));
}

// The header text of `window` as records of 16 bytes from `address`, optionally with a
// gap after `gapAfter` bytes.
std::string HeaderRecords(const HeaderWindow& window, uint32_t address, size_t gapAfter = 0) {
    std::string text, line;
    for (size_t offset = 0; offset < kHeaderSpan;) {
        const size_t count = std::min<size_t>(16, kHeaderSpan - offset);
        const uint32_t gap = gapAfter && offset >= gapAfter ? 0x100 : 0;
        FormatRecord(line, '3', address + gap + static_cast<uint32_t>(offset),
                     std::span(window.bytes()).subspan(offset, count));
        text += line + "\r\n";
        offset += count;
    }
    return text;
}

TEST(ReadImageHeader, ReadsTheFirstBlockOfTheFile) {
    HeaderWindow window;
    window.figures(kHeaderMagic, kTagInf2, true);
    TempFile file(HeaderRecords(window, kBase));
    ImageHeader h;
    ASSERT_TRUE(ReadImageHeader(file.path(), kSerialBlockLimit, false, h).ok());
    EXPECT_EQ(h.form, HeaderForm::kInf2);
    EXPECT_TRUE(h.bigEndian);
    EXPECT_EQ(h.skipOffset, 0x100u);

    // Two bytes higher, the first block starts two bytes before the words: no header.
    TempFile shifted(HeaderRecords(window, kBase + 2));
    ASSERT_TRUE(ReadImageHeader(shifted.path(), kSerialBlockLimit, false, h).ok());
    EXPECT_EQ(h.firstBlockBase, kBase);
    EXPECT_EQ(h.form, HeaderForm::kNone);
}

TEST(ReadImageHeader, BytesBeyondTheFirstBlockCountAs0xFF) {
    HeaderWindow window;
    window.figures(kHeaderMagic, kTagInf1, false);
    // A gap after 32 bytes ends the first block before the RAM end word at 32.
    TempFile gap(HeaderRecords(window, kBase, 32));
    ImageHeader h;
    ASSERT_TRUE(ReadImageHeader(gap.path(), kSerialBlockLimit, false, h).ok());
    EXPECT_EQ(h.form, HeaderForm::kInf1);
    EXPECT_EQ(h.ramAvailable, 0xFFFFFFFFu - 0xC00000);

    // A limit of 24 bytes: the second record is still added whole (no record is split),
    // the third is not.
    TempFile file(HeaderRecords(window, kBase));
    ASSERT_TRUE(ReadImageHeader(file.path(), 24, false, h).ok());
    EXPECT_EQ(h.ramNeeded, 0xC03000u - 0xC00000);  // word 28 lies in the second record
    EXPECT_EQ(h.ramAvailable, 0xFFFFFFFFu - 0xC00000);
}

}  // namespace
}  // namespace tarmix
