#include "config/capability.h"

#include <gtest/gtest.h>

namespace tarmix {
namespace {

TEST(Capability, ParsesDecimalHexHexThenDecimals) {
    auto values = ParseCapabilities("tell caps\r\n1 7F00 8000 0 2\r\nBoot> ");
    ASSERT_TRUE(values);
    EXPECT_EQ(*values, (std::vector<int>{1, 0x7f00, 0x8000, 0, 2}));
}

TEST(Capability, ReadsAtMostTenAndNeedsFive) {
    auto twelve = ParseCapabilities("tell caps\r\n1 2 3 4 5 6 7 8 9 10 11 12\r\nBoot> ");
    ASSERT_TRUE(twelve);
    EXPECT_EQ(twelve->size(), 10u);
    EXPECT_FALSE(ParseCapabilities("tell caps\r\n1 7f00 8000 0\r\nBoot> "));
    EXPECT_FALSE(ParseCapabilities("tell caps"));
    EXPECT_FALSE(ParseCapabilities(""));
}

TEST(Capability, WritesLowerCaseHexWithAtLeastFourDigits) {
    EXPECT_EQ(FormatInitCaps({1, 0, 0x8000, 0, 2}), "init caps 1 0000 8000 0 2");
    EXPECT_EQ(FormatInitCaps({1, 0x7F00, 0x12345, 0, 2, 6}), "init caps 1 7f00 12345 0 2 6");
}

}  // namespace
}  // namespace tarmix
