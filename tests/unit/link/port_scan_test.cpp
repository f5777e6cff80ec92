#include "link/port_scan.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "scripted_port.h"
#include "support/recording_view.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;
using testing::RecordingView;
using testing::ScriptedPort;

class PortScanTest : public ::testing::Test {
  protected:
    PortScanTest()
        : scanner(
              map, [this] { return makePort(); }, clock, view) {
        map.setCom(0, {"/dev/ttyS0", false});
        map.setCom(1, {"/dev/ttyUSB0", true});
        map.setCom(2, {"/dev/ttyS2", false});
    }
    std::unique_ptr<PortBackend> makePort() {
        auto port = std::make_unique<ScriptedPort>(clock);
        port->acceptOpen = [this](const std::string& name) {
            ++tries[name];
            if (name == hanging) clock.advance(1500ms);
            return opens.count(name) > 0;
        };
        return port;
    }
    VirtualClock clock;
    PortMap map;
    RecordingView view;
    std::set<std::string> opens{"COM1", "COM2"};
    std::string hanging;
    std::map<std::string, int> tries;
    PortScanner scanner;
};

TEST_F(PortScanTest, ListedPortsThatOpenAreAvailableAndTheSelectedOneIsNotTouched) {
    PortState state;
    state.selectedPort = 0;
    scanner.ScanSerialPorts(state);
    EXPECT_TRUE(state.available[0]);
    EXPECT_TRUE(state.available[1]);
    EXPECT_FALSE(state.available[2]);  // listed, but the trial open fails
    EXPECT_FALSE(state.available[3]);
    EXPECT_TRUE(state.usb[1]);
    EXPECT_EQ(tries.count("COM1"), 0u);
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(PortScanTest, SlowFailingOpenDisablesThePortOnceWithAMessage) {
    hanging = "COM3";
    PortState state;
    scanner.ScanSerialPorts(state);
    EXPECT_TRUE(state.disabled[2]);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text.rfind("COM3\n\n", 0), 0u);
    scanner.ScanSerialPorts(state);
    EXPECT_EQ(tries["COM3"], 1);  // never probed again
    EXPECT_EQ(view.messages.size(), 1u);
}

TEST_F(PortScanTest, UsbAdapterIsNeverLeftDisabled) {
    PortState state;
    state.disabled[1] = true;
    scanner.ScanSerialPorts(state);
    EXPECT_FALSE(state.disabled[1]);
    EXPECT_TRUE(state.available[1]);
}

TEST_F(PortScanTest, AnAdapterPluggedInLaterAppearsOnTheNextScan) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("tarmix_scan_" + std::to_string(getpid()));
    fs::create_directories(root / "sys/class/tty");
    fs::create_directories(root / "dev");
    // As the real ports: a name opens when the listing gives it a device.
    const PortMap listed = PortMap::followingDevices(root / "sys", root / "dev");
    PortScanner following(
        listed,
        [&] {
            auto port = std::make_unique<ScriptedPort>(clock);
            port->acceptOpen = [&](const std::string& name) {
                return !listed.resolve(name).empty();
            };
            return port;
        },
        clock, view);
    PortState state;
    following.ScanSerialPorts(state);
    EXPECT_FALSE(state.available[0]);

    fs::create_directories(root / "sys/devices/usb1/1-1/ttyUSB0");
    fs::create_directories(root / "sys/class/tty/ttyUSB0");
    fs::create_directory_symlink(root / "sys/devices/usb1/1-1/ttyUSB0",
                                 root / "sys/class/tty/ttyUSB0/device");
    std::ofstream(root / "dev/ttyUSB0");
    following.ScanSerialPorts(state);
    EXPECT_TRUE(state.available[0]);
    EXPECT_TRUE(state.usb[0]);
    fs::remove_all(root);
}

}  // namespace
}  // namespace tarmix
