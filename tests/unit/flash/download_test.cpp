#include "flash/download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "config/capability.h"
#include "flash/srec_writer.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/identify.h"
#include "sim/controller.h"
#include "sim/image_maker.h"
#include "sim/in_process_port.h"
#include "support/ask.h"
#include "support/changing_line.h"
#include "support/forwarding_port.h"
#include "support/recording_view.h"
#include "support/sent_lines.h"
#include "unit/link/scripted_port.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;
using testing::RecordingView;
using testing::SentLines;

// A pattern with one "%08x" filled.
std::string withHex(const char* pattern, uint32_t value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

class DownloadTest : public ::testing::Test {
  protected:
    void connect(const std::string& keyword) {
        controller = std::make_unique<sim::Controller>(*sim::findModel(keyword), clock);
        serial = std::make_unique<CSerial>(
            [this] {
                return std::make_unique<testing::ChangingLine>(
                    std::make_unique<sim::InProcessPort>(*controller, clock), change);
            },
            clock);
        serial->Open("COM1");
        serial->Configure(57600);
        serial->setObserver(&sent);
        monitor = std::make_unique<MonitorExchange>(*serial);
        device = DeviceDescription{};
        identifyModel(testing::Ask(*monitor, "please answer me"), device, "");
        applyVersion(device, parseVersionAnswer(testing::Ask(*monitor, "tell version")));
        applyDrives(device, parseDrivesAnswer(testing::Ask(*monitor, "tell drives")));
        device.deviceIdentified = true;
        sent.lines.clear();
    }
    std::string image(const std::string& name, uint32_t start, uint32_t size,
                      sim::ImageOptions options = {}) {
        const std::string path = (folder / name).string();
        std::string error;
        EXPECT_EQ(sim::MakeRomImage(path, start, size, options, error), 0) << error;
        return path;
    }
    int download(const std::string& path) {
        ApplicationDownload run(
            {*monitor, parallel, view, device, options, figures, resetSettings});
        return run.DownloadApplication(path);
    }
    void SetUp() override { std::filesystem::create_directories(folder); }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::filesystem::path folder =
        std::filesystem::path(::testing::TempDir()) /
        ("download-" +
         std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    VirtualClock clock;
    std::unique_ptr<sim::Controller> controller;
    std::unique_ptr<CSerial> serial;
    std::unique_ptr<MonitorExchange> monitor;
    CParallel parallel{PortMap{}};
    SentLines sent;
    RecordingView view;
    DeviceDescription device;
    DownloadOptions options;
    DownloadFigures figures;
    SettingsReset resetSettings = ClearEepromDataLength;  // as the window does by default
    testing::LineChange change;                           // none until a test sets one
};

TEST_F(DownloadTest, DirectDownloadErasesBurnsAndThenComparesEqual) {
    connect("alder");
    options.baudRate = 115200;
    const std::string path = image("app.rom", 0x110000, 10000);
    ASSERT_EQ(download(path), 0) << (view.messages.empty() ? "" : view.messages[0].text);
    EXPECT_TRUE(figures.applicationLoaded);
    EXPECT_EQ(figures.applicationStart, 0x110000u);
    EXPECT_TRUE(sent.any("setbaudrate 115200"));
    EXPECT_TRUE(sent.any("flash 32 erase application a0110000 a011270f"));
    EXPECT_TRUE(sent.any("burn 00110000 00000fa0 "));
    // The EEPROM data length is 0 already: the record is read, not written.
    EXPECT_TRUE(sent.any("tell caps"));
    EXPECT_FALSE(sent.any("init caps"));
    EXPECT_EQ(sent.lines.back(), "setbaudrate 57600");
    EXPECT_EQ(view.progress.back(), 1000);

    options.compare = true;
    sent.lines.clear();
    EXPECT_EQ(download(path), 0);
    EXPECT_FALSE(sent.any("flash"));
    EXPECT_TRUE(sent.any("verify 00110000"));
    EXPECT_FALSE(sent.any("burn"));
}

TEST_F(DownloadTest, CompareOfAnotherImageFails) {
    connect("alder");
    ASSERT_EQ(download(image("one.rom", 0x110000, 5000)), 0);
    options.compare = true;
    sim::ImageOptions other;
    other.seed = 7;
    EXPECT_EQ(download(image("two.rom", 0x110000, 5000, other)), 1);
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages.back().text, LoadText(text::kCompareError));
}

TEST_F(DownloadTest, BurnWithoutEraseShowsUpAsAWrongCompare) {
    // Flash takes the AND of old and new: a second burn over unerased flash is caught by
    // the compare, not taken for the new data.
    connect("alder");
    resetSettings = nullptr;
    const std::vector<uint8_t> first{0x0f, 0xf0, 0x55, 0xaa};
    const std::vector<uint8_t> second{0xf0, 0x0f, 0xaa, 0x55};
    ApplicationDownload burn({*monitor, parallel, view, device, options, figures, resetSettings});
    EXPECT_EQ(burn.SendBlock(0x120000, first), 0);
    burn.SendBlock(0x120000, second);
    options.compare = true;
    ApplicationDownload verify({*monitor, parallel, view, device, options, figures, resetSettings});
    EXPECT_EQ(verify.SendBlock(0x120000, second), 1);
}

TEST_F(DownloadTest, StagedVariantGoesThroughRamAndProgramsTheWholeImage) {
    connect("vantix");
    const std::string path = image("app.rom", 0x80000000, 9001);
    ASSERT_EQ(download(path), 0) << (view.messages.empty() ? "" : view.messages[0].text);
    EXPECT_TRUE(sent.any("flash erase application 00100000 00102328"));
    EXPECT_TRUE(sent.any("flash program 00100000 80000000 00002329"));
    options.compare = true;
    sent.lines.clear();
    EXPECT_EQ(download(path), 0);
    EXPECT_FALSE(sent.any("flash program"));
}

TEST_F(DownloadTest, RamOnlyImageIsNotProgrammedButTheNextImageIs) {
    connect("vantix");
    sim::ImageOptions ramOnly;
    ramOnly.ramOnly = true;
    ASSERT_EQ(download(image("ram.rom", 0x80000000, 4096, ramOnly)), 0);
    EXPECT_FALSE(sent.any("flash program"));
    ASSERT_EQ(download(image("flash.rom", 0x80000000, 4096)), 0);
    EXPECT_TRUE(sent.any("flash program"));
}

TEST_F(DownloadTest, ImageForOtherHardwareIsRefusedBeforeAnyFlashCommand) {
    connect("alder");
    EXPECT_EQ(download(image("wrong.rom", 0x20000, 2000)), 1);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].caption, LoadText(text::kWarning));
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Warning);
    EXPECT_FALSE(sent.any("flash"));
    EXPECT_FALSE(sent.any("burn"));
    EXPECT_FALSE(sent.any("dump"));
}

TEST_F(DownloadTest, DamagedOrMissingFileSendsNoFlashCommand) {
    connect("alder");
    const std::string path = image("app.rom", 0x110000, 2000);
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    // A record whose byte count promises more data than its line holds.
    text.insert(text.find("\nS3") + 1, "S325001101000102\r\n");
    std::ofstream(path, std::ios::trunc) << text;
    EXPECT_EQ(download(path), 1);
    EXPECT_EQ(download((folder / "missing.rom").string()), 1);
    EXPECT_FALSE(sent.any("flash"));
    EXPECT_FALSE(sent.any("burn"));
    ASSERT_FALSE(view.messages.empty());
    EXPECT_NE(view.messages.back().text.find("missing.rom\""), std::string::npos);
}

// Each damaged image, downloaded over a good one, is refused before anything goes on the
// wire: the application in flash is the one that was there.
TEST_F(DownloadTest, DamagedImagesLeaveTheWireSilentAndTheFlashAsItWas) {
    connect("alder");
    const std::string path = image("app.rom", 0x110000, 2000);
    ASSERT_EQ(download(path), 0);
    const std::vector<uint8_t> before = controller->memory().read(0x110000, 2000);
    std::ifstream in(path, std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), {});
    const size_t line5 = good.find("\nS3", good.find("\nS3", good.find("\nS3") + 1) + 1) + 1;
    const size_t end = good.find("\nS7") + 1;
    std::string other;
    FormatRecord(other, '3', 0x110020,
                 std::vector<uint8_t>{uint8_t(~before[0x20]), 1, 2, 3});  // other than the image
    const auto changed = [&](size_t at, char c) {
        std::string text = good;
        text[at] = c;
        return text;
    };
    const auto inserted = [&](size_t at, const std::string& line) {
        return good.substr(0, at) + line + "\r\n" + good.substr(at);
    };
    std::string wrap;
    FormatRecord(wrap, '3', 0xFFFFFFF8, std::vector<uint8_t>(16, 0));
    // Each with the reason its message gives.
    const std::pair<const char*, std::string> cases[] = {
        {"line 4: the checksum is wrong", changed(line5 + 77, good[line5 + 77] == '0' ? '1' : '0')},
        {"line 4: not an S-record (a character", changed(line5 + 20, 'x')},
        {"line 4: the byte count does not match", changed(line5 + 2, '1')},
        {"line 4: not an S-record (a character", changed(line5 + 30, '\0')},
        {"runs past the end of the address space", inserted(end, wrap)},
        {"overlaps line 3 with other data", inserted(end, other)},
        {"the file ends without an end record", good.substr(0, end)},
        {"line 4: the byte count does not match", good.substr(0, line5 + 40)},
    };
    setLanguageIndex(kEnglishLanguage);
    for (const auto& [reason, text] : cases) {
        SCOPED_TRACE(reason);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
        sent.lines.clear();
        view.messages.clear();
        EXPECT_EQ(download(path), 1);
        EXPECT_TRUE(sent.lines.empty()) << sent.lines.front();
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_NE(view.messages[0].text.find("\"app.rom\""), std::string::npos);
        EXPECT_NE(view.messages[0].text.find(reason), std::string::npos) << view.messages[0].text;
        EXPECT_EQ(controller->memory().read(0x110000, 2000), before);
    }
}

// An image whose application starts 0x100 bytes into its first sector, downloaded twice:
// where an erase runs, the second run must send the whole image again, because the erase
// takes whole sectors. Where nothing is erased, the part below the start is skipped.
TEST_F(DownloadTest, SecondDownloadOfTheSameVersionLeavesTheWholeImageInFlash) {
    struct Case {
        const char* model;
        uint32_t loadAt;
        uint32_t flashAt;  // where the image ends up in flash
        bool skipsSecondTime;
    };
    const Case cases[] = {
        {"alder", 0x110000, 0x110000, false},
        {"core510", 0x10000, 0x10000, false},
        {"vantix", 0x80000000, 0x100000, false},  // staged: RAM, then erase and program
        {"fgh720", 0x10000, 0x10000, true},       // "burn" erases what it writes over
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        connect(c.model);
        sim::ImageOptions versioned;
        versioned.header = sim::HeaderKind::kInf2;
        versioned.skipOffset = 0x100;
        versioned.version = 0x00020003;
        const uint32_t size = 0x3000;
        const std::string path = image("v2.rom", c.loadAt, size, versioned);
        const std::vector<uint8_t> bytes = sim::MakeImageBytes(c.loadAt, size, versioned);
        for (int run = 1; run <= 2; ++run) {
            SCOPED_TRACE(run);
            sent.lines.clear();
            ASSERT_EQ(download(path), 0) << (view.messages.empty() ? "" : view.messages[0].text);
            EXPECT_EQ(controller->memory().read(c.flashAt, size), bytes);
            const bool skipped = run == 2 && c.skipsSecondTime;
            EXPECT_EQ(figures.downloadStart, c.loadAt + (skipped ? 0x100 : 0));
            EXPECT_EQ(sent.any(withHex("burn %08x ", c.loadAt)), !skipped);
        }
    }
}

TEST_F(DownloadTest, EraseOfNoSectorIsASuccess) {
    // Some monitors answer a range inside sectors that are already erased with no sector.
    VirtualClock scriptedClock;
    testing::ScriptedPort* port = nullptr;
    CSerial scripted(
        [&] {
            auto made = std::make_unique<testing::ScriptedPort>(scriptedClock);
            port = made.get();
            return made;
        },
        scriptedClock);
    scripted.Open("COM1");
    port->onWrite = [&](const std::string& line) {
        port->arrive(line.substr(0, line.size() - 1) + "\r\n");
        port->arrive("Sectors(  0):", 5ms);
        port->arrive("\r\nerase done\r\nBoot> ", 10ms);
    };
    MonitorExchange link(scripted);
    device.hardwareModel = 5;
    device.firmwareVersion = 30;
    ApplicationDownload run({link, parallel, view, device, options, figures, resetSettings});
    EXPECT_EQ(run.EraseApplicationArea(0x10000, 0x100ff), 0);
    EXPECT_EQ(port->written, "flash erase application 00010000 000100ff\r");
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.statuses.back(), LoadText(text::kFlashWasErased));
}

TEST_F(DownloadTest, UnreadDriveSizesRefuseBankAButNotTheRam) {
    connect("alder");
    device.driveSizesUnread = true;
    EXPECT_EQ(download(image("app.rom", 0x110000, 2000)), 1);
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages.back().text, LoadText(text::kDriveSizesUnread));
    EXPECT_FALSE(sent.any("flash"));
    EXPECT_FALSE(sent.any("burn"));
    // The RAM holds no file system: an image for it goes in.
    EXPECT_EQ(download(image("ram.rom", 0x800000, 2000)), 0);
}

TEST_F(DownloadTest, EraseThatStopsMidSectorTimesOut) {
    connect("alder");
    controller->setSectorTime(6000ms);
    EXPECT_EQ(download(image("app.rom", 0x110000, 2000)), 1);
    EXPECT_NE(std::find(view.statuses.begin(), view.statuses.end(), LoadText(text::kEraseTimeout)),
              view.statuses.end());
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(view.messages.back().text, LoadText(text::kFlashEraseError));
    EXPECT_FALSE(sent.any("burn"));
}

TEST_F(DownloadTest, TooLargeForTheBankSaysWhatIsAvailable) {
    connect("alder");
    EXPECT_EQ(download(image("big.rom", 0x110000, 0x200000)), 1);
    ASSERT_FALSE(view.messages.empty());
    EXPECT_NE(view.messages.back().text.find("[0x00110000..0x002BFFFF]"), std::string::npos);
    EXPECT_FALSE(sent.any("flash"));  // the old application stays
    EXPECT_FALSE(sent.any("burn"));
}

TEST_F(DownloadTest, OddBlockIsPaddedAndTheChecksumCoversThePad) {
    connect("core510");
    resetSettings = nullptr;
    ApplicationDownload run({*monitor, parallel, view, device, options, figures, resetSettings});
    const std::vector<uint8_t> bytes{1, 2, 3, 4};
    run.SendBlock(0x1000, bytes);
    EXPECT_EQ(sent.lines.back(), "burn 00001000 00000004 fffffff5");
    const std::vector<uint8_t> odd{1, 2, 3, 4, 5};
    run.SendBlock(0x10000, odd);
    EXPECT_EQ(sent.lines.back(), "burn 00010000 00000006 fffffef1");  // ~(15 + 0xff)
}

TEST_F(DownloadTest, KeepSettingsLeavesTheCapabilityRecordAlone) {
    connect("heron");
    resetSettings = nullptr;
    ASSERT_EQ(download(image("app.rom", 0x110000, 1000)), 0);
    EXPECT_FALSE(sent.any("tell caps"));
    EXPECT_FALSE(sent.any("init caps"));
}

// The EEPROM data length is cleared from readings of the record that agree: one changed
// reading leaves the other values as they were; when no two agree the run fails and says
// why, with nothing written back.
TEST_F(DownloadTest, TheRecordIsClearedOnlyFromAgreeingReadings) {
    setLanguageIndex(kEnglishLanguage);
    for (const auto& [times, result] :
         {std::pair{std::set<int>{1}, 0}, std::pair{std::set<int>{1, 2, 3, 4}, 1}}) {
        SCOPED_TRACE(times.size());
        connect("alder");
        std::string answer;
        monitor->SendAndWaitPrompt("init caps 1 0400 2000 0 0", answer, 1999, Wait::Scaled(500ms));
        sent.lines.clear();
        change = {"tell caps", times, "0400 "};
        EXPECT_EQ(download(image("app.rom", 0x110000, 1000)), result);
        EXPECT_EQ(controller->caps(), (std::vector<int>{1, result ? 0x400 : 0, 0x2000, 0, 0}));
        EXPECT_EQ(sent.any("init caps"), result == 0);
        if (result) {
            ASSERT_FALSE(view.messages.empty());
            EXPECT_NE(view.messages.back().text.find("capability record"), std::string::npos);
        }
    }
}

TEST_F(DownloadTest, NoControllerNoCommand) {
    connect("alder");
    device.deviceIdentified = false;
    EXPECT_EQ(download(image("app.rom", 0x110000, 1000)), 1);
    EXPECT_TRUE(sent.lines.empty());
}

namespace verify_after_write {

// A line that changes the first block of data it carries in two bytes whose changes cancel
// in the block's checksum: the monitor takes the block, only a compare can tell.
class CancellingFlips final : public testing::ForwardingPort {
  public:
    using ForwardingPort::ForwardingPort;
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        std::vector<uint8_t> bytes(data, data + count);
        if (!flipped_ && count >= 64 && bytes[count - 1] != '\r') {
            const auto up =
                std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b < 0xff; });
            const auto down = std::find_if(up + 1, bytes.end(), [](uint8_t b) { return b > 0; });
            ++*up;
            --*down;
            flipped_ = true;
        }
        return ForwardingPort::write(bytes.data(), count, timeout);
    }

  private:
    bool flipped_ = false;
};

}  // namespace verify_after_write

TEST_F(DownloadTest, VerifyAfterWriteComparesEachBlockWhereTheImageNowLies) {
    struct Case {
        const char* model;
        uint32_t imageStart;
        const char* firstCompare;
    };
    for (const Case& c : {Case{"alder", 0x110000, "verify 00110000 00000fa0 "},
                          Case{"vantix", 0x80000000, "verify 00100000 00000fa0 "}}) {
        SCOPED_TRACE(c.model);
        connect(c.model);
        options.verifyAfterWrite = true;
        ASSERT_EQ(download(image("app.rom", c.imageStart, 9001)), 0)
            << (view.messages.empty() ? "" : view.messages[0].text);
        EXPECT_TRUE(sent.any(c.firstCompare));
        EXPECT_NE(std::find(view.statuses.begin(), view.statuses.end(), LoadText(text::kVerified)),
                  view.statuses.end());
        EXPECT_TRUE(figures.applicationLoaded);
    }
}

TEST_F(DownloadTest, VerifyAfterWriteCatchesWhatTheBlockChecksumCannot) {
    controller = std::make_unique<sim::Controller>(*sim::findModel("alder"), clock);
    for (const bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        serial = std::make_unique<CSerial>(
            [this] {
                return std::make_unique<verify_after_write::CancellingFlips>(
                    std::make_unique<sim::InProcessPort>(*controller, clock));
            },
            clock);
        serial->Open("COM1");
        serial->Configure(57600);
        monitor = std::make_unique<MonitorExchange>(*serial);
        identifyModel(testing::Ask(*monitor, "please answer me"), device, "");
        applyVersion(device, parseVersionAnswer(testing::Ask(*monitor, "tell version")));
        device.deviceIdentified = true;
        options.verifyAfterWrite = verify;
        view.messages.clear();
        // Without the compare the run reports success over wrong flash; with it, the
        // first block is named.
        EXPECT_EQ(download(image("app.rom", 0x110000, 9001)), verify ? 1 : 0);
        if (verify) {
            ASSERT_EQ(view.messages.size(), 1u);
            EXPECT_EQ(view.messages[0].text, FormatText(text::kVerifyErrorAt, 0x110000u));
            EXPECT_FALSE(figures.applicationLoaded);
        }
    }
}

TEST_F(DownloadTest, ErasedBlocksAreSkippedOnlyAfterTheDirectVariantsErase) {
    struct Case {
        const char* model;
        uint32_t loadAt;
        uint32_t flashAt;
        bool skipsErased;
    };
    const Case cases[] = {
        {"alder", 0x110000, 0x110000, true},
        {"vantix", 0x80000000, 0x100000, false},  // staged: the RAM holds anything
        {"fgh720", 0x10000, 0x10000, false},      // no erase: the old bytes would stay
    };
    // The second half of the image is 0xFF, on a block boundary for every block size.
    constexpr uint32_t kSize = 64000;
    constexpr uint32_t kErasedFrom = 32000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        connect(c.model);
        ASSERT_EQ(download(image("old.rom", c.loadAt, kSize)), 0);  // flash full of other data
        std::vector<uint8_t> bytes = sim::MakeImageBytes(c.loadAt, kSize, {.seed = 7});
        std::fill(bytes.begin() + kErasedFrom, bytes.end(), 0xFF);
        const std::string path = (folder / "half.rom").string();
        std::string error;
        ASSERT_EQ(sim::WriteRomImage(path, c.loadAt, bytes, {}, error), 0) << error;

        sent.lines.clear();
        options.verifyAfterWrite = true;
        ASSERT_EQ(download(path), 0) << (view.messages.empty() ? "" : view.messages[0].text);
        options.verifyAfterWrite = false;
        EXPECT_EQ(controller->memory().read(c.flashAt, kSize), bytes);
        EXPECT_EQ(sent.any(withHex("burn %08x ", c.loadAt + kErasedFrom)), !c.skipsErased);
        EXPECT_TRUE(sent.any(withHex("verify %08x ", c.flashAt + kErasedFrom)));
        EXPECT_EQ(view.progress.back(), 1000);

        options.compare = true;
        sent.lines.clear();
        EXPECT_EQ(download(path), 0);
        EXPECT_TRUE(sent.any(withHex("verify %08x ", c.loadAt + kErasedFrom)));
        options.compare = false;
    }
}

}  // namespace
}  // namespace tarmix
