#include "platform/transfer_meter.h"

#include <gtest/gtest.h>

namespace tarmix {
namespace {

using namespace std::chrono_literals;

TEST(TransferMeter, RateAndTimeLeftFollowTheBytes) {
    TransferMeter meter;
    EXPECT_FALSE(meter.figures());
    meter.update(0, 10000, 1000ms);
    EXPECT_TRUE(meter.running());
    EXPECT_FALSE(meter.figures()->secondsLeft);  // no rate yet

    meter.update(2000, 10000, 2000ms);
    EXPECT_DOUBLE_EQ(meter.figures()->bytesPerSecond, 2000);
    EXPECT_DOUBLE_EQ(*meter.figures()->secondsLeft, 4);
    meter.update(6000, 10000, 3000ms);
    EXPECT_DOUBLE_EQ(meter.figures()->bytesPerSecond, 3000);
    EXPECT_NEAR(*meter.figures()->secondsLeft, 4000.0 / 3000, 1e-9);
    EXPECT_EQ(DescribeTransfer(*meter.figures()), "5.9 of 9.8 KiB, 2.9 KiB/s, 0:01 left");

    meter.update(10000, 10000, 4000ms);
    EXPECT_FALSE(meter.running());
    EXPECT_DOUBLE_EQ(*meter.figures()->secondsLeft, 0);
}

TEST(TransferMeter, AnotherTotalOrFewerBytesBeginAFreshTransfer) {
    TransferMeter meter;
    meter.update(0, 100, 0ms);
    meter.update(100, 100, 1000ms);
    meter.update(10, 5000, 5000ms);  // the next file
    EXPECT_EQ(meter.figures()->total, 5000u);
    EXPECT_EQ(meter.figures()->bytesPerSecond, 0);
    meter.update(1010, 5000, 6000ms);
    EXPECT_DOUBLE_EQ(meter.figures()->bytesPerSecond, 1000);
    meter.update(20, 5000, 7000ms);  // started again
    EXPECT_EQ(meter.figures()->bytesPerSecond, 0);
    EXPECT_EQ(DescribeTransfer({3 << 20, 8 << 20, 512, 3600}),
              "3.0 of 8.0 MiB, 512.0 B/s, 60:00 left");
}

}  // namespace
}  // namespace tarmix
