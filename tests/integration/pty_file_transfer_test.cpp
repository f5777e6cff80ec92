// Files to the simulated controller and back over a real pseudo-terminal at a raised rate,
// compared byte for byte, with the device's copy checked in its drive folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/cli/simulator_launcher.h"
#include "ffs/file_transfer.h"
#include "link/baud_switch.h"
#include "link/identify.h"
#include "platform/termios_port.h"
#include "support/ask.h"
#include "support/recording_view.h"
#include "tests/support/file_contents.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

using testing::readFile;

TEST(PtyFileTransfer, RoundTripsAtTheRaisedRate) {
    const fs::path folder = fs::path(::testing::TempDir()) / "pty-file-transfer";
    fs::remove_all(folder);
    fs::create_directories(folder / "state");

    SimulatorLauncher simulator;
    simulator.setExecutable(TARMIX_SIM_PATH);
    std::string error;
    ASSERT_TRUE(simulator.start("alder", {"--state", (folder / "state").string()}, error)) << error;
    PortMap map;
    map.setCom(0, {simulator.devicePath(), false});
    CSerial serial(termiosPortFactory(map), systemClock());
    ASSERT_EQ(serial.Open("COM1"), 0);
    ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
    MonitorExchange monitor(serial);
    DeviceDescription device;
    identifyModel(testing::Ask(monitor, "please answer me"), device, "");
    applyDrives(device, parseDrivesAnswer(testing::Ask(monitor, "tell drives")));
    ASSERT_NE(device.driveSizes[0], 0);

    testing::RecordingView view;
    bool ask = false;
    FileTransfer transfer({monitor, view, device, ask, {}});
    BaudSwitch baud(monitor, view, 115200);
    {
        RaisedBaudRate raised(baud);
        for (size_t size : {0, 1, 511, 512, 513, 300000}) {
            SCOPED_TRACE(size);
            std::string bytes(size, '\0');
            for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 131 + i / 509) & 0xff);
            const fs::path out = folder / "out.bin", back = folder / "back.bin";
            std::ofstream(out, std::ios::binary) << bytes;
            ASSERT_EQ(transfer.DownloadFile(out.string(), "A:\\", "ROUND.BIN"), 0)
                << (view.messages.empty() ? "" : view.messages.back().text);
            EXPECT_EQ(readFile(folder / "state" / "drives" / "A" / "ROUND.BIN"), bytes);
            ASSERT_EQ(transfer.UploadFile(back.string(), "A:\\ROUND.BIN"), 0)
                << (view.messages.empty() ? "" : view.messages.back().text);
            EXPECT_EQ(readFile(back), bytes);
        }
    }
    // Back at 57600 the monitor still answers.
    std::string answer;
    EXPECT_TRUE(monitor.SendAndWaitPrompt("tell version", answer, 1999, Wait::Scaled(500ms)).ok());
    EXPECT_TRUE(view.messages.empty());
    serial.Close();
    simulator.stop();
    fs::remove_all(folder);
}

}  // namespace
}  // namespace tarmix
