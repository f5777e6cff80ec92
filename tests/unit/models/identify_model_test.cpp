// Identification of every hardware model from its "here I am" answer, built the way a
// controller sends it: the echo, "\r\nhere I am : ", the model text padded with blanks up to
// the size position, the size field, and the prompt (whose CR LF ends the size field).
#include <gtest/gtest.h>

#include <string>

#include "link/identify.h"
#include "models/models.h"
#include "platform/clock.h"
#include "sim/controller.h"
#include "sim/sim_models.h"

namespace tarmix {
namespace {

std::string hereIAm(std::string_view modelText, size_t sizeAt, std::string_view sizeField) {
    std::string answer = "please answer me\r\nhere I am : ";
    answer += modelText;
    if (answer.size() < sizeAt) answer.resize(sizeAt, ' ');
    answer += sizeField;
    answer += "\r\nBoot> ";
    return answer;
}

// A description left over from an earlier identification, so that every field the
// identification must write is seen to change.
DeviceDescription stale() {
    DeviceDescription device;
    device.hardwareModel = 5;
    device.bankA = {0x111, 0x222};
    device.bankB = {0x333, 0x444};
    device.bankC = {0x555, 0x666};
    device.clockFrequency = 1234;
    return device;
}

struct ModelCase {
    const char* modelText;
    size_t sizeAt;
    const char* sizeField;
    int32_t code;
    const char* panel;
    const char* flash;
    AddressRange bankA;
    AddressRange bankC;
};

class IdentifyModel : public testing::TestWithParam<ModelCase> {};

TEST_P(IdentifyModel, SetsModelTextsAndAreas) {
    const ModelCase& c = GetParam();
    DeviceDescription device = stale();
    const ModelFieldTexts texts =
        identifyModel(hereIAm(c.modelText, c.sizeAt, c.sizeField), device, "old");
    EXPECT_EQ(device.hardwareModel, c.code);
    EXPECT_EQ(texts.panel, c.panel);
    EXPECT_EQ(texts.flash, c.flash);
    EXPECT_EQ(device.bankA, c.bankA);
    EXPECT_EQ(device.bankB, AddressRange{});
    EXPECT_EQ(device.bankC, c.bankC);
    EXPECT_EQ(device.clockFrequency, 1234) << "only the BIRCH panel reports a clock";
}

constexpr AddressRange kRam1M{0x800000, 0x8FFFFF};
constexpr AddressRange kRam256k{0x800000, 0x83FFFF};
constexpr AddressRange kAlder177Ram{0x0C000000, 0x0C0FFFFF};
constexpr AddressRange kVantix{0x80000000, 0x82000000};

// clang-format off
INSTANTIATE_TEST_SUITE_P(EveryModel, IdentifyModel, testing::Values(
    ModelCase{"ALDER   ", 39, "200000", 1, "Alder-Panel", "2MB", {0x110000, 0x2FFFFF}, kRam1M},
    ModelCase{"ALDER EXT", 40, "100000", 12, "Alder-Panel Ext", "1MB", {0x120000, 0x1FFFFF},
              kRam1M},
    ModelCase{"ALDER177 EXT", 43, "800000", 14, "Birch177-Panel Ext", "8MB", {0x20000, 0x7FFFFF},
              kAlder177Ram},
    ModelCase{"ALDER177", 39, "80000", 3, "Birch177-Panel", "512kB", {0x10000, 0x7FFFF},
              kAlder177Ram},
    ModelCase{"KSB     ", 39, "100000", 4, "Kestrel-Board", "1MB", {0x110000, 0x1FFFFF}, kRam1M},
    ModelCase{"CORE510 ", 39, "200000", 5, "CORE-510", "2MB", {0x10000, 0x1FFFFF},
              {0x800000, 0xBFFFFF}},
    ModelCase{"HERON   ", 39, "80000", 6, "HERON-Board", "512kB", {0x110000, 0x17FFFF}, kRam1M},
    ModelCase{"QRT     ", 39, "100000", 7, "QRT", "1MB", {0x10000, 0xFFFFF}, kRam1M},
    ModelCase{"SMALL-ALDER EXT", 46, "80000", 13, "SMALL-ALDER EXT", "512kB", {0x20000, 0x7FFFF},
              kRam1M},
    ModelCase{"SMALL-ALDER", 42, "200000", 9, "SMALL-ALDER", "2MB", {0x10000, 0x1FFFFF}, kRam1M},
    ModelCase{"CORE540 ", 39, "80000", 8, "CORE-540", "512kB", {0x10000, 0x7FFFF}, kRam256k},
    ModelCase{"DISPENSER", 48, "200000", 10, "DISPENSER", "2MB", {0x20000, 0x1FFFFF}, kRam1M},
    ModelCase{"DMX610   ", 39, "100000", 11, "Birch +", "1MB", {0x20000, 0xFFFFF},
              {0x0C100000, 0x0C800000}},
    ModelCase{"VANTIX   ", 39, "2000000", 17, "VANTIX", "32MB", kVantix, kVantix},
    ModelCase{"VANTIX+  ", 39, "2000000", 18, "VANTIX+", "32MB", kVantix, kVantix},
    ModelCase{"FGH720  ", 39, "200000", 15, "FGH720", "2MB", {0x10000, 0x1FFFFF}, kRam256k},
    ModelCase{"T-PQ7xx", 38, "e000", 16, "T-PQ7xx", "56kB", {0, 0xDFFF}, {0, 0x1000}},
    // Sizes a model does not have.
    ModelCase{"ALDER   ", 39, "800000", 1, "Alder-Panel", "???", {}, kRam1M},
    ModelCase{"DISPENSER", 48, "100000", 10, "DISPENSER", "???", {}, kRam1M},
    ModelCase{"CORE510 ", 39, "8000", 5, "CORE-510", "???", {}, {0x800000, 0xBFFFFF}},
    // The size stands at the model's own position, not one place off.
    ModelCase{"ALDER EXT", 39, "200000", 12, "Alder-Panel Ext", "???", {}, kRam1M}));
// clang-format on

TEST(IdentifyModelOrder, LongerTextsWinOverTheirBeginnings) {
    struct Case {
        const char* modelText;
        size_t sizeAt;
        int32_t code;
    };
    for (const Case& c :
         {Case{"ALDER177", 39, 3}, Case{"ALDER177 EXT", 43, 14}, Case{"ALDER EXT", 40, 12},
          Case{"ALDER   ", 39, 1}, Case{"SMALL-ALDER", 42, 9}, Case{"SMALL-ALDER EXT", 46, 13}}) {
        DeviceDescription device;
        identifyModel(hereIAm(c.modelText, c.sizeAt, "200000"), device, "");
        EXPECT_EQ(device.hardwareModel, c.code) << c.modelText;
    }
}

TEST(IdentifyModelUnknown, UnknownTextEmptiesTheFlashBanksButKeepsTheRam) {
    for (const char* text : {"ALDERS  ", "alder   ", "ALDER1", "KSB-2", "BIRC", ""}) {
        DeviceDescription device = stale();
        const ModelFieldTexts texts = identifyModel(hereIAm(text, 39, "200000"), device, "old");
        EXPECT_EQ(device.hardwareModel, 0) << text;
        EXPECT_EQ(texts.panel, "???");
        EXPECT_EQ(texts.flash, "???");
        EXPECT_EQ(device.bankA, AddressRange{});
        EXPECT_EQ(device.bankB, AddressRange{});
        EXPECT_EQ(device.bankC, (AddressRange{0x555, 0x666}));
    }
}

TEST(IdentifyModelTpq7, UnknownSizeKeepsFlashTextAndBankA) {
    DeviceDescription device = stale();
    const ModelFieldTexts texts = identifyModel(hereIAm("T-PQ7", 38, "f000"), device, "56kB");
    EXPECT_EQ(device.hardwareModel, 16);
    EXPECT_EQ(texts.flash, "56kB");
    EXPECT_EQ(device.bankA, (AddressRange{0x111, 0x222}));
    EXPECT_EQ(device.bankC, (AddressRange{0, 0x1000}));
}

struct BirchCase {
    const char* sizeField;
    const char* flash;
    AddressRange bankA;
    AddressRange bankB;
    int32_t clock;
};

class IdentifyBirch : public testing::TestWithParam<BirchCase> {};

TEST_P(IdentifyBirch, ReadsBothBanksAndTheClock) {
    const BirchCase& c = GetParam();
    DeviceDescription device = stale();
    const ModelFieldTexts texts = identifyModel(hereIAm("BIRCH", 39, c.sizeField), device, "");
    EXPECT_EQ(device.hardwareModel, 2);
    EXPECT_EQ(texts.panel, "Birch-Panel");
    EXPECT_EQ(texts.flash, c.flash);
    EXPECT_EQ(device.bankA, c.bankA);
    EXPECT_EQ(device.bankB, c.bankB);
    EXPECT_EQ(device.bankC, (AddressRange{0x0C000000, 0x0C7FFFFF}));
    EXPECT_EQ(device.clockFrequency, c.clock);
}

constexpr AddressRange kB1_2M{0x14000000, 0x141FFFFF};
constexpr AddressRange kB1_4M{0x14000000, 0x143FFFFF};
constexpr AddressRange kB1_16M{0x14000000, 0x14FFFFFF};
constexpr AddressRange kB2_1M{0x18000000, 0x180FFFFF};
constexpr AddressRange kB2_8M{0x18000000, 0x187FFFFF};

INSTANTIATE_TEST_SUITE_P(
    BankTable, IdentifyBirch,
    testing::Values(
        BirchCase{"200000 100000 7372800", "Bank1 2MB   Bank2 1MB", kB1_2M, kB2_1M, 7372800},
        BirchCase{"200000 0", "Bank1 2MB", kB1_2M, {}, 0},
        BirchCase{"200000 0 9216000", "Bank1 2MB", kB1_2M, {}, 9216000},
        BirchCase{"400000 800000 14745600", "Bank1 4MB   Bank2 8MB", kB1_4M, kB2_8M, 14745600},
        BirchCase{"0 800000", "Bank2 8MB", {}, kB2_8M, 0},
        // The 16 MB bank is only known in the form with a clock.
        BirchCase{"1000000 0 7372800", "Bank1 16MB", kB1_16M, {}, 7372800},
        BirchCase{"1000000 800000 9216000", "Bank1 16MB   Bank2 8MB", kB1_16M, kB2_8M, 9216000},
        BirchCase{"1000000 0", "???", {}, {}, 0},
        // A blank but no clock behind it.
        BirchCase{"200000 0 ", "Bank1 2MB", kB1_2M, {}, 0}, BirchCase{"300000 0", "???", {}, {}, 0},
        BirchCase{"200000", "???", {}, {}, 0}));

// The simulated controller keeps its own description of the models; both must agree.
TEST(IdentifyModelAgainstSimulator, EverySimulatedModelIsRecognised) {
    for (const sim::ModelSpec& simModel : sim::allModels()) {
        VirtualClock clock;
        sim::Controller controller(simModel, clock);
        controller.receive("please answer me\r");
        std::string answer;
        while (const auto due = controller.nextDue()) {
            clock.advance(*due - clock.now());
            if (auto chunk = controller.takeDue(clock.now())) answer += chunk->bytes;
        }
        ASSERT_TRUE(isHandshakeAnswer(answer)) << simModel.keyword << ": " << answer;

        DeviceDescription device;
        const ModelFieldTexts texts = identifyModel(answer, device, "");
        EXPECT_EQ(device.hardwareModel, simModel.code) << simModel.keyword;
        EXPECT_NE(texts.flash, "???") << simModel.keyword;
        EXPECT_EQ(device.bankC.low, simModel.ram.start) << simModel.keyword;
        EXPECT_EQ(device.bankC.high, simModel.ram.end()) << simModel.keyword;
        bool inFlash = false;
        for (const sim::MemoryArea& bank : simModel.flashBanks) {
            inFlash =
                inFlash || (bank.contains(device.bankA.low) && bank.contains(device.bankA.high));
        }
        EXPECT_TRUE(inFlash || simModel.code == 17 || simModel.code == 18) << simModel.keyword;
    }
}

}  // namespace
}  // namespace tarmix
