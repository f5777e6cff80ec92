// Whole boot loader updates over a real pseudo-terminal against tarmix-sim: the controller
// restarts with the version the new images bring, and its saved flash holds them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/cli/simulator_launcher.h"
#include "flash/boot_loader_update.h"
#include "link/identify.h"
#include "platform/termios_port.h"
#include "sim/boot_library.h"
#include "sim/memory.h"
#include "support/recording_view.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr Millis kAnswerBudget = 10s;

struct Case {
    const char* model;
    int firmware;
    bool usb;  // on a USB link that re-enumerates at the restart
};

class PtyBootUpdateTest : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        folder = fs::path(::testing::TempDir()) / ("pty-boot-" + std::string(GetParam().model) +
                                                   std::to_string(GetParam().firmware));
        fs::remove_all(folder);
        fs::create_directories(folder / "state");
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path folder;
};

TEST_P(PtyBootUpdateTest, ControllerRestartsWithTheNewBootLoader) {
    const Case c = GetParam();
    constexpr int kNewVersion = 52;
    const sim::ModelSpec& simulated = *sim::findModel(c.model);
    std::string error;
    ASSERT_EQ(sim::MakeBootLibrary(simulated, kNewVersion, c.firmware, folder / "Library", error),
              0);

    const std::string link = (folder / "ttyCONTROLLER").string();
    std::vector<std::string> arguments{"--state",    (folder / "state").string(),
                                       "--firmware", std::to_string(c.firmware),
                                       "--link",     link};
    if (c.usb) arguments.push_back("--usb");
    SimulatorLauncher simulator;
    simulator.setExecutable(TARMIX_SIM_PATH);
    ASSERT_TRUE(simulator.start(c.model, arguments, error)) << error;
    const fs::path deviceBefore = fs::read_symlink(link);
    // Held open, the old device keeps its number: a new device cannot be given it again.
    const int oldDevice = open(deviceBefore.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);

    PortMap map;
    map.setCom(0, {link, c.usb});
    CSerial serial(termiosPortFactory(map), systemClock());
    ASSERT_EQ(serial.Open("COM1"), 0);
    ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
    MonitorExchange monitor(serial);
    // A busy machine may take the simulator long to answer: wait for the prompt, not a time.
    const auto ask = [&](const std::string& command) {
        std::string answer;
        EXPECT_TRUE(
            monitor.SendAndWaitPrompt(command, answer, 999, Wait::Scaled(kAnswerBudget)).ok())
            << command;
        return answer;
    };
    DeviceDescription device;
    identifyModel(ask("please answer me"), device, "");
    applyVersion(device, parseVersionAnswer(ask("tell version")));
    device.deviceIdentified = true;
    ASSERT_EQ(device.firmwareVersion, c.firmware);

    testing::RecordingView view;
    BootLoaderUpdate update(
        {monitor, view, device, folder / "Library", c.usb, device.hardwareModel});
    ASSERT_EQ(update.UpdateBootLoader(), 0)
        << (view.messages.empty() ? "" : view.messages.front().text);

    EXPECT_EQ(parseVersionAnswer(ask("tell version")), kNewVersion);
    if (c.usb) {
        EXPECT_NE(fs::read_symlink(link), deviceBefore);
    }
    serial.Close();
    simulator.stop();
    close(oldDevice);

    sim::Memory flash(simulated);
    ASSERT_TRUE(flash.loadFlash(folder / "state" / "memory.srec", error)) << error;
    const auto place = sim::BootImagePlaceFor(simulated.code, c.firmware);
    ASSERT_TRUE(place);
    EXPECT_EQ(flash.read(simulated.flashBanks.front().start, place->bootLoaderSize),
              sim::BootLoaderBytes(simulated.code, kNewVersion, place->bootLoaderSize));
}

INSTANTIATE_TEST_SUITE_P(EveryProcedure, PtyBootUpdateTest,
                         ::testing::Values(Case{"heron", 30, false}, Case{"small-alder", 24, false},
                                           Case{"small-alder", 25, false},
                                           Case{"vantix+", 30, true}),
                         [](const auto& info) {
                             std::string name = std::string(info.param.model) + "_v" +
                                                std::to_string(info.param.firmware);
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
}  // namespace tarmix
