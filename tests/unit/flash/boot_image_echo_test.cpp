// What the monitor may answer while a boot image is typed, and the version an image's title
// names.
#include "flash/boot_image_echo.h"

#include <gtest/gtest.h>

namespace tarmix {
namespace {

// Two records and the line feed of the last line end, as the loader makes them.
BootImage twoRecords() {
    BootImage image;
    image.pieces = {"S00600004844521B", "\nS1130000285F245F2212226A000424290008237C2A", "\n"};
    return image;
}

struct Answers {
    const char* name;
    std::vector<std::string> chunks;  // as they arrive
    bool taken;
    bool complete;
    size_t line;  // the line the watch stands at afterwards
};

class EchoWatch : public ::testing::TestWithParam<Answers> {};

TEST_P(EchoWatch, TakesOnlyTheRecordsOwnAnswers) {
    const BootImage image = twoRecords();
    BootImageEchoWatch watch(image);
    bool taken = true;
    for (const std::string& chunk : GetParam().chunks) taken = watch.Take(chunk) && taken;
    EXPECT_EQ(taken, GetParam().taken);
    EXPECT_EQ(watch.Complete(), GetParam().complete);
    EXPECT_EQ(watch.Line(), GetParam().line);
}

const std::string kFirst = "S00600004844521B\r\n";
const std::string kSecond = "S1130000285F245F2212226A000424290008237C2A\r\n";

INSTANTIATE_TEST_SUITE_P(
    Monitor, EchoWatch,
    ::testing::Values(
        Answers{"EchoesInPieces",
                {kFirst.substr(0, 5), kFirst.substr(5) + kSecond, "\r\nBoot> "},
                true,
                true,
                4},
        Answers{"LineFeedsEchoedAndPromptAfterEachLine",
                {kFirst + "Boot> \n" + kSecond + "Boot> \n\r\nBoot> "},
                true,
                true,
                4},
        Answers{"NotYetAll", {kFirst + kSecond}, true, false, 3},
        Answers{"HalfAPrompt", {kFirst + kSecond + "\r\nBoo"}, true, false, 4},
        // The refused record's answer looks whole; the error line stands where the next
        // line's answer should.
        Answers{"RefusedRecord",
                {kFirst + kSecond.substr(0, 42) + "\r\nS-record error"},
                false,
                false,
                3},
        Answers{"ChangedDigit",
                {kFirst, "S1130000285F245F2212226A000424290008237C2B\r\n"},
                false,
                false,
                2},
        Answers{"LineFeedChanged",
                {kFirst + "JS1130000\r\nUnknown command: JS1130000\r\nBoot> "},
                false,
                false,
                2},
        Answers{"MoreThanAsked", {kFirst + kSecond + "\r\nBoot> \r\nBoot> "}, false, false, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BootImageTitle, NamesTheVersionAfterTheWord) {
    const std::pair<const char*, int> cases[] = {{"tarmix-sim boot loader version 41", 41},
                                                 {"Boot VERSION  7 (2026)", 7},
                                                 {"versions 12", 0},
                                                 {"boot loader", 0},
                                                 {"version", 0},
                                                 {"version 0", 0}};
    for (const auto& [title, version] : cases)
        EXPECT_EQ(BootImageTitleVersion(title), version) << title;
}

}  // namespace
}  // namespace tarmix
