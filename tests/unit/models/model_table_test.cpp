// Lookups in the hardware model table: batch keywords, the plain and extended variants,
// the boot files and the commands of the boot loader update, the addresses old monitors
// take.
#include <gtest/gtest.h>

#include "models/models.h"

namespace tarmix {
namespace {

TEST(ModelByKeyword, ExactKeywordsOfChangeHardware) {
    const char* const byCode[] = {"",          "alder",           "birch",        "alder177",
                                  "kestrel",   "core510",         "heron",        "qrt",
                                  "core540",   "small-alder",     "dispenser",    "dmx610",
                                  "alder ext", "small-alder ext", "alder177 ext", "fgh720",
                                  "t_pq7xx"};
    for (int32_t code = 1; code <= 16; ++code) EXPECT_EQ(modelByKeyword(byCode[code]), code);
    for (const char* unknown : {"", "Alder", "alder ", "alder  ext", "vantix", "vantix+"}) {
        EXPECT_EQ(modelByKeyword(unknown), 0) << unknown;
    }
}

TEST(UpdateVariant, ExtendedFlagChoosesThePartner) {
    const std::pair<int32_t, int32_t> pairs[] = {{1, 12}, {9, 13}, {3, 14}};
    for (const auto& [plain, extended] : pairs) {
        EXPECT_EQ(updateVariant(plain, true), extended);
        EXPECT_EQ(updateVariant(plain, false), plain);
        EXPECT_EQ(updateVariant(extended, false), plain);
        EXPECT_EQ(updateVariant(extended, true), extended);
    }
    for (int32_t code : {0, 2, 4, 11, 16, 17}) EXPECT_EQ(updateVariant(code, true), code);
}

TEST(UpdateAvailabilityFile, BootInitOfTheVariantOrTheVantixBootLoader) {
    EXPECT_EQ(updateAvailabilityFile(1, true), "BootinitExt.rom");
    EXPECT_EQ(updateAvailabilityFile(12, false), "Bootinit.rom");
    EXPECT_EQ(updateAvailabilityFile(13, false), "BootinitSmallAlder.rom");
    EXPECT_EQ(updateAvailabilityFile(10, true), "Bootinitm.rom");
    EXPECT_EQ(updateAvailabilityFile(18, true), "Bootq.rom");
    for (int32_t code : {0, 2, 16, 19, -1}) {
        EXPECT_EQ(updateAvailabilityFile(code, false), "") << code;
        EXPECT_FALSE(generalUpdateSteps(code, 30)) << code;
    }
    EXPECT_FALSE(generalUpdateSteps(17, 30));
}

TEST(GeneralUpdateSteps, SmallAlderSwitchesRamWindowAtVersion25) {
    EXPECT_EQ(generalUpdateSteps(9, 24)->ram.fill, "fill 00c10000 10000 ff");
    EXPECT_EQ(generalUpdateSteps(9, 24)->ram.bootLoaderOffset, "s3offset ffff0000");
    EXPECT_EQ(generalUpdateSteps(9, 24)->program, "flash program        0 00c10000 10000");
    EXPECT_EQ(generalUpdateSteps(9, 25)->ram.fill, "fill 00c20000 10000 ff");
    EXPECT_EQ(generalUpdateSteps(9, 25)->ram.bootLoaderOffset, "s3offset fffe0000");
    EXPECT_EQ(generalUpdateSteps(9, 25)->program, "flash program        0 00c20000 10000");
}

TEST(GeneralUpdateSteps, OldMonitorsShareEraseAndProgramButKeepTheirRamSetup) {
    for (int32_t code : {1, 10, 11, 14}) {
        const auto steps = generalUpdateSteps(code, 8);
        ASSERT_TRUE(steps) << code;
        EXPECT_EQ(steps->sectors.first, "flash erase sector 8000");
        EXPECT_EQ(steps->extraSector, "");
        EXPECT_EQ(steps->program, "flash program 0 00c10000 10000");
    }
    EXPECT_EQ(generalUpdateSteps(11, 8)->ram.fill, "fill AC100000 20000 ff");
    EXPECT_EQ(generalUpdateSteps(11, 8)->restart, "call 0");

    EXPECT_EQ(generalUpdateSteps(10, 9)->extraSector, "flash erase sector 00010000");
    EXPECT_EQ(generalUpdateSteps(14, 9)->sectors.first, "flash erase sector a0008000");
    EXPECT_EQ(generalUpdateSteps(12, 9)->program, "flash program   100000 00c20000 20000");
}

// Old monitors of the ALDER panel see its flash from 0; no other address moves.
TEST(MonitorAddress, OldAlderMonitorsSeeTheirFlashFromZero) {
    struct Case {
        int32_t code;
        int32_t monitorVersion;
        uint32_t address;
        uint32_t sent;
    };
    const Case cases[] = {
        {1, 8, 0x110000, 0x010000},  {1, 8, 0x100000, 0},        {1, 8, 0x3FFFFF, 0x2FFFFF},
        {1, 8, 0x400000, 0x400000},  {1, 8, 0x0FFFFF, 0x0FFFFF}, {1, 9, 0x110000, 0x110000},
        {12, 8, 0x120000, 0x120000}, {0, 8, 0x110000, 0x110000}, {19, 8, 0x110000, 0x110000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(monitorAddress(c.code, c.monitorVersion, c.address), c.sent)
            << c.code << " " << c.monitorVersion << " " << std::hex << c.address;
    }
}

}  // namespace
}  // namespace tarmix
