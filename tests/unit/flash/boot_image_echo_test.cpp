// What the monitor may answer while a boot image is typed, and the version an image's title
// names.
#include "flash/boot_image_echo.h"

#include <gtest/gtest.h>

namespace tarmix {
namespace {

const std::string kFirst = "S00600004844521B\r\n";
const std::string kSecond = "S1130000285F245F2212226A000424290008237C2A\r\n";

struct Answers {
    const char* name;
    std::vector<std::string> chunks;  // as they arrive
    bool taken;
    bool complete;
    size_t line;  // the line the watch stands at afterwards
};

class EchoWatch : public ::testing::TestWithParam<Answers> {};

TEST_P(EchoWatch, TakesOnlyTheRecordsOwnAnswers) {
    BootImage image;  // two records and the line feed of the last line end
    image.pieces = {"S00600004844521B", "\nS1130000285F245F2212226A000424290008237C2A", "\n"};
    BootImageEchoWatch watch(image);
    bool taken = true;
    for (const std::string& chunk : GetParam().chunks) taken = watch.Take(chunk) && taken;
    EXPECT_EQ(taken, GetParam().taken);
    EXPECT_EQ(watch.Complete(), GetParam().complete);
    EXPECT_EQ(watch.Line(), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Monitor, EchoWatch,
    ::testing::Values(
        Answers{"InPieces",
                {kFirst.substr(0, 5), kFirst.substr(5) + kSecond, "\r\nBoot> "},
                true,
                true,
                4},
        // A monitor may echo the line feeds and prompt after every line.
        Answers{"LineFeedsAndPrompts",
                {kFirst + "Boot> \n" + kSecond + "Boot> \n\r\nBoot> "},
                true,
                true,
                4},
        // The refused record's answer looks whole; the error stands where the next one's should.
        Answers{"RefusedRecord",
                {kFirst + kSecond.substr(0, 42) + "\r\nS-record error"},
                false,
                false,
                3},
        Answers{"MoreThanAsked", {kFirst + kSecond + "\r\nBoot> \r\nBoot> "}, false, false, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BootImageTitle, NamesTheVersionAfterTheWord) {
    const std::pair<const char*, int> cases[] = {
        {"Boot VERSION  7 (2026)", 7}, {"versions 12", 0}, {"version 0", 0}};
    for (const auto& [title, version] : cases)
        EXPECT_EQ(BootImageTitleVersion(title), version) << title;
}

}  // namespace
}  // namespace tarmix
