// EEPROM save and restore against an in-process simulated controller on the virtual clock.
#include "config/eeprom.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "config/eeprom_area.h"
#include "lang/catalog.h"
#include "platform/stop_request.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "support/cancelling_flips.h"
#include "support/changing_line.h"
#include "support/recording_view.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Everything the PC sends.
struct SentBytes final : WireObserver {
    void onSent(Millis, const uint8_t* data, size_t count) override {
        all.append(reinterpret_cast<const char*>(data), count);
        if (stopAfter.empty() || this->count(stopAfter) == 0) return;
        RequestStop(StopCause::Operator);
        stopAfter.clear();  // once
    }
    void onReceived(Millis, const uint8_t*, size_t) override {}
    // How often the text went out (block data never hold the commands' words).
    size_t count(const std::string& text) const {
        size_t found = 0;
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
            ++found;
        return found;
    }
    std::string all;
    std::string stopAfter;  // a stop is asked for once this has gone out
};

struct EepromBench {
    // `flipsTowardsDevice`: the line changes the first run of 0x5A bytes in that direction.
    EepromBench(const char* model, int firmware = 40,
                std::optional<bool> flipsTowardsDevice = std::nullopt)
        : controller(*sim::findModel(model), clock),
          serial(
              [this, flipsTowardsDevice]() -> std::unique_ptr<PortBackend> {
                  std::unique_ptr<PortBackend> port =
                      std::make_unique<sim::InProcessPort>(controller, clock);
                  if (flipsTowardsDevice)
                      port = std::make_unique<testing::CancellingFlips>(
                          std::move(port), *flipsTowardsDevice, 0x5A, flipped);
                  return std::make_unique<testing::ChangingLine>(std::move(port), change);
              },
              clock),
          monitor(serial),
          baud(monitor, view, 115200),
          folder(fs::temp_directory_path() /
                 ("tarmix_eeprom_" + std::to_string(reinterpret_cast<uintptr_t>(this)))) {
        setLanguageIndex(kEnglishLanguage);
        controller.setFirmware(firmware);
        fs::create_directories(folder);
        serial.Open("COM1");
        serial.Configure(57600);
        serial.setObserver(&sent);
        for (size_t i = 0; i < controller.eeprom().size(); ++i)
            controller.eeprom()[i] = uint8_t(i * 13 + (i >> 8));
    }
    ~EepromBench() { fs::remove_all(folder); }

    EepromContext context() { return {monitor, view, baud, controller.model().code, 40}; }
    std::string exchange(const std::string& command) {
        std::string answer;
        monitor.SendAndWaitPrompt(command, answer, 1999, Wait::Scaled(500ms));
        return answer;
    }
    fs::path image() const { return folder / kEepromFolderName / kEepromFileName; }
    std::string imageBytes() const {
        std::ifstream in(image(), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void writeImage(const fs::path& path, const EepromHeader& header, size_t contents,
                    uint8_t fill = 0x5A) {
        fs::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        const auto bytes = EncodeEepromHeader(header);
        out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        out << std::string(contents, char(fill));
    }

    VirtualClock clock;
    sim::Controller controller;
    CSerial serial;
    MonitorExchange monitor;
    testing::RecordingView view;
    BaudSwitch baud;
    SentBytes sent;
    fs::path folder;
    bool flipped = false;
    testing::LineChange change;  // none until a test sets one
};

struct AreaCase {
    const char* model;
    const char* drives;   // init drives arguments
    uint32_t dataLength;  // capability value 2
    uint32_t end;         // capability value 3
    uint32_t start;       // the area saved
    size_t blocks;
};

// The area by model and drive B:, block by block, and back into a fresh controller.
TEST(Eeprom, SavesTheModelsAreaAndRestoresItIntoAFreshController) {
    for (const AreaCase& c : {AreaCase{"alder", "1024 64 256", 0x400, 0x2000, 0x1C00, 1},
                              AreaCase{"alder", "1024 0 256", 0x400, 0x2000, 0x100, 3},
                              AreaCase{"vantix", "1024 64 256", 0x400, 0x1F01, 0x200, 2}}) {
        SCOPED_TRACE(std::string(c.model) + " " + c.drives);
        EepromBench saved(c.model);
        saved.exchange(std::string("init drives ") + c.drives);
        char caps[64];
        std::snprintf(caps, sizeof caps, "init caps 1 %04x %04x 0 0", c.dataLength, c.end);
        saved.exchange(caps);
        auto context = saved.context();
        ASSERT_EQ(EepromSave(context, saved.folder), EepromSaveResult::Saved);
        EXPECT_EQ(saved.sent.count("geteepromdata"), c.blocks);
        const std::string file = saved.imageBytes();
        ASSERT_EQ(file.size(), kEepromHeaderSize + c.end - c.start);
        EXPECT_EQ(file.substr(0, 12),
                  std::string(reinterpret_cast<const char*>(
                                  EncodeEepromHeader({c.start, c.dataLength, c.end}).data()),
                              12));
        EXPECT_EQ(file.substr(12), std::string(saved.controller.eeprom().begin() + c.start,
                                               saved.controller.eeprom().begin() + c.end));

        EepromBench fresh(c.model);
        fresh.exchange(std::string("init drives ") + c.drives);
        std::snprintf(caps, sizeof caps, "init caps 1 0000 %04x 0 0", c.end);
        fresh.exchange(caps);
        auto restore = fresh.context();
        ASSERT_EQ(EepromRestore(restore, saved.image().string()), 0)
            << (fresh.view.messages.empty() ? "" : fresh.view.messages[0].text);
        EXPECT_TRUE(std::equal(fresh.controller.eeprom().begin() + c.start,
                               fresh.controller.eeprom().begin() + c.end,
                               saved.controller.eeprom().begin() + c.start));
        EXPECT_EQ(fresh.controller.caps()[1], int(c.dataLength));
        EXPECT_EQ(fresh.sent.count("seteepromdata"), c.blocks);
    }
}

// The area comes from readings of the record and of the drive sizes that agree, whatever one
// reading said; the address line may come in either case. The summary line names the area.
TEST(Eeprom, SavesTheAreaThatAgreeingReadingsName) {
    struct Case {
        const char* what;
        const char* drives;
        testing::LineChange change;
        EepromHeader area;
    };
    const EepromHeader belowEnd{0x1C00, 0x400, 0x2000}, fromStart{0x100, 0x400, 0x2000};
    for (const Case& c : {
             Case{"clean line", "1024 64 256", {}, belowEnd},
             // 0400 read as 1400: a longer area
             Case{"data length misread once", "1024 64 256", {"tell caps", {1}, "\n1 "}, belowEnd},
             // drive B: read as 1 kB: a shorter area
             Case{"drive B: misread once", "1024 0 256", {"tell drives", {1}, "1024 "}, fromStart},
             Case{"address in upper case",
                  "1024 64 256",
                  {"geteepromdata", {1}, "Addr 00001", false, 'C' - 'c'},
                  belowEnd},
         }) {
        SCOPED_TRACE(c.what);
        EepromBench bench("alder");
        bench.exchange(std::string("init drives ") + c.drives);
        bench.exchange("init caps 1 0400 2000 0 0");
        bench.change = c.change;
        auto context = bench.context();
        EepromHeader saved;
        EXPECT_EQ(EepromSave(context, bench.folder, &saved), EepromSaveResult::Saved);
        EXPECT_EQ(saved, c.area);
        const std::string file = bench.imageBytes();
        EXPECT_EQ(file.size(), kEepromHeaderSize + c.area.size());
        EXPECT_EQ(
            file.substr(0, 12),
            std::string(reinterpret_cast<const char*>(EncodeEepromHeader(c.area).data()), 12));
        char summary[80];
        std::snprintf(summary, sizeof summary, "EEPROM saved: 0x%08X to 0x%08X, %u bytes",
                      c.area.start, c.area.end, c.area.size());
        EXPECT_EQ(bench.view.statuses.back(), summary);
    }
}

// Two changes that cancel in a block's 16-bit sum pass the block check; with verify the save
// reads each block twice and the restore reads the area back, so both fail instead, and the
// next try on a clean line succeeds.
TEST(Eeprom, VerifyCatchesChangesTheBlockSumCannotSee) {
    for (const bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        EepromBench saved("alder", 40, false);
        saved.exchange("init caps 1 0400 2000 0 0");
        std::fill_n(saved.controller.eeprom().begin() + 0x1C80, 0x40, 0x5A);
        const std::string area(saved.controller.eeprom().begin() + 0x1C00,
                               saved.controller.eeprom().begin() + 0x2000);
        auto save = saved.context();
        save.verify = verify;
        ASSERT_EQ(EepromSave(save, saved.folder),
                  verify ? EepromSaveResult::Failed : EepromSaveResult::Saved);
        EXPECT_EQ(fs::exists(saved.image()), !verify);
        if (!verify) {
            EXPECT_NE(saved.imageBytes().substr(12), area);
        }
        saved.view.answers = {true, true};  // use the folder, replace the file
        ASSERT_EQ(EepromSave(save, saved.folder), EepromSaveResult::Saved);
        EXPECT_EQ(saved.imageBytes().substr(12), area);

        EepromBench fresh("alder", 40, true);
        fresh.exchange("init caps 1 0000 2000 0 0");
        const fs::path path = fresh.folder / "image.bin";
        fresh.writeImage(path, {0x1C00, 0x400, 0x2000}, 0x400);
        auto restore = fresh.context();
        restore.verify = verify;
        EXPECT_EQ(EepromRestore(restore, path.string()), verify ? 1 : 0);
        const std::string written(fresh.controller.eeprom().begin() + 0x1C00,
                                  fresh.controller.eeprom().begin() + 0x2000);
        EXPECT_NE(written, std::string(0x400, '\x5A'));
        if (verify) {
            ASSERT_FALSE(fresh.view.messages.empty());
            EXPECT_NE(fresh.view.messages.back().text.find("Verify failed"), std::string::npos);
            EXPECT_EQ(fresh.controller.caps()[1], 0);  // the data length waits for good data
            EXPECT_EQ(EepromRestore(restore, path.string()), 0);
            EXPECT_EQ(fresh.controller.caps()[1], 0x400);
        }
    }
}

TEST(Eeprom, NothingToSaveForOtherModelsAndOldFirmware) {
    EepromBench birch("birch");
    auto context = birch.context();
    EXPECT_EQ(EepromSave(context, birch.folder), EepromSaveResult::NothingToSave);
    EXPECT_TRUE(birch.view.messages.empty());

    EepromBench old("alder");
    auto oldContext = old.context();
    oldContext.firmwareVersion = 32;
    EXPECT_EQ(EepromSave(oldContext, old.folder), EepromSaveResult::NothingToSave);
    ASSERT_EQ(old.view.messages.size(), 1u);
    EXPECT_NE(old.view.messages[0].text.find("33 or higher"), std::string::npos);
    EXPECT_FALSE(fs::exists(old.image()));
    EXPECT_TRUE(old.sent.all.empty());
}

// A data length above the end address would make the start wrap below 0.
TEST(Eeprom, AWrappingAreaSavesNothingAndKeepsTheOldFile) {
    EepromBench bench("alder");
    bench.exchange("init caps 1 3000 2000 0 0");
    bench.writeImage(bench.image(), {0x100, 0, 0x200}, 0x100);
    bench.view.answers = {true, true};
    auto context = bench.context();
    EXPECT_EQ(EepromSave(context, bench.folder), EepromSaveResult::Failed);
    EXPECT_EQ(bench.sent.count("geteepromdata"), 0u);
    EXPECT_EQ(bench.imageBytes().size(), 12u + 0x100);  // the old file, untouched
}

TEST(Eeprom, RestoreRefusesFilesThatDoNotFitThisController) {
    struct Case {
        const char* what;
        EepromHeader header;
        size_t contents;
    };
    // The controller: drive B: present, data length 0x400 below the end 0x2000.
    for (const Case& c : {Case{"one byte short", {0x1C00, 0x400, 0x2000}, 0x3FF},
                          Case{"one byte long", {0x1C00, 0x400, 0x2000}, 0x401},
                          Case{"start saved without drive B:", {0x100, 0x400, 0x2000}, 0x1F00},
                          Case{"another end address", {0x0C00, 0x400, 0x1000}, 0x400},
                          Case{"start above end", {0x2000, 0x400, 0x1C00}, 0}}) {
        SCOPED_TRACE(c.what);
        EepromBench bench("alder");
        bench.exchange("init caps 1 0000 2000 0 0");
        const std::vector<uint8_t> before = bench.controller.eeprom();
        const fs::path path = bench.folder / "image.bin";
        bench.writeImage(path, c.header, c.contents);
        auto context = bench.context();
        EXPECT_EQ(EepromRestore(context, path.string()), 1);
        EXPECT_EQ(bench.sent.count("seteepromdata"), 0u);
        EXPECT_EQ(bench.controller.eeprom(), before);
        ASSERT_EQ(bench.view.messages.size(), 1u);
    }
}

// The monitor refuses a block beyond its EEPROM; its echo still matches. The data must
// not follow into the command interpreter.
TEST(Eeprom, ARefusedBlockIsNotFollowedByItsData) {
    EepromBench bench("alder");
    bench.exchange("init drives 1024 0 256");
    bench.exchange("init caps 1 0000 3000 0 0");
    const fs::path path = bench.folder / "image.bin";
    // 0x100..0x3000: the third block starts beyond the simulated EEPROM's 8 KiB.
    bench.writeImage(path, {0x100, 0, 0x3000}, 0x2F00, '\r');
    auto context = bench.context();
    EXPECT_EQ(EepromRestore(context, path.string()), 1);
    EXPECT_EQ(bench.sent.count("seteepromdata"), 3u);
    // The two accepted blocks' data went out, the third block's did not: its 3840 carriage
    // returns would have run as empty command lines.
    EXPECT_LT(bench.sent.all.size(), 2u * 3842 + 400);
    const auto& eeprom = bench.controller.eeprom();
    EXPECT_TRUE(std::all_of(eeprom.begin() + 0x100, eeprom.begin() + 0x1F00,
                            [](uint8_t b) { return b == '\r'; }));
}

TEST(Eeprom, ExactMultipleOfTheBlockAndOneByteMore) {
    for (uint32_t size : {3840u, 3841u}) {
        SCOPED_TRACE(size);
        EepromBench bench("alder");
        bench.exchange("init drives 1024 0 256");
        char caps[64];
        std::snprintf(caps, sizeof caps, "init caps 1 0000 %04x 0 0", 0x100 + size);
        bench.exchange(caps);
        const fs::path path = bench.folder / "image.bin";
        bench.writeImage(path, {0x100, 7, 0x100 + size}, size);
        auto context = bench.context();
        ASSERT_EQ(EepromRestore(context, path.string()), 0);
        EXPECT_EQ(bench.sent.count("seteepromdata"), size == 3840 ? 1u : 2u);
        EXPECT_EQ(bench.sent.count("seteepromdata 00000100 00000f00"), 1u);
        EXPECT_EQ(bench.controller.eeprom()[0x100 + size - 1], 0x5A);
        EXPECT_EQ(bench.controller.caps()[1], 7);
    }
}

// A stop ends a save or a restore between two blocks: a save leaves the file of an earlier
// save as it was, a restore says how much of the EEPROM it wrote.
TEST(Eeprom, AStopEndsSaveAndRestoreBetweenBlocks) {
    const struct {
        bool restore;
        const char* status;
    } cases[] = {
        {false, "Stopped: the EEPROM was not saved."},
        {true, "Stopped: the EEPROM is partly written (3840 of 7936 bytes)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.restore);
        EepromBench bench("alder");
        bench.exchange("init drives 1024 0 256");
        bench.exchange("init caps 1 0000 2000 0 0");
        const fs::path image = c.restore ? bench.folder / "image.bin" : bench.image();
        bench.writeImage(image, {0x100, 7, 0x2000}, 0x1F00);
        const std::string before = bench.imageBytes();
        const char* command = c.restore ? "seteepromdata" : "geteepromdata";
        bench.sent.stopAfter = command;
        bench.view.answers = {true, true};  // a save may use the folder and replace the file
        auto context = bench.context();
        const bool failed = c.restore
                                ? EepromRestore(context, image.string()) != 0
                                : EepromSave(context, bench.folder) == EepromSaveResult::Failed;
        ResetStopRequest();
        EXPECT_TRUE(failed);
        EXPECT_EQ(bench.sent.count(command), 1u);
        EXPECT_EQ(bench.imageBytes(), before);
        ASSERT_FALSE(bench.view.statuses.empty());
        EXPECT_EQ(bench.view.statuses.back().rfind(c.status, 0), 0u) << bench.view.statuses.back();
        EXPECT_EQ(bench.view.messages.size(), c.restore ? 1u : 0u);
        EXPECT_TRUE(bench.monitor.Answers());
    }
}

}  // namespace
}  // namespace tarmix
