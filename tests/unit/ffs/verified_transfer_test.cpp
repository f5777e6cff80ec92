// File copies with read-back: two bytes changed in one frame so that their changes cancel in
// the frame's checksum pass the transfer itself; only the read-back can tell.
#include "ffs/verified_transfer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "lang/catalog.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "support/recording_view.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using testing::RecordingView;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The file's bytes are all 0x40: the first run of them in the chosen direction gets one
// byte up and the next one down.
class CancellingFlips final : public PortBackend {
  public:
    CancellingFlips(std::unique_ptr<PortBackend> inner, bool towardsDevice)
        : inner_(std::move(inner)), towardsDevice_(towardsDevice) {}
    bool open(const std::string& name) override { return inner_->open(name); }
    void close() override { inner_->close(); }
    bool isOpen() const override { return inner_->isOpen(); }
    bool configure(uint32_t baud) override { return inner_->configure(baud); }
    long bytesWaiting() override { return inner_->bytesWaiting(); }
    void waitForInput(Millis timeout) override { inner_->waitForInput(timeout); }
    long read(uint8_t* data, size_t capacity) override {
        const long n = inner_->read(data, capacity);
        if (!towardsDevice_ && n > 0) flip(data, size_t(n));
        return n;
    }
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        std::vector<uint8_t> bytes(data, data + count);
        if (towardsDevice_) flip(bytes.data(), count);
        return inner_->write(bytes.data(), count, timeout);
    }

  private:
    void flip(uint8_t* data, size_t count) {
        static constexpr uint8_t kRun[] = {0x40, 0x40, 0x40, 0x40, 0x40, 0x40};
        uint8_t* at = std::search(data, data + count, std::begin(kRun), std::end(kRun));
        if (flipped_ || at == data + count) return;
        ++at[0];
        --at[1];
        flipped_ = true;
    }

    std::unique_ptr<PortBackend> inner_;
    bool towardsDevice_;
    bool flipped_ = false;
};

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
        serial = std::make_unique<CSerial>(
            [this, towardsDevice] {
                return std::make_unique<CancellingFlips>(
                    std::make_unique<sim::InProcessPort>(controller, clock), towardsDevice);
            },
            clock);
        serial->Open("COM1");
        serial->Configure(57600);
        monitor = std::make_unique<MonitorExchange>(*serial);
    }
    FileTransfer transfer() { return FileTransfer({*monitor, view, device, ask, {}}); }
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
};

TEST_F(VerifiedTransfer, ADownloadThatReadsBackWrongIsAFailure) {
    writeFile(folder / "out.bin", contents);
    const std::string pc = (folder / "out.bin").string();
    for (const bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        connect(true);
        FileTransfer files = transfer();
        const TransferResult result = verify ? DownloadVerified(files, view, pc, "A:\\", "F.BIN")
                                             : files.Download(pc, "A:\\", "F.BIN");
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
    FileTransfer files = transfer();
    EXPECT_EQ(UploadVerified(files, view, pc, "A:\\F.BIN"), TransferResult::DeviceFailed);
    EXPECT_EQ(readFile(pc), "the older copy");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);

    // On a clean line both reads agree and the file arrives whole.
    EXPECT_EQ(UploadVerified(files, view, pc, "A:\\F.BIN"), TransferResult::Copied);
    EXPECT_EQ(readFile(pc), contents);
    EXPECT_EQ(view.statuses.back(), "Verified");
}

}  // namespace
}  // namespace tarmix
