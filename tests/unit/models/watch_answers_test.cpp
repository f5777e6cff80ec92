// The one-time queries of the connection watch, the baud rates a model allows, the usage
// bars and the watch's timer period.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "link/identify.h"

namespace tarmix {
namespace {

TEST(FixedAnswers, HandshakeAndParallelTestCompareTheirWholeStart) {
    EXPECT_TRUE(isHandshakeAnswer("please answer me\r\nhere I am : ALDER   "));
    EXPECT_FALSE(isHandshakeAnswer("please answer me\r\nhere I am :"));
    EXPECT_FALSE(isHandshakeAnswer("please answer me\r\nHere I am : ALDER   "));
    EXPECT_TRUE(isParallelTestAnswer("parportCTRL test\r\no.k.\r\n\r\nBoot> "));
    EXPECT_FALSE(isParallelTestAnswer("parportCTRL test\r\nunknown command\r\nBoot> "));
}

TEST(VersionAnswer, ReadsTheNumberAndSetsTheFlag) {
    struct Case {
        std::string answer;
        std::optional<int32_t> version;
        int32_t firmwareVersion;
        bool flag;
        std::string field;
    };
    const Case cases[] = {
        {"tell version\r\nVersion: 11\r\nBoot> ", 11, 11, true, "Firmware version: 11"},
        {"tell version\r\nVersion: 100000\r\nBoot> ", 100000, 100000, true,
         "Firmware version: 100000"},
        {"tell version\r\nVersion: 100001\r\nBoot> ", 100001, 100001, false,
         "Firmware version: 100001"},
        {"tell version\r\nVersion: x\r\nBoot> ", std::nullopt, 0, true,
         "Firmware-Version: unbekannt"},
        {"tell version\r\nVersion: 99999999999\r\nBoot> ", std::nullopt, 0, true,
         "Firmware-Version: unbekannt"},
        {"tell version\r\nversion: 30\r\nBoot> ", std::nullopt, 0, true,
         "Firmware-Version: unbekannt"},
        {"", std::nullopt, 0, true, "Firmware-Version: unbekannt"},
    };
    for (const Case& c : cases) {
        const std::optional<int32_t> version = parseVersionAnswer(c.answer);
        EXPECT_EQ(version, c.version) << c.answer;
        DeviceDescription device;
        device.firmwareVersion = 77;
        applyVersion(device, version);
        EXPECT_EQ(device.firmwareVersion, c.firmwareVersion) << c.answer;
        EXPECT_EQ(device.versionFlag, c.flag) << c.answer;
        EXPECT_EQ(firmwareFieldText(version, "Firmware version"), c.field);
    }
}

TEST(DrivesAnswer, FirstDriveWithASizeIsListed) {
    struct Case {
        std::string answer;
        int firstDrive;
        std::array<int32_t, 3> sizes;
    };
    const Case cases[] = {
        {"tell drives\r\nDrives: 0 0 512\r\nBoot> ", 2, {0, 0, 512}},
        {"tell drives\r\nDrives:0\t64\r\n0\r\nBoot> ", 1, {0, 64, 0}},
        {"tell drives\r\nDrives: 0 0 0\r\nBoot> ", -1, {0, 0, 0}},
        {"tell drives\r\nDrives: 512 512\r\nBoot> ", -1, {0, 0, 0}},
        {"tell drives\r\nDrives: 512 -1 512\r\nBoot> ", -1, {0, 0, 0}},
        {"tell drives\r\nunknown command\r\nBoot> ", -1, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        DeviceDescription device;
        device.driveSizes = {9, 9, 9};
        device.drivesPresent = true;
        EXPECT_EQ(applyDrives(device, parseDrivesAnswer(c.answer)), c.firstDrive) << c.answer;
        EXPECT_EQ(device.driveSizes, c.sizes) << c.answer;
        EXPECT_EQ(device.drivesPresent, c.firstDrive >= 0) << c.answer;
    }
}

struct BaudCase {
    int32_t model;
    int32_t version;
    int32_t clock;
    int32_t chosenRate;
    bool allow115200;
    int32_t rateAfter;
    std::optional<bool> extended;  // empty: left alone
};

class BaudCapabilitiesTest : public testing::TestWithParam<BaudCase> {};

TEST_P(BaudCapabilitiesTest, AllowsAndMovesTheChosenRate) {
    const BaudCase& c = GetParam();
    for (const bool extendedBefore : {false, true}) {
        DeviceDescription device;
        device.hardwareModel = c.model;
        device.firmwareVersion = c.version;
        device.clockFrequency = c.clock;
        device.allowBaud230400 = true;
        device.extendedFirmware = extendedBefore;
        int32_t rate = c.chosenRate;
        const bool redraw = applyBaudCapabilities(device, rate);
        EXPECT_TRUE(device.allowBaud57600);
        EXPECT_EQ(device.allowBaud115200, c.allow115200);
        EXPECT_FALSE(device.allowBaud230400);
        EXPECT_EQ(rate, c.rateAfter);
        EXPECT_EQ(redraw, c.extended.has_value());
        EXPECT_EQ(device.extendedFirmware, c.extended.value_or(extendedBefore));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ByModel, BaudCapabilitiesTest, testing::Values(
    // Monitors up to version 14 run at 57600, the VANTIX models excepted.
    BaudCase{1, 11, 0, 230400, false, 57600, std::nullopt},
    BaudCase{5, 14, 0, 115200, false, 57600, std::nullopt},
    // A chosen rate the model cannot run becomes the fastest one it allows.
    BaudCase{17, 11, 0, 230400, true, 115200, false},
    BaudCase{1, 15, 0, 230400, true, 115200, false},
    BaudCase{12, 15, 0, 230400, true, 115200, true},
    BaudCase{2, 30, 7372800, 115200, true, 57600, std::nullopt},
    BaudCase{2, 30, 0, 115200, false, 57600, std::nullopt},
    BaudCase{3, 30, 0, 230400, true, 115200, false},
    BaudCase{14, 30, 0, 57600, true, 57600, true},
    BaudCase{13, 30, 0, 230400, true, 115200, true},
    BaudCase{5, 30, 0, 57600, true, 115200, std::nullopt},
    BaudCase{16, 30, 0, 115200, false, 57600, std::nullopt}));
// clang-format on

TEST(BaudCapabilities, UnknownModelWithNewMonitorChangesNothing) {
    DeviceDescription device;
    device.firmwareVersion = 30;
    device.allowBaud115200 = true;
    device.allowBaud230400 = true;
    int32_t rate = 230400;
    EXPECT_FALSE(applyBaudCapabilities(device, rate));
    EXPECT_TRUE(device.allowBaud230400);
    EXPECT_EQ(rate, 230400);
}

TEST(UsageFractions, ShareOfTheBankTheApplicationLiesIn) {
    DeviceDescription device;
    device.bankA = {0x10000, 0x1FFFFF};  // 0x1F0000 bytes
    device.bankB = {0x18000000, 0x180FFFFF};
    device.bankC = {0x800000, 0x8FFFFF};
    device.driveSizes = {0, 0, 62};  // 62 kB = 0xF800 bytes
    const double fileSystem = 0xF800 / double(0x1F0000);

    struct Case {
        AddressRange application;
        double rom;
        double ram;
    };
    const Case cases[] = {
        {{0x10000, 0x10000 + 0x7C000 - 1}, 0.25, fileSystem},
        {{0x18000000, 0x1807FFFF}, 0.5, 0.0},
        {{0x800000, 0x83FFFF}, 0.25, 0.0},
        // Ending beyond bank A, or starting at its very top, is in no bank.
        {{0x10000, 0x200000}, 0.0, fileSystem},
        {{0x1FFFFF, 0x1FFFFF}, 0.0, fileSystem},
    };
    for (const Case& c : cases) {
        const UsageFractions usage = usageFractions(device, true, c.application, 0.9);
        EXPECT_DOUBLE_EQ(usage.rom, c.rom) << std::hex << c.application.low;
        EXPECT_DOUBLE_EQ(usage.ram, c.ram) << std::hex << c.application.low;
    }

    const UsageFractions notLoaded = usageFractions(device, false, {0x10000, 0x1FFFF}, 0.9);
    EXPECT_DOUBLE_EQ(notLoaded.rom, 0.9);
    EXPECT_DOUBLE_EQ(notLoaded.ram, fileSystem);

    device.bankA = {0, 0xFFFFFFFF};  // its size wraps to 0
    EXPECT_EQ(usageFractions(device, false, {}, 0.0).ram, 0.0);
}

TEST(ConnectionWatchPeriod, GrowsWithEveryFifthTimeFactor) {
    EXPECT_EQ(connectionWatchPeriod(1), Millis{500});
    EXPECT_EQ(connectionWatchPeriod(4), Millis{500});
    EXPECT_EQ(connectionWatchPeriod(5), Millis{1000});
    EXPECT_EQ(connectionWatchPeriod(12), Millis{1500});
}

}  // namespace
}  // namespace tarmix
