#include <gtest/gtest.h>

#include "ffs/fs_commands.h"

namespace tarmix {
namespace {

TEST(DriveFigures, KeysWithTheirBlanksAndBases) {
    const auto figures = ParseDriveFigures(
        "finfo a\r\nDrive A:\r\n Size      = 00100000\r\n BlockSize = 0x1000\r\n"
        " free      = 100\r\n to erase  =   28\r\nBoot> ");
    ASSERT_TRUE(figures);
    EXPECT_EQ(figures->size, 0x100000u);
    EXPECT_EQ(figures->blockSize, 0x1000u);
    EXPECT_EQ(figures->free, 100u);
    EXPECT_EQ(figures->toErase, 28u);
    const auto usage = UsageOf(*figures);
    ASSERT_TRUE(usage);
    EXPECT_EQ(usage->sizeKb, 1024u);
    EXPECT_EQ(usage->blocks, 256u);
    EXPECT_DOUBLE_EQ(usage->inUsePercent, 50.0);
    EXPECT_DOUBLE_EQ(usage->freePercent, 50.0);
}

TEST(DriveFigures, MissingKeysAndZeroDivisorsAreNoFigures) {
    EXPECT_FALSE(ParseDriveFigures(" Size = 10\r\n BlockSize = 1\r\n free = 1\r\n"));
    EXPECT_FALSE(ParseDriveFigures(" Size = xx\r\n BlockSize = 1\r\n free = 1\r\n to erase = 0"));
    // "BlockSize" holds no " Size " of its own.
    EXPECT_FALSE(ParseDriveFigures(" BlockSize = 1\r\n free = 1\r\n to erase = 0"));
    EXPECT_FALSE(UsageOf({0x1000, 0, 1, 0}));
    EXPECT_FALSE(UsageOf({0x100, 0x1000, 0, 0}));       // no whole block
    const auto full = UsageOf({0x1000, 0x1000, 5, 0});  // more free than there are blocks
    ASSERT_TRUE(full);
    EXPECT_DOUBLE_EQ(full->inUsePercent, 0.0);
}

}  // namespace
}  // namespace tarmix
