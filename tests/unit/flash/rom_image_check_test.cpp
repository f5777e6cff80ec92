// The whole-file check of an application image: every damaged image is refused with its
// line and reason, every sound one passes.
#include "flash/rom_image_check.h"

#include <gtest/gtest.h>

#include "flash/srec_writer.h"
#include "lang/catalog.h"
#include "srec_test_support.h"

namespace tarmix {
namespace {

std::string Record(char type, uint32_t address, std::vector<uint8_t> data = {}) {
    std::string line;
    FormatRecord(line, type, address, data);
    return line + "\r\n";
}

const std::string kData1 = Record('3', 0x110000, {1, 2, 3, 4});
const std::string kData2 = Record('3', 0x110004, {5, 6, 7, 8});
const std::string kEnd = Record('7', 0x110000);

// The damaged records a download meets most are in its own test; these are the rest.
TEST(RomImageCheck, DamagedImagesAreRefusedWithLineAndReason) {
    setLanguageIndex(kEnglishLanguage);
    const struct {
        const char* what;
        std::string image;
        const char* problem;
    } cases[] = {
        {"16-bit records", Record('1', 0x1000, {1}) + kData1 + kEnd, "line 1: 16-bit address"},
        {"no data", Record('0', 0) + kEnd, "the file holds no data records"},
        {"count record", kData1 + kData2 + Record('5', 3) + kEnd,
         "line 3: the count record says 3 data records, but 2 come before it"},
        {"data after the end", kData1 + kEnd + kData2, "line 3: a data record after the end"},
        {"binary blob",
         std::string("\x7f"
                     "ELF\x02\x01\x01\0\0\0",
                     10) +
             "\n" + kData1 + kEnd,
         "line 1: not an S-record"},
        {"text between records", kData1 + "README\r\n" + kEnd, "line 2: not an S-record"},
        {"overlong line", kData1 + std::string(600, '0') + "\r\n" + kEnd,
         "line 2: the line is too"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempFile file(c.image);
        std::string problem;
        EXPECT_FALSE(CheckRomImage(file.path(), problem));
        EXPECT_EQ(problem.rfind("This ROM image cannot be downloaded; nothing was sent", 0), 0u)
            << problem;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
}

TEST(RomImageCheck, SoundImagesPassInEveryLayout) {
    const auto lf = [](std::string text) {
        std::erase(text, '\r');
        return text;
    };
    const std::string cases[] = {
        Record('0', 0, {'h', 'i'}) + kData1 + "\r\n" + kData2 + Record('5', 2) + kEnd,
        lf(kData1 + kData2 + kEnd),
        kData1 + kEnd.substr(0, kEnd.size() - 2),            // no line end after the last line
        "S0RAM-VERSION\r\n" + kData1 + kData1 + kEnd,        // a repeated record with equal data
        Record('2', 0x110000, {1}) + Record('8', 0x110000),  // 24-bit addresses
    };
    for (const std::string& image : cases) {
        const test::TempFile file(image);
        std::string problem;
        EXPECT_TRUE(CheckRomImage(file.path(), problem)) << image << problem;
    }
}

}  // namespace
}  // namespace tarmix
