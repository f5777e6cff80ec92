// tarmix-sim's bad line through a real pseudo-terminal: the same seed brings the same faults
// at the same bytes, so a failing run can be replayed; a line that goes away leaves its link
// dangling and the program's reads fail instead of waiting.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/cli/simulator_launcher.h"
#include "link/monitor_exchange.h"
#include "platform/termios_port.h"
#include "support/ask.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class FaultLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = fs::path(::testing::TempDir()) / ("fault-line-" + std::to_string(getpid()));
        fs::create_directories(folder);
    }
    void TearDown() override { fs::remove_all(folder); }

    // Starts the simulator with its stderr (the fault log) going to `log`.
    void start(SimulatorLauncher& simulator, const std::vector<std::string>& arguments,
               const fs::path& log) {
        const int saved = dup(STDERR_FILENO);
        const int file = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(file, STDERR_FILENO);
        std::string error;
        simulator.setExecutable(TARMIX_SIM_PATH);
        const bool started = simulator.start("alder", arguments, error);
        dup2(saved, STDERR_FILENO);
        close(saved);
        close(file);
        ASSERT_TRUE(started) << error;
    }

    // The log's lines in order: each direction keeps its own order, their interleaving
    // follows the timing.
    static std::vector<std::string> sortedLines(const fs::path& log) {
        std::ifstream in(log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    fs::path folder;
};

TEST_F(FaultLineTest, TheSameSeedGivesTheSameFaultsAtTheSameBytes) {
    std::vector<std::string> logs[2];
    for (int run = 0; run < 2; ++run) {
        const fs::path log = folder / ("faults" + std::to_string(run) + ".log");
        SimulatorLauncher simulator;
        start(simulator,
              {"--faults", "drop=0.01,corrupt=0.01,drop-in=0.01,corrupt-in=0.01", "--seed", "9"},
              log);
        PortMap map;
        map.setCom(0, {simulator.devicePath(), false});
        CSerial serial(termiosPortFactory(map), systemClock());
        ASSERT_EQ(serial.Open("COM1"), 0);
        ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
        MonitorExchange monitor(serial);
        for (int i = 0; i < 30; ++i) testing::Ask(monitor, "tell drives");
        serial.Close();
        simulator.stop();
        logs[run] = sortedLines(log);
    }
    EXPECT_GT(logs[0].size(), 3u);
    EXPECT_EQ(logs[0], logs[1]);
}

TEST_F(FaultLineTest, AGoneLineLeavesItsLinkDanglingAndReadsFailAtOnce) {
    SimulatorLauncher simulator;
    const fs::path link = folder / "ttySIM";
    start(simulator, {"--link", link.string(), "--faults", "gone@40"}, folder / "gone.log");
    PortMap map;
    map.setCom(0, {link.string(), false});
    CSerial serial(termiosPortFactory(map), systemClock());
    ASSERT_EQ(serial.Open("COM1"), 0);
    ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
    MonitorExchange monitor(serial);
    EXPECT_EQ(testing::Ask(monitor, "tell version").substr(0, 22), "tell version\r\nVersion:");
    testing::Ask(monitor, "tell drives tell drives tell drives");

    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
    EXPECT_FALSE(fs::exists(link));
    std::string answer;
    EXPECT_FALSE(monitor.SendAndWaitPrompt("tell version", answer, 1999, Wait::Scaled(500ms)).ok());
    EXPECT_NE(serial.Open("COM1"), 0);
    simulator.stop();
    EXPECT_EQ(sortedLines(folder / "gone.log"), std::vector<std::string>{"fault gone in 40"});
}

}  // namespace
}  // namespace tarmix
