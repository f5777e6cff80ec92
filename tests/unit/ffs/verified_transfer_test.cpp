// File copies with read-back: two bytes changed in one frame so that their changes cancel in
// the frame's checksum pass the transfer itself; only the read-back can tell.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "ffs/file_transfer.h"
#include "lang/catalog.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "support/cancelling_flips.h"
#include "support/file_contents.h"
#include "support/recording_view.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using testing::CancellingFlips;
using testing::readFile;
using testing::RecordingView;
using testing::writeFile;

class VerifiedTransfer : public ::testing::Test {
  protected:
    VerifiedTransfer() : controller(*sim::findModel("alder"), clock) {
        setLanguageIndex(kEnglishLanguage);
        folder = fs::temp_directory_path() / ("tarmix_verified_" + std::to_string(getpid()));
        fs::remove_all(folder);
        fs::create_directories(folder / "device" / "drives" / "A");
        std::string error;
        EXPECT_TRUE(controller.loadState(folder / "device", error)) << error;
        device.driveSizes = {1024, 64, 256};
    }
    ~VerifiedTransfer() override { fs::remove_all(folder); }

    // A link whose first frame towards the device (or towards the PC) is changed.
    void connect(bool towardsDevice) {
        flipped = false;
        serial = std::make_unique<CSerial>(
            [this, towardsDevice] {
                return std::make_unique<CancellingFlips>(
                    std::make_unique<sim::InProcessPort>(controller, clock), towardsDevice, 0x40,
                    flipped);
            },
            clock);
        serial->Open("COM1");
        serial->Configure(57600);
        monitor = std::make_unique<MonitorExchange>(*serial);
    }
    FileTransfer transfer(bool verify) {
        return FileTransfer({*monitor, view, device, ask, {}, verify});
    }
    fs::path deviceFile() { return folder / "device" / "drives" / "A" / "F.BIN"; }

    const std::string contents = std::string(1500, '\x40');
    fs::path folder;
    VirtualClock clock;
    sim::Controller controller;
    std::unique_ptr<CSerial> serial;
    std::unique_ptr<MonitorExchange> monitor;
    RecordingView view;
    DeviceDescription device;
    bool ask = false;
    bool flipped = false;
};

TEST_F(VerifiedTransfer, ADownloadThatReadsBackWrongIsAFailure) {
    writeFile(folder / "out.bin", contents);
    const std::string pc = (folder / "out.bin").string();
    for (const bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        connect(true);
        const TransferResult result = transfer(verify).Download(pc, "A:\\", "F.BIN");
        // The frame checksum lets the changed bytes through: only the read-back sees them.
        EXPECT_NE(readFile(deviceFile()), contents);
        EXPECT_EQ(result, verify ? TransferResult::DeviceFailed : TransferResult::Copied);
    }
    EXPECT_NE(view.messages.back().text.find("Verify failed"), std::string::npos);
    EXPECT_EQ(readFile(folder / "out.bin"), contents);
}

TEST_F(VerifiedTransfer, AnUploadWhoseTwoReadsDifferLeavesThePcFileAsItWas) {
    writeFile(deviceFile(), contents);
    const std::string pc = (folder / "in.bin").string();
    writeFile(pc, "the older copy");
    connect(false);
    FileTransfer files = transfer(true);
    EXPECT_EQ(files.Upload(pc, "A:\\F.BIN"), TransferResult::DeviceFailed);
    EXPECT_EQ(readFile(pc), "the older copy");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);

    // On a clean line both reads agree and the file arrives whole.
    EXPECT_EQ(files.Upload(pc, "A:\\F.BIN"), TransferResult::Copied);
    EXPECT_EQ(readFile(pc), contents);
    EXPECT_TRUE(view.statuses.back().ends_with(" (1500 bytes), Verified")) << view.statuses.back();
}

}  // namespace
}  // namespace tarmix
