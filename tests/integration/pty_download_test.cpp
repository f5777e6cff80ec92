// A whole application download over a real pseudo-terminal, at a raised baud rate, checked
// against what the simulated controller saved of its flash.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "app/cli/simulator_launcher.h"
#include "config/capability.h"
#include "flash/download.h"
#include "link/identify.h"
#include "platform/termios_port.h"
#include "sim/image_maker.h"
#include "support/ask.h"
#include "support/recording_view.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Variant {
    const char* model;
    uint32_t imageStart;
    uint32_t flashAddress;  // where the image ends up in flash
    bool parallel = false;  // commands and blocks go out through the LPT pipe
};

// Counts the bytes the PC puts on the serial line.
struct SerialBytes final : WireObserver {
    void onSent(Millis, const uint8_t*, size_t count) override { sent += count; }
    void onReceived(Millis, const uint8_t*, size_t) override {}
    size_t sent = 0;
};

class PtyDownloadTest : public ::testing::TestWithParam<Variant> {
  protected:
    void SetUp() override {
        // Other runs of the suite may share the temporary folder: the process id keeps apart.
        folder = fs::path(::testing::TempDir()) /
                 ("pty-download-" + std::string(GetParam().model) + "-" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder / "state");
    }
    void TearDown() override { fs::remove_all(folder); }

    // Every byte memory.srec holds, by address.
    std::map<uint32_t, uint8_t> savedFlash() {
        std::map<uint32_t, uint8_t> bytes;
        AssembleBlocks((folder / "state" / "memory.srec").string(), 0, kSerialBlockLimit, false,
                       [&](uint32_t base, std::span<const uint8_t> block) {
                           for (size_t i = 0; i < block.size(); ++i) bytes[base + i] = block[i];
                           return 0;
                       });
        return bytes;
    }

    fs::path folder;
};

TEST_P(PtyDownloadTest, ImageLandsInFlashAtTheRaisedRate) {
    const Variant variant = GetParam();
    const std::string image = (folder / "app.rom").string();
    const uint32_t size = 9 * 1024 + 3;
    std::string error;
    ASSERT_EQ(sim::MakeRomImage(image, variant.imageStart, size, {}, error), 0) << error;

    SimulatorLauncher simulator;
    simulator.setExecutable(TARMIX_SIM_PATH);
    const std::string pipe = (folder / "lpt").string();
    std::vector<std::string> arguments{"--state", (folder / "state").string()};
    if (variant.parallel) arguments.insert(arguments.end(), {"--lpt", pipe});
    ASSERT_TRUE(simulator.start(variant.model, arguments, error)) << error;
    PortMap map;
    map.setCom(0, {simulator.devicePath(), false});
    map.setLpt(pipe);
    CSerial serial(termiosPortFactory(map), systemClock());
    ASSERT_EQ(serial.Open("COM1"), 0);
    ASSERT_EQ(serial.Configure(CSerial::kLinkBaud), 0);
    SerialBytes serialBytes;
    serial.setObserver(&serialBytes);
    MonitorExchange monitor(serial);
    DeviceDescription device;
    identifyModel(testing::Ask(monitor, "please answer me"), device, "");
    applyVersion(device, parseVersionAnswer(testing::Ask(monitor, "tell version")));
    applyDrives(device, parseDrivesAnswer(testing::Ask(monitor, "tell drives")));
    device.deviceIdentified = true;

    testing::RecordingView view;
    CParallel parallel(map);
    DownloadFigures figures;
    DownloadOptions options;
    options.baudRate = 115200;
    options.parallelTransfer = variant.parallel;
    if (variant.parallel) {
        ASSERT_EQ(parallel.Open("LPT1"), 0);
    }
    ApplicationDownload download(
        {monitor, parallel, view, device, options, figures, ClearEepromDataLength});
    ASSERT_EQ(download.DownloadApplication(image), 0)
        << (view.messages.empty() ? "" : view.messages.front().text);

    // Over the parallel port the image does not cross the serial line at all.
    if (variant.parallel) {
        EXPECT_LT(serialBytes.sent, size / 4);
    }
    // Back at 57600: the monitor still answers.
    std::string answer;
    EXPECT_TRUE(monitor.SendAndWaitPrompt("tell version", answer, 1999, Wait::Scaled(500ms)).ok());
    serial.Close();
    simulator.stop();

    const std::vector<uint8_t> expected = sim::MakeImageBytes(variant.imageStart, size, {});
    const std::map<uint32_t, uint8_t> flash = savedFlash();
    size_t wrong = 0;
    for (uint32_t i = 0; i < size; ++i) {
        auto byte = flash.find(variant.flashAddress + i);
        if (byte == flash.end() || byte->second != expected[i]) ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryPath, PtyDownloadTest,
                         ::testing::Values(Variant{"alder", 0x110000, 0x110000},
                                           Variant{"vantix", 0x80000000, 0x100000},
                                           Variant{"kestrel", 0x110000, 0x110000, true}),
                         [](const auto& info) { return std::string(info.param.model); });

}  // namespace
}  // namespace tarmix
