// The parallel port's writes against a device that stops taking bytes: every wait ends by
// the clock, also when the device keeps reporting "ready".
#include "link/parallel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tarmix {
namespace {

using namespace std::chrono_literals;

// LPT1 on /dev/null (so it opens), with the device calls scripted: the device takes up to
// `perWrite` bytes per write until `acceptBudget` is used up, then none.
class StallingParallel final : public CParallel {
  public:
    StallingParallel(VirtualClock& clock, bool reportsReady)
        : CParallel(lptOnNull(), clock), clock_(clock), reportsReady_(reportsReady) {}
    static PortMap lptOnNull() {
        PortMap map;
        map.setLpt("/dev/null");
        return map;
    }
    size_t acceptBudget = 0;
    size_t perWrite = SIZE_MAX;
    size_t taken = 0;
    int writes = 0;

  private:
    long writeSome(const uint8_t*, size_t count) override {
        ++writes;
        const size_t put = std::min({count, perWrite, acceptBudget - taken});
        taken += put;
        return long(put);
    }
    bool waitWritable(Millis timeout) override {
        if (reportsReady_) return true;  // a printer port's poll: "ready" at once
        clock_.advance(timeout);
        return false;
    }
    VirtualClock& clock_;
    bool reportsReady_;
};

TEST(ParallelPort, AWriteTheDeviceStopsTakingEndsByTheClock) {
    struct Case {
        const char* what;
        bool reportsReady;
        size_t budget;
    };
    const Case cases[] = {
        {"poll says ready, write takes nothing", true, 0},
        {"poll says ready, device stops after 100 bytes", true, 100},
        {"poll waits and times out", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VirtualClock clock;
        StallingParallel lpt(clock, c.reportsReady);
        lpt.acceptBudget = c.budget;
        ASSERT_EQ(lpt.Open("LPT1"), 0);
        const std::vector<uint8_t> data(1000, 0x55);
        EXPECT_EQ(lpt.WriteBytes(data.data(), data.size()), 1);
        EXPECT_EQ(lpt.taken, c.budget);
        EXPECT_GE(clock.now(), CParallel::kWriteTimeout);
        EXPECT_LT(clock.now(), CParallel::kWriteTimeout + 2 * CParallel::kRefusedPause);
        // Not a busy loop: one write per pause at most.
        EXPECT_LE(lpt.writes, int(CParallel::kWriteTimeout / CParallel::kRefusedPause) + 3);
    }
}

TEST(ParallelPort, ADeviceThatTakesBytesInDribsGetsThemAll) {
    VirtualClock clock;
    StallingParallel lpt(clock, true);
    lpt.acceptBudget = 5000;
    lpt.perWrite = 7;
    ASSERT_EQ(lpt.Open("LPT1"), 0);
    const std::vector<uint8_t> data(5000, 0xAA);
    EXPECT_EQ(lpt.WriteBytes(data.data(), data.size()), 0);
    EXPECT_EQ(lpt.taken, 5000u);
    EXPECT_EQ(clock.now(), 0ms);
}

}  // namespace
}  // namespace tarmix
