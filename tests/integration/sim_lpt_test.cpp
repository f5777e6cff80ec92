// tarmix-sim's parallel port: a named pipe the program opens as LPT1. Block data written
// there are burnt into the flash, the answers come over the pty, and the flash ends up in
// the state directory's memory.srec.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/cli/simulator_launcher.h"
#include "flash/srec_line.h"
#include "link/monitor_exchange.h"
#include "link/parallel.h"
#include "link/serial.h"
#include "platform/termios_port.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;

// Generous: a sanitized build on a loaded machine answers far slower than a device.
constexpr auto kAnswerWait = 3000ms;

class SimLptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir =
            std::filesystem::temp_directory_path() / ("tarmix_sim_lpt_" + std::to_string(getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        map.setLpt((dir / "lpt1").string());
        simulator.setExecutable(TARMIX_SIM_PATH);
        std::string error;
        ASSERT_TRUE(simulator.start("heron", {"--lpt", map.lpt(), "--state", dir.string()}, error))
            << error;
        map.setCom(0, {simulator.devicePath(), false});
    }
    void TearDown() override {
        simulator.stop();
        std::filesystem::remove_all(dir);
    }
    std::filesystem::path dir;
    PortMap map;
    SimulatorLauncher simulator;
};

TEST_F(SimLptTest, ABlockThroughThePipeLandsInTheFlashAndInTheSavedState) {
    CSerial serial(termiosPortFactory(map), systemClock());
    ASSERT_EQ(serial.Open("COM1"), 0);
    ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
    MonitorExchange monitor(serial);
    CParallel lpt(map);
    ASSERT_EQ(lpt.Open("LPT1"), 0);

    std::string answer;
    ASSERT_TRUE(monitor
                    .SendAndWaitPrompt("flash erase application 00110000 00112fff", answer, 1999,
                                       Wait::Scaled(kAnswerWait))
                    .ok());
    ASSERT_TRUE(
        monitor.CollectUntilPrompt("parportCTRL on", answer, 399, Wait::Fixed(kAnswerWait)).ok());
    ASSERT_EQ(answer, "parportCTRL on\r\nParPort aktiviert\r\nBoot> ");
    std::vector<uint8_t> data(9004);
    uint32_t sum = 0;
    for (size_t i = 0; i < data.size(); ++i) sum += data[i] = uint8_t(i * 13 + 1);
    char command[64];
    std::snprintf(command, sizeof command, "burn 00110000 %08x %08x", unsigned(data.size()), ~sum);
    serial.DrainInput();
    ASSERT_EQ(lpt.SendLine(command), 0);
    serial.ReceiveText(answer, 799, std::strlen(command) + 2, 4000ms);
    ASSERT_EQ(answer, std::string(command) + "\r\n");
    ASSERT_EQ(lpt.WriteBytes(data.data(), data.size()), 0);
    serial.ReceiveText(answer, 799, 12, 4000ms);
    EXPECT_EQ(answer, "o.k.\r\nBoot> ");
    // Up to the prompt, so that none of it is left over for the next command's answer.
    ASSERT_TRUE(
        monitor.CollectUntilPrompt("parportCTRL off", answer, 399, Wait::Fixed(kAnswerWait)).ok());
    EXPECT_EQ(answer, "parportCTRL off\r\nParPort deaktiviert\r\nBoot> ");
    // The program closes LPT1 between downloads; the pipe takes the next writer.
    lpt.Close();
    ASSERT_EQ(lpt.Open("LPT1"), 0);
    ASSERT_TRUE(
        monitor.CollectUntilPrompt("parportCTRL on", answer, 399, Wait::Fixed(kAnswerWait)).ok());
    ASSERT_EQ(answer, "parportCTRL on\r\nParPort aktiviert\r\nBoot> ");
    // While the monitor reads the parallel port, commands on the serial line go unheard.
    EXPECT_FALSE(monitor.CollectUntilPrompt("tell drives", answer, 399, Wait::Fixed(300ms)).ok());
    EXPECT_EQ(answer, "");
    serial.DrainInput();
    ASSERT_EQ(lpt.SendLine("tell version"), 0);
    serial.ReceiveText(answer, 999, 23, kAnswerWait);
    EXPECT_EQ(answer.substr(0, 23), "tell version\r\nVersion: ");

    simulator.stop();
    SrecLineReader reader;
    ASSERT_TRUE(reader.open((dir / "memory.srec").string()));
    std::vector<uint8_t> saved;
    std::string_view line;
    while (reader.next(line)) {
        DataRecord record;
        if (ClassifyLine(line, record) != LineKind::kData) continue;
        EXPECT_EQ(record.address, 0x110000 + saved.size());
        saved.resize(saved.size() + record.count);
        DecodeBytes(record.digits, saved.data() + saved.size() - record.count);
    }
    // Records are whole 32-byte rows of the flash: the last one runs on over erased bytes.
    ASSERT_GE(saved.size(), data.size());
    EXPECT_EQ(std::vector<uint8_t>(saved.begin(), saved.begin() + long(data.size())), data);
}

}  // namespace
}  // namespace tarmix
