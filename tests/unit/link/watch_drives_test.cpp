// The connection watch against a monitor whose "tell drives" or "tell version" answer goes
// missing: the file system's reserve at the top of bank A must never silently become 0, nor
// the monitor's version.
#include <gtest/gtest.h>

#include <map>

#include "link/connection_watch.h"
#include "scripted_port.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedPort;

// A monitor of version 20 on an ALDER panel with 512 kB in drive C:. Its first
// `badDrives` answers to "tell drives" are replaced by `badAnswer`.
struct DrivesBench {
    explicit DrivesBench(int badDrives, std::string badAnswer = "")
        : serial([this] { return std::unique_ptr<PortBackend>(port = new ScriptedPort(clock)); },
                 clock),
          monitor(serial),
          parallel(PortMap{}),
          watch(monitor, parallel, device, flags) {
        serial.Open("COM1");
        const std::map<std::string, std::string> answers = {
            {"please answer me", "here I am : ALDER    200000"},
            {"tell version", "Version: 20"},
            {"tell drives", "Drives: 0 0 512"},
        };
        port->onWrite = [=, this](const std::string& written) {
            const std::string line = written.substr(0, written.size() - 1);
            std::string answer = answers.count(line) ? answers.at(line) : "Unknown command";
            if (line == "tell drives" && drivesAsked++ < badDrives) answer = badAnswer;
            if (line == "tell version" && versionAsked++ < badVersions) answer = badVersion;
            port->arrive(line + "\r\n" + answer + "\r\nBoot> ", 2ms);
        };
    }
    void tick() { watch.Tick(false, baudRate, ""); }

    VirtualClock clock;
    ScriptedPort* port = nullptr;
    CSerial serial;
    MonitorExchange monitor;
    CParallel parallel;
    DeviceDescription device;
    ParallelFlags flags;
    ConnectionWatch watch;
    int32_t baudRate = 57600;
    int drivesAsked = 0;
    int badVersions = 0;
    std::string badVersion;
    int versionAsked = 0;
};

TEST(WatchDrives, AnUnusableAnswerIsAskedAgainOnTheNextTicks) {
    struct Case {
        const char* what;
        int bad;
        std::string answer;
        int identifiedOnTick;  // 1-based
    };
    const Case cases[] = {
        {"good at once", 0, "", 1},
        {"missing once", 1, "", 2},
        {"garbled twice", 2,
         "Dri\xf6"
         "es: 0 0",
         3},
        {"negative size once", 1, "Drives: 0 0 -512", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DrivesBench bench(c.bad, c.answer);
        for (int tick = 1; tick < c.identifiedOnTick; ++tick) {
            bench.tick();
            EXPECT_FALSE(bench.device.deviceIdentified) << "tick " << tick;
        }
        bench.tick();
        ASSERT_TRUE(bench.device.deviceIdentified);
        EXPECT_FALSE(bench.device.driveSizesUnread);
        EXPECT_EQ(bench.device.driveSizes[2], 512);
        EXPECT_EQ(bench.drivesAsked, c.identifiedOnTick);
        // The other one-time queries ran once, not once per ask: the version's two
        // agreeing readings.
        const std::string& written = bench.port->written;
        EXPECT_EQ(written.find("tell version", written.find("tell version") + 1),
                  written.rfind("tell version"));
    }
}

TEST(WatchDrives, AfterThreeUnusableAnswersTheSizesAreMarkedUnread) {
    DrivesBench bench(100);
    for (int tick = 1; tick <= kDrivesAsks; ++tick) bench.tick();
    EXPECT_TRUE(bench.device.deviceIdentified);
    EXPECT_TRUE(bench.device.driveSizesUnread);
    EXPECT_EQ(bench.drivesAsked, kDrivesAsks);
    bench.tick();
    EXPECT_EQ(bench.drivesAsked, kDrivesAsks);  // identified: not asked again
}

TEST(WatchDrives, IdleTicksEndWhenThePromptArrives) {
    DrivesBench bench(0);
    bench.tick();
    ASSERT_TRUE(bench.device.deviceIdentified);
    const Millis before = bench.clock.now();
    bench.tick();
    EXPECT_EQ(bench.clock.now() - before, 2ms);  // not the full 100 ms of the time-out
}

}  // namespace
}  // namespace tarmix

namespace tarmix {
namespace {

// The version counts once two readings agree (a digit lost on the line changes it); an
// unusable one is asked again on the next ticks before it counts as unknown.
TEST(WatchVersion, AnUnusableVersionIsAskedAgainBeforeItCountsAsUnknown) {
    struct Case {
        const char* what;
        int bad;
        std::string answer;
        int identifiedOnTick;  // 1-based
        int asked;
        int32_t version;
    };
    const Case cases[] = {
        {"good at once", 0, "", 1, 2, 20},
        {"a digit lost once", 1, "Version: 2", 1, 3, 20},
        {"number garbled once", 1,
         "Version: \xb2"
         "0",
         1, 3, 20},
        {"missing twice", 2, "", 1, 4, 20},
        {"unusable every time", 100, "Version: ?", kVersionAsks, kVersionAsks * kVersionReadings,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DrivesBench bench(0);
        bench.badVersions = c.bad;
        bench.badVersion = c.answer;
        for (int tick = 1; tick < c.identifiedOnTick; ++tick) {
            bench.tick();
            EXPECT_FALSE(bench.device.deviceIdentified) << "tick " << tick;
        }
        bench.tick();
        ASSERT_TRUE(bench.device.deviceIdentified);
        EXPECT_EQ(bench.device.firmwareVersion, c.version);
        EXPECT_EQ(bench.versionAsked, c.asked);
        // Drives are asked only once the version is settled: a monitor of version 0 has none.
        EXPECT_EQ(bench.drivesAsked, c.version >= kFirstVersionWithDrives ? 1 : 0);
        EXPECT_EQ(bench.port->written.find("parportCTRL test"),
                  bench.port->written.rfind("parportCTRL test"));
    }
}

}  // namespace
}  // namespace tarmix
