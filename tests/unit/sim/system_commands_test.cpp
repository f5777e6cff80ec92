// The simulated monitor's drive, folder, clock and restart commands.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "sim_bench.h"

namespace tarmix::sim {
namespace {

namespace fs = std::filesystem;

// A bench whose drives live in a folder of the test's own.
struct DriveBench : Bench {
    DriveBench() : Bench("alder") {
        fs::remove_all(state);
        std::string error;
        EXPECT_TRUE(controller.loadState(state, error)) << error;
    }
    ~DriveBench() { fs::remove_all(state); }
    fs::path drive(char letter) const { return state / "drives" / std::string(1, letter); }

    fs::path state = fs::temp_directory_path() / ("tarmix_sim_drives_" + std::to_string(getpid()));
};

TEST(SimDrives, InitDrivesAndFormat) {
    DriveBench bench;
    fs::create_directories(bench.drive('C') / "LOG");
    std::ofstream(bench.drive('C') / "LOG" / "A.TXT") << "x";
    EXPECT_EQ(bench.exchange("format c:"), "format c:\r\n Drive formatiert\r\nBoot> ");
    EXPECT_TRUE(fs::is_empty(bench.drive('C')));

    EXPECT_EQ(bench.exchange("init drives 2048 0 128"), "init drives 2048 0 128\r\nBoot> ");
    EXPECT_EQ(bench.collect("tell drives"), "tell drives\r\nDrives: 2048 0 128\r\nBoot> ");
    EXPECT_EQ(bench.exchange("format b:"), "format b:\r\nDrive not available\r\nBoot> ");
    // Drive C: has to leave bank 1 room for the boot loader and the application.
    EXPECT_EQ(bench.exchange("init drives 0 0 2048"),
              "init drives 0 0 2048\r\nSyntax error\r\nBoot> ");
}

TEST(SimDrives, MkdirAndDelEchoThenPrompt) {
    DriveBench bench;
    EXPECT_EQ(bench.exchange("mkdir \"A:\\LOG\\\""), "mkdir \"A:\\LOG\\\"\r\nBoot> ");
    EXPECT_EQ(bench.exchange("mkdir \"a:\\LOG\\DAY 1\""), "mkdir \"a:\\LOG\\DAY 1\"\r\nBoot> ");
    EXPECT_TRUE(fs::is_directory(bench.drive('A') / "LOG" / "DAY 1"));
    EXPECT_EQ(bench.exchange("mkdir \"A:\\LOG\""),
              "mkdir \"A:\\LOG\"\r\nDirectory exists\r\nBoot> ");
    EXPECT_EQ(bench.exchange("mkdir \"A:\\NO\\SUB\""),
              "mkdir \"A:\\NO\\SUB\"\r\nPath not found\r\nBoot> ");

    std::ofstream(bench.drive('A') / "LOG" / "A.TXT") << "x";
    EXPECT_EQ(bench.exchange("del \"A:\\LOG\\A.TXT\""), "del \"A:\\LOG\\A.TXT\"\r\nBoot> ");
    EXPECT_FALSE(fs::exists(bench.drive('A') / "LOG" / "A.TXT"));
    EXPECT_EQ(bench.exchange("del A:\\LOG"), "del A:\\LOG\r\nFile not found\r\nBoot> ");
}

TEST(SimDrives, PathsNeverLeaveTheirDrive) {
    DriveBench bench;
    fs::create_directories(bench.drive('A'));
    std::ofstream(bench.state / "outside.txt") << "keep";
    for (const std::string path : {"A:\\..\\..\\outside.txt", "A:\\..", "A:/etc", "A:\\a/b",
                                   "/tmp/x", "D:\\x", "A:\\a\\\\b", "A:\\a:b", "A:\\a\tb", "A:"}) {
        SCOPED_TRACE(path);
        const std::string mkdir = "mkdir \"" + path + "\"";
        EXPECT_EQ(bench.exchange(mkdir), mkdir + "\r\nPath error\r\nBoot> ");
        EXPECT_EQ(bench.exchange("del " + path), "del " + path + "\r\nPath error\r\nBoot> ");
    }
    EXPECT_TRUE(fs::exists(bench.state / "outside.txt"));
    EXPECT_TRUE(fs::is_empty(bench.drive('A')));
}

TEST(SimClock, RtcInitAnswersTheDayAndTime) {
    Bench bench("alder");
    EXPECT_EQ(bench.exchange("rtc init mo 07.12.2026 08.30.05"),
              "rtc init mo 07.12.2026 08.30.05\r\nMontag 07.12.2026 08:30:05\r\nBoot> ");
    for (const char* refused :
         {"rtc init xx 07.12.2026 08.30.05", "rtc init mo 32.12.2026 08.30.05",
          "rtc init mo 7.12.2026 08.30.05", "rtc init mo 07.12.2026"})
        EXPECT_NE(bench.exchange(refused).find("Syntax error"), std::string::npos) << refused;
}

TEST(SimLeavingTheMonitor, CallRunsTheApplicationUntilTheMonitorIsBack) {
    Bench bench("alder");
    bench.controller.setApplicationTime(3000ms);
    EXPECT_EQ(bench.collect("call 00110000"), "call 00110000\r\n");
    EXPECT_EQ(bench.collect("tell version"), "");  // the application does not answer
    bench.clock.advance(3000ms);
    EXPECT_EQ(bench.untilPrompt(), "\r\nBoot> ");
    EXPECT_EQ(bench.collect("tell version"), "tell version\r\nVersion: 30\r\nBoot> ");

    bench.controller.setUartBaud(115200);
    bench.serial.Configure(115200);
    EXPECT_EQ(bench.collect("reset"), "reset\r\n");
    EXPECT_EQ(bench.controller.uartBaud(), 57600u);  // a restarted monitor talks at 57600
}

}  // namespace
}  // namespace tarmix::sim

namespace tarmix::sim {
namespace {

TEST(SimTyping, BackspaceErasesAndCursorKeysAreSwallowed) {
    Bench bench("alder");
    // Typed as a person does, with a mistake and the cursor keys a terminal sends.
    bench.serial.WriteText("tell x\b\x1b[A\x1b[C\x1b[Bversion\r");
    EXPECT_EQ(bench.untilPrompt(), "tell x\b \bversion\r\nVersion: 30\r\nBoot> ");
    // A backspace on an empty line echoes nothing; an ESC without "[" is dropped alone.
    bench.serial.WriteText("\b\x1bxtell drives\r");
    EXPECT_EQ(bench.untilPrompt(), "xtell drives\r\nUnknown command: xtell\r\nBoot> ");
}

TEST(SimLeavingTheMonitor, TheRunningApplicationPrintsUntilTheMonitorIsBack) {
    Bench bench("alder");
    bench.controller.setApplicationTime(1000ms);
    bench.controller.setApplicationOutput(300ms);
    EXPECT_EQ(bench.collect("run appl"), "run appl\r\n");
    std::string output = bench.untilPrompt();
    EXPECT_EQ(output,
              "Application running: line 000001 of the simulated application\r\n"
              "Application running: line 000002 of the simulated application\r\n"
              "Application running: line 000003 of the simulated application\r\n"
              "\r\nBoot> ");
    EXPECT_EQ(bench.collect("tell version"), "tell version\r\nVersion: 30\r\nBoot> ");
}

}  // namespace
}  // namespace tarmix::sim
