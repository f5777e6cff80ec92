// "New program": a ROM image goes to the device as Application.exe behind its header frame.
#include "ffs/new_program.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "lang/catalog.h"
#include "platform/stop_request.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "support/recording_view.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using testing::RecordingView;

// An S3 record of `count` bytes of the value `fill` at `address` (checksum not needed).
std::string s3(uint32_t address, size_t count, uint8_t fill) {
    char head[16];
    std::snprintf(head, sizeof head, "S3%02X%08X", unsigned(count + 5), address);
    std::string line = head;
    for (size_t i = 0; i < count; ++i) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02X", fill);
        line += digits;
    }
    return line + "00\r\n";
}

class NewProgram : public ::testing::Test {
  protected:
    NewProgram()
        : folder(fs::temp_directory_path() / ("tarmix_newprog_" + std::to_string(getpid()))),
          controller(*sim::findModel("alder"), clock),
          serial([this] { return std::make_unique<sim::InProcessPort>(controller, clock); }, clock),
          monitor(serial) {
        setLanguageIndex(kEnglishLanguage);
        fs::create_directories(folder);
        std::string error;
        EXPECT_TRUE(controller.loadState(folder / "device", error)) << error;
        serial.Open("COM1");
        serial.Configure(57600);
        device.driveSizes = {1024, 64, 256};
    }
    ~NewProgram() override { fs::remove_all(folder); }

    std::string rom(const std::string& records) {
        const fs::path path = folder / "app.rom";
        std::ofstream(path, std::ios::binary) << "S00600004844521B\r\n" << records;
        return path.string();
    }
    int send(const std::string& romPath) {
        TransferContext context{monitor, view, device, ask, {}};
        return DownloadProgram(context, romPath, "A:\\");
    }
    std::string deviceFile() {
        std::ifstream in(folder / "device" / "drives" / "A" / kApplicationFile, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path folder;
    VirtualClock clock;
    sim::Controller controller;
    CSerial serial;
    MonitorExchange monitor;
    RecordingView view;
    DeviceDescription device;
    bool ask = false;
};

TEST_F(NewProgram, HeaderFrameThenTheImageInFramesOf512) {
    // 0x1000..0x1200 is 513 bytes with a gap of zeros between the records.
    ASSERT_EQ(send(rom(s3(0x1000, 16, 0xAA) + s3(0x1200, 1, 0x55))), 0)
        << (view.messages.empty() ? "" : view.messages.back().text);
    // Lowest address 0x1000, 513 bytes, their sum 0x0AF5.
    std::string expected("\x00\x00\x10\x00\x00\x00\x02\x01\x00\x00\x0A\xF5", 12);
    expected += std::string(16, char(0xAA)) + std::string(496, '\0') + "\x55";
    EXPECT_EQ(deviceFile(), expected);  // the device keeps every frame it took
    EXPECT_EQ(view.statuses.back(),
              "Copied " + (folder / "app.rom").string() + " to <A:\\Application.exe> (525 bytes)");
    ASSERT_FALSE(view.transfers.empty());
    EXPECT_EQ(view.transfers.back(), (std::pair<uint64_t, uint64_t>{525, 525}));
}

// A stop between two frames ends the load there, and says that the device file is cut.
TEST_F(NewProgram, AStopBetweenFramesEndsTheLoad) {
    struct StopsAtSecondFrame : RecordingView {
        void setProgress(int position) override {
            RecordingView::setProgress(position);
            if (position == 2) RequestStop(StopCause::Operator);
        }
    } stopping;
    TransferContext context{monitor, stopping, device, ask, {}};
    const int result =
        DownloadProgram(context, rom(s3(0x1000, 16, 0xAA) + s3(0x1800, 1, 0x55)), "A:\\");
    ResetStopRequest();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(stopping.statuses.back(),
              "Stopped: the device file <A:\\Application.exe> is incomplete.");
    ASSERT_EQ(stopping.messages.size(), 1u);
    EXPECT_EQ(stopping.messages[0].icon, MessageIcon::Warning);
    EXPECT_LT(deviceFile().size(), 12u + 2049);
    EXPECT_TRUE(monitor.Answers());
}

// An image larger than the drive's free room is refused before the old application file is
// touched: a device left with half a program may not start it.
TEST_F(NewProgram, AnImageTheDriveCannotHoldLeavesTheOldProgram) {
    const fs::path program = folder / "device" / "drives" / "A" / kApplicationFile;
    fs::create_directories(program.parent_path());
    std::ofstream(program, std::ios::binary) << "the old program";
    EXPECT_EQ(send(rom(s3(0, 1, 1) + s3(0x1FFFFF, 1, 1))), 1);  // 2 MiB on a drive of 1 MiB
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_NE(view.messages[0].text.find("does not fit"), std::string::npos)
        << view.messages[0].text;
    EXPECT_EQ(deviceFile(), "the old program");
}

TEST_F(NewProgram, ImagesThatCannotBeSentAreRefusedBeforeTheDeviceHearsOfThem) {
    struct Case {
        const char* what;
        std::string records;
        std::string message;
    };
    const Case cases[] = {
        {"no data", "S9030000FC\r\n", "app.rom\n\nThe file holds no S2 or S3 data records."},
        // Exactly 8 MiB fit; one byte more does not.
        {"too large", s3(0, 1, 1) + s3(8 * 1024 * 1024, 1, 1), "Storage area is too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        view.messages.clear();
        EXPECT_EQ(send(rom(c.records)), 1);
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].text, c.message);
        EXPECT_EQ(view.messages[0].caption, "Program - download");
    }
    EXPECT_FALSE(fs::exists(folder / "device" / "drives" / "A" / kApplicationFile));
    ProgramImage image;
    EXPECT_EQ(BuildProgramImage(rom(s3(0, 1, 7) + s3(8 * 1024 * 1024 - 1, 1, 9)), image), 0);
    EXPECT_EQ(image.bytes.size(), 8 * 1024 * 1024u);
    EXPECT_EQ(image.bytes.back(), 9);
}

}  // namespace
}  // namespace tarmix
