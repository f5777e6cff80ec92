// The backup's pieces: the application read-back and its image, the restore script, the
// manifest's hashes, and a whole backup against an in-process simulated controller.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "batch/application_read.h"
#include "batch/backup_manifest.h"
#include "batch/device_backup.h"
#include "batch/device_backup_folder.h"
#include "batch/restore_script.h"
#include "batch/sha256.h"
#include "lang/catalog.h"
#include "lang/text_names.h"
#include "platform/stop_request.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "support/cancelling_flips.h"
#include "support/forwarding_port.h"
#include "support/recording_view.h"
#include "tests/support/file_contents.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

using testing::readFile;

std::vector<std::string> crlfLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.push_back(text.substr(at, end - at));
    EXPECT_EQ(at, text.size()) << "the last line has no CR LF";
    return lines;
}

TEST(Sha256, PublishedDigests) {
    auto hex = [](std::string_view text) {
        return Sha256Hex({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    };
    EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits into the first block's padding.
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

constexpr char kDestroys[] =
    " This formats the controller's drives and overwrites its flash and its EEPROM.";

TEST(RestoreScript, QuestionInLatin1OrEnglishAndEveryLineEndsWithCrLf) {
    const LocalTime time{1, 7, 12, 2026, 8, 5, 0};
    struct Case {
        int language;
        const char* question;
    };
    // The question names what the script destroys.
    const std::string english = std::string("Restore backup from 07.12.2026 08:05?") + kDestroys;
    for (const Case& c :
         {Case{kEnglishLanguage, english.c_str()}, Case{7, english.c_str()},  // Russian
          Case{10, english.c_str()}}) {                                       // Greek
        SCOPED_TRACE(c.language);
        setLanguageIndex(c.language);
        RestoreScript script;
        script.AddQuestion(time);
        script.AddProgram("Flash\\Application.rom");
        script.AddInitDrives({1024, 0, 256});
        script.AddFormat(2);
        script.AddRestoreEeprom("EEPROM\\Eeprom.bin");
        EXPECT_EQ(
            crlfLines(script.text()),
            (std::vector<std::string>{
                std::string("messageyesno ") + c.question, "program \"Flash\\Application.rom\"",
                "init drives 1024 0 256", "format c:", "restoreeprom \"EEPROM\\Eeprom.bin\""}));
    }
    setLanguageIndex(kEnglishLanguage);
}

TEST(RestoreScript, TimeFillingLeavesOtherPercentSignsAlone) {
    const LocalTime time{1, 3, 4, 2027, 23, 9, 0};
    EXPECT_EQ(FillBackupTime("%d.%m.%Y %H:%M 100%% %q %", time), "03.04.2027 23:09 100% %q %");
}

TEST(ApplicationArea, TextAndDataFiguresOrWhichSectorFailed) {
    ApplicationAreaFailure failure;
    const auto area = ParseApplicationArea(
        "tell appl\r\nText: 00110000 0001A000\r\nData: 0012A000 00000120\r\nBoot> ", failure);
    ASSERT_TRUE(area);
    EXPECT_EQ(area->textStart, 0x110000u);
    EXPECT_EQ(area->textLength, 0x1A000u);
    EXPECT_EQ(area->dataLength, 0x120u);
    struct Case {
        const char* answer;
        int sector, text;
    };
    for (const Case& c :
         {Case{"tell appl\r\nData: 0 0\r\nBoot> ", text::kTextSector, text::kNotAvailable},
          Case{"tell appl\r\nText: zz 1\r\nData: 0 0\r\nBoot> ", text::kTextSector,
               text::kReadError},
          Case{"tell appl\r\nText: 1 2\r\nBoot> ", text::kDataSector, text::kNotAvailable},
          Case{"tell appl\r\nText: 1 2 Data: 7 zz\r\nBoot> ", text::kDataSector,
               text::kReadError}}) {
        SCOPED_TRACE(c.answer);
        failure = {};
        EXPECT_FALSE(ParseApplicationArea(c.answer, failure));
        EXPECT_EQ(failure.sector, c.sector);
        EXPECT_EQ(failure.text, c.text);
    }
}

// A line that goes dead, the port left open, once the PC has sent `trigger`; `sent` keeps
// everything the PC wrote.
class GoesSilent final : public testing::ForwardingPort {
  public:
    GoesSilent(std::unique_ptr<PortBackend> inner, std::string trigger, std::string& sent)
        : ForwardingPort(std::move(inner)), trigger_(std::move(trigger)), sent_(sent) {}
    long bytesWaiting() override { return silent() ? 0 : ForwardingPort::bytesWaiting(); }
    long read(uint8_t* data, size_t capacity) override {
        const long n = ForwardingPort::read(data, capacity);
        return silent() ? 0 : n;
    }
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        sent_.append(reinterpret_cast<const char*>(data), count);
        return silent() ? long(count) : ForwardingPort::write(data, count, timeout);
    }

  private:
    bool silent() const { return sent_.find(trigger_) != std::string::npos; }

    std::string trigger_;
    std::string& sent_;
};

// A line that changes one digit of the first "tell appl" answer, so that the application
// looks shorter than it is: no checksum guards that text.
class ShortensFirstApplication final : public testing::ForwardingPort {
  public:
    using ForwardingPort::ForwardingPort;
    long read(uint8_t* data, size_t capacity) override {
        const long n = ForwardingPort::read(data, capacity);
        const std::string_view text(reinterpret_cast<const char*>(data), n > 0 ? size_t(n) : 0);
        const size_t at = text.find("Text: 00110000 000003E8");
        if (!changed_ && at != std::string_view::npos) {
            data[at + 20] = '1';  // 0x1E8 bytes
            changed_ = true;
        }
        return n;
    }

  private:
    bool changed_ = false;
};

// A line that changes the CR of the first "read" command into another byte, so that the
// monitor takes it for an unfinished line.
class LosesFirstReadEnd final : public testing::ForwardingPort {
  public:
    using ForwardingPort::ForwardingPort;
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        std::string bytes(reinterpret_cast<const char*>(data), count);
        if (!done_ && bytes.rfind("read ", 0) == 0 && bytes.back() == '\r') {
            bytes.back() = '\x05';
            done_ = true;
        }
        return ForwardingPort::write(reinterpret_cast<const uint8_t*>(bytes.data()), count,
                                     timeout);
    }

  private:
    bool done_ = false;
};

// A whole backup of an alder controller without drives, in-process on the virtual clock;
// `line` may put a bad line between the program and the controller.
struct BackupBench {
    using Line = std::function<std::unique_ptr<PortBackend>(std::unique_ptr<PortBackend>)>;
    explicit BackupBench(Line line = nullptr)
        : controller(*sim::findModel("alder"), clock),
          serial(
              [this, line]() -> std::unique_ptr<PortBackend> {
                  auto port = std::make_unique<sim::InProcessPort>(controller, clock);
                  if (!line) return port;
                  return line(std::move(port));
              },
              clock),
          monitor(serial),
          baud(monitor, view, 57600),
          folder(fs::temp_directory_path() /
                 ("tarmix_backup_" + std::to_string(reinterpret_cast<uintptr_t>(this)))) {
        setLanguageIndex(kEnglishLanguage);
        controller.setFirmware(40);
        serial.Open("COM1");
        serial.Configure(57600);
        std::string answer;
        monitor.SendAndWaitPrompt("init drives 0 0 0", answer, 1999, Wait::Scaled(Millis{500}));
        device.hardwareModel = 1;
        device.firmwareVersion = 40;
        device.bankA = {0x110000, 0x2FFFFF};
        device.deviceIdentified = true;
    }
    ~BackupBench() { fs::remove_all(folder); }

    // An application of `size` bytes at the start of the application flash.
    void application(uint32_t size) {
        std::vector<uint8_t> bytes(size);
        for (uint32_t i = 0; i < size; ++i) bytes[i] = uint8_t(i % 251);
        controller.memory().store(0x110000, bytes);
    }
    BackupEnd run(bool verify = false) {
        DeviceBackup backup({monitor, view, baud, device, 57600, askBeforeOverwrite,
                             [] { return LocalTime{1, 7, 12, 2026, 8, 30, 5}; }, verify});
        if (!backup.CheckController()) return BackupEnd::Failed;
        return backup.Run(folder);
    }

    VirtualClock clock;
    sim::Controller controller;
    CSerial serial;
    MonitorExchange monitor;
    testing::RecordingView view;
    BaudSwitch baud;
    DeviceDescription device;
    bool askBeforeOverwrite = true;
    fs::path folder;
};

size_t countStarting(const std::vector<std::string>& lines, const char* start) {
    return size_t(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& l) { return l.rfind(start, 0) == 0; }));
}

TEST(DeviceBackup, ImageRecordsScriptAndManifest) {
    BackupBench bench;
    bench.application(106496 + 288);  // eleven blocks: ten of 10000 bytes, one of 6784
    ASSERT_EQ(bench.run(), BackupEnd::Completed)
        << (bench.view.messages.empty() ? "" : bench.view.messages[0].text);
    const auto image = crlfLines(readFile(bench.folder / "Flash" / "Application.rom"));
    EXPECT_EQ(countStarting(image, "S3"), 6674u);
    ASSERT_EQ(image.size(), 6676u);
    EXPECT_EQ(image[6674], "S5031A12D0");
    EXPECT_EQ(image[6675], "S70500110000E9");
    EXPECT_EQ(image[0].substr(0, 12), "S31500110000");
    EXPECT_EQ(crlfLines(readFile(bench.folder / "Reload.rom")),
              (std::vector<std::string>{
                  std::string("messageyesno Restore backup from 07.12.2026 08:30?") + kDestroys,
                  "program \"Flash\\Application.rom\"", "init drives 0 0 0",
                  "restoreeprom \"EEPROM\\Eeprom.bin\""}));
    EXPECT_EQ(readFile(bench.folder / "EEPROM" / "Eeprom.bin").size(), 12u + 0x2000 - 0x100);
    const std::string manifest = readFile(bench.folder / "manifest.json");
    for (const char* file : {"Reload.rom", "Flash/Application.rom", "EEPROM/Eeprom.bin"})
        EXPECT_NE(manifest.find(file), std::string::npos) << file;
    EXPECT_EQ(nlohmann::json::parse(manifest)["eeprom"],
              (nlohmann::json{{"start", 0x100}, {"end", 0x2000}, {"length", 0x1F00}}));
    // The image's progress reaches its end; the EEPROM's runs over its addresses.
    EXPECT_NE(std::find(bench.view.progress.begin(), bench.view.progress.end(), 1000),
              bench.view.progress.end());
}

// A data area that "tell appl" reports after the text is saved with it.
TEST(DeviceBackup, TheImageCoversTheDataAreaAfterTheText) {
    BackupBench bench;
    bench.application(1000);
    bench.controller.setApplicationDataLength(0x200);
    ASSERT_EQ(bench.run(), BackupEnd::Completed);
    const auto image = crlfLines(readFile(bench.folder / "Flash" / "Application.rom"));
    EXPECT_EQ(countStarting(image, "S3"), 95u);  // 1512 bytes in records of 16
    ASSERT_GE(image.size(), 3u);
    EXPECT_EQ(image[image.size() - 3].substr(0, 12), "S30D001105E0");
}

// The application's place and length are taken only from two readings that agree.
TEST(DeviceBackup, AChangedFigureInTheApplicationsDescriptionIsNotTaken) {
    BackupBench bench([](std::unique_ptr<PortBackend> port) {
        return std::make_unique<ShortensFirstApplication>(std::move(port));
    });
    bench.application(1000);
    ASSERT_EQ(bench.run(), BackupEnd::Completed);
    const auto image = crlfLines(readFile(bench.folder / "Flash" / "Application.rom"));
    EXPECT_EQ(countStarting(image, "S3"), 63u);  // 1000 bytes in records of 16
}

// Two changes that cancel in a block's 32-bit sum pass the block check: with verify each
// block is read until two reads agree, so the image holds the flash as it is.
TEST(DeviceBackup, VerifyReadsTheApplicationUntilTwoReadsAgree) {
    for (const bool verify : {false, true}) {
        SCOPED_TRACE(verify);
        bool flipped = false;
        BackupBench bench([&flipped](std::unique_ptr<PortBackend> port) {
            return std::make_unique<testing::CancellingFlips>(std::move(port), false, 0x5A,
                                                              flipped);
        });
        bench.application(30000);
        std::vector<uint8_t> run(64, 0x5A);
        bench.controller.memory().store(0x110000 + 12000, run);
        ASSERT_EQ(bench.run(verify), BackupEnd::Completed);
        EXPECT_TRUE(flipped);
        const auto image = crlfLines(readFile(bench.folder / "Flash" / "Application.rom"));
        // The record of the sixteen bytes at 0x112EE0: the run begins there.
        const auto record = std::find_if(image.begin(), image.end(), [](const std::string& l) {
            return l.rfind("S31500112EE0", 0) == 0;
        });
        ASSERT_NE(record, image.end());
        EXPECT_EQ(record->substr(12, 32) == "5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A", verify);
    }
}

// A controller that stops answering in the middle of the drive copy ends the backup at the
// next failure: no further file, drive or EEPROM block is asked for.
TEST(DeviceBackup, ALineGoneSilentEndsTheBackupAtOnce) {
    std::string sent;
    BackupBench bench([&sent](std::unique_ptr<PortBackend> port) {
        return std::make_unique<GoesSilent>(std::move(port), "file dump \"A:\\F1\\G2.BIN\"", sent);
    });
    bench.application(1000);
    std::string answer;
    bench.monitor.SendAndWaitPrompt("init drives 64 0 32", answer, 1999, Wait::Scaled(Millis{500}));
    bench.device.driveSizes = {64, 0, 32};
    for (const char* folder : {"F1", "F2", "F3"}) {
        const fs::path path = bench.controller.drives().drive(0) / folder;
        fs::create_directories(path);
        for (const char* file : {"G1.BIN", "G2.BIN", "G3.BIN"}) std::ofstream(path / file) << file;
    }
    std::ofstream(bench.controller.drives().drive(2) / "APP.CFG") << "cfg";
    EXPECT_EQ(bench.run(), BackupEnd::Failed);
    size_t dumps = 0;
    for (size_t at = sent.find("file dump"); at != std::string::npos;
         at = sent.find("file dump", at + 1))
        ++dumps;
    EXPECT_EQ(dumps, 2u);
    EXPECT_EQ(sent.find("tree c:"), std::string::npos);
    EXPECT_EQ(sent.find("geteepromdata"), std::string::npos);
    EXPECT_FALSE(fs::exists(bench.folder / "Reload.rom"));
    ASSERT_FALSE(bench.view.messages.empty());
    EXPECT_NE(bench.view.messages.back().text.find("does not answer"), std::string::npos);
}

// Asks the operation to stop once the PC has sent `trigger`, and records what it sent.
class StopsAfter final : public testing::ForwardingPort {
  public:
    StopsAfter(std::unique_ptr<PortBackend> inner, std::string trigger, std::string& sent)
        : ForwardingPort(std::move(inner)), trigger_(std::move(trigger)), sent_(sent) {}
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        sent_.append(reinterpret_cast<const char*>(data), count);
        if (!asked_ && sent_.find(trigger_) != std::string::npos) {
            asked_ = true;
            RequestStop(StopCause::Operator);
        }
        return ForwardingPort::write(data, count, timeout);
    }

  private:
    std::string trigger_;
    std::string& sent_;
    bool asked_ = false;
};

// A stop during any step ends the backup at the next block or file: nothing further is
// asked of the controller, no Reload.rom is written, and it says so without an error box.
TEST(DeviceBackup, AStopEndsTheBackupAtTheNextBlockOrFile) {
    struct Case {
        const char* trigger;
        const char* notSent;  // the step after the stop that must not begin
    };
    const Case cases[] = {
        {"read 00112710", "tree a:"},                // the second block of the application
        {"file dump \"A:\\F1\\G1.BIN\"", "G2.BIN"},  // the first file of drive A
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trigger);
        ResetStopRequest();
        std::string sent;
        BackupBench bench([&](std::unique_ptr<PortBackend> port) {
            return std::make_unique<StopsAfter>(std::move(port), c.trigger, sent);
        });
        bench.application(30000);
        std::string answer;
        bench.monitor.SendAndWaitPrompt("init drives 64 0 32", answer, 1999,
                                        Wait::Scaled(Millis{500}));
        bench.device.driveSizes = {64, 0, 32};
        const fs::path f1 = bench.controller.drives().drive(0) / "F1";
        fs::create_directories(f1);
        for (const char* file : {"G1.BIN", "G2.BIN"}) std::ofstream(f1 / file) << file;
        EXPECT_EQ(bench.run(), BackupEnd::Failed);
        const bool stopped = StopRequested();
        ResetStopRequest();
        EXPECT_TRUE(stopped);
        EXPECT_EQ(sent.find(c.notSent), std::string::npos);
        EXPECT_EQ(sent.find("geteepromdata"), std::string::npos);
        EXPECT_FALSE(fs::exists(bench.folder / "Reload.rom"));
        EXPECT_FALSE(fs::exists(bench.folder / "manifest.json"));
        ASSERT_EQ(bench.view.messages.size(), 1u) << bench.view.messages.back().text;
        EXPECT_EQ(bench.view.messages[0].text,
                  "The backup was stopped: Reload.rom was not written.");
        EXPECT_EQ(bench.view.messages[0].icon, MessageIcon::Warning);
        // The monitor answers the next command.
        EXPECT_TRUE(bench.monitor.Answers());
    }
}

// A read command whose line end was lost is answered by nothing but its echo: the echo
// shows the monitor took another line, so the block is asked for again at once instead of
// after the wait for a monitor that is thinking.
TEST(DeviceBackup, AReadCommandThatArrivedChangedIsRepeatedWithoutTheLongWait) {
    BackupBench bench([](std::unique_ptr<PortBackend> port) {
        return std::make_unique<LosesFirstReadEnd>(std::move(port));
    });
    bench.application(1000);
    const Millis began = bench.clock.now();
    ASSERT_EQ(bench.run(), BackupEnd::Completed);
    EXPECT_LT(bench.clock.now() - began, Millis{5000});
    const auto image = crlfLines(readFile(bench.folder / "Flash" / "Application.rom"));
    EXPECT_EQ(countStarting(image, "S3"), 63u);
}

TEST(DeviceBackup, MoreThan65535RecordsAreCountedInS6) {
    BackupBench bench;
    bench.application(65536 * 16 + 1);
    ASSERT_EQ(bench.run(), BackupEnd::Completed);
    const auto image = crlfLines(readFile(bench.folder / "Flash" / "Application.rom"));
    ASSERT_GE(image.size(), 2u);
    EXPECT_EQ(image[image.size() - 2], "S604010001F9");
}

// A failed backup into the folder of an earlier one leaves that one whole and verifiable:
// here the EEPROM save fails, its area making no sense.
TEST(DeviceBackup, AFailedBackupKeepsTheEarlierOneWhole) {
    BackupBench bench;
    bench.application(1000);
    ASSERT_EQ(bench.run(), BackupEnd::Completed);
    const std::string script = readFile(bench.folder / "Reload.rom");
    bench.application(3000);
    std::string answer;
    bench.monitor.SendAndWaitPrompt("init drives 0 64 0", answer, 1999, Wait::Scaled(Millis{500}));
    bench.device.driveSizes = {0, 64, 0};
    bench.monitor.SendAndWaitPrompt("init caps 1 3000 2000 0 0", answer, 1999,
                                    Wait::Scaled(Millis{500}));
    bench.view.answers = {true, true, true};  // replace the earlier backup
    EXPECT_EQ(bench.run(), BackupEnd::Failed);
    EXPECT_EQ(readFile(bench.folder / "Reload.rom"), script);
    EXPECT_TRUE(VerifyBackup(bench.folder).ok()) << DescribeBackupCheck(VerifyBackup(bench.folder));
    EXPECT_FALSE(fs::exists(bench.folder / ".tarmix-new"));
    ASSERT_FALSE(bench.view.messages.empty());
    EXPECT_NE(bench.view.messages.back().text.find("Reload.rom was not written"),
              std::string::npos);
    EXPECT_NE(bench.view.messages.back().text.find("earlier backup"), std::string::npos);
}

// Drive sizes from an identification whose answer the line changed ("tell drives" read
// once) would go into every restore of the backup: they must read back the same first.
TEST(DeviceBackup, DriveSizesThatDoNotReadBackAsIdentifiedEndItBeforeAnyRead) {
    BackupBench bench;
    bench.application(1000);
    bench.device.driveSizes = {66, 0, 0};  // the controller has none
    EXPECT_EQ(bench.run(), BackupEnd::Failed);
    EXPECT_FALSE(fs::exists(bench.folder / "Reload.rom"));
    EXPECT_FALSE(fs::exists(bench.folder / "Flash" / "Application.rom"));
    ASSERT_FALSE(bench.view.messages.empty());
    EXPECT_NE(bench.view.messages[0].text.find("drive sizes could not be confirmed"),
              std::string::npos)
        << bench.view.messages[0].text;
}

// Drives A: and C: mirrored below Drive_A and Drive_C, each after its format line, folders
// before their files; a file that does not arrive makes the backup fail without a script.
TEST(DeviceBackup, DrivesAreCopiedWithTheirLinesAfterTheirFormatLine) {
    BackupBench bench;
    bench.application(1000);
    std::string answer;
    bench.monitor.SendAndWaitPrompt("init drives 64 0 32", answer, 1999, Wait::Scaled(Millis{500}));
    bench.device.driveSizes = {64, 0, 32};
    const fs::path a = bench.controller.drives().drive(0), c = bench.controller.drives().drive(2);
    fs::create_directories(a / "LOG" / "OLD");
    std::ofstream(a / "ROOT.TXT") << "root";
    std::ofstream(a / "LOG" / "OLD" / "DAY1.TXT") << "day one";
    std::ofstream(c / "APP.CFG") << "cfg";
    ASSERT_EQ(bench.run(), BackupEnd::Completed)
        << (bench.view.messages.empty() ? "" : bench.view.messages[0].text);
    EXPECT_EQ(crlfLines(readFile(bench.folder / "Reload.rom")),
              (std::vector<std::string>{
                  std::string("messageyesno Restore backup from 07.12.2026 08:30?") + kDestroys,
                  "program \"Flash\\Application.rom\"", "init drives 64 0 32",
                  "format a:", "download \"Drive_A\\ROOT.TXT\" \"A:\\ROOT.TXT\"",
                  "mkdir \"A:\\LOG\\\"", "mkdir \"A:\\LOG\\OLD\\\"",
                  "download \"Drive_A\\LOG\\OLD\\DAY1.TXT\" "
                  "\"A:\\LOG\\OLD\\DAY1.TXT\"",
                  "format c:", "download \"Drive_C\\APP.CFG\" \"C:\\APP.CFG\"",
                  "restoreeprom \"EEPROM\\Eeprom.bin\""}));
    EXPECT_EQ(readFile(bench.folder / "Drive_A" / "LOG" / "OLD" / "DAY1.TXT"), "day one");
    EXPECT_FALSE(fs::exists(bench.folder / "Drive_B"));
    const std::string manifest = readFile(bench.folder / "manifest.json");
    EXPECT_NE(manifest.find("Drive_A/LOG/OLD/DAY1.TXT"), std::string::npos) << manifest;
    // The drive copy's figures: each file's bytes of its size.
    EXPECT_FALSE(bench.view.transfers.empty());

    // The same backup again after ROOT.TXT left the device: it leaves the backup too; the
    // user's own file beside the backup stays, and the backup says so.
    fs::remove(a / "ROOT.TXT");
    std::ofstream(bench.folder / "notes.txt") << "mine";
    bench.view.answers = {true, true, true};  // the Flash folder, Application.rom, Reload.rom
    bench.view.messages.clear();
    ASSERT_EQ(bench.run(), BackupEnd::Completed);
    EXPECT_FALSE(fs::exists(bench.folder / "Drive_A" / "ROOT.TXT"));
    EXPECT_EQ(readFile(bench.folder / "manifest.json").find("ROOT.TXT"), std::string::npos);
    EXPECT_TRUE(VerifyBackup(bench.folder).ok()) << DescribeBackupCheck(VerifyBackup(bench.folder));
    EXPECT_EQ(readFile(bench.folder / "notes.txt"), "mine");
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_NE(bench.view.messages[0].text.find("notes.txt"), std::string::npos);
}

// A file of the user's inside the backup's own folders would go with the earlier backup:
// the backup refuses before it reads anything, naming the file, and changes nothing.
TEST(DeviceBackup, AUserFileAmongTheBackupsFilesStopsIt) {
    for (const char* file : {"Flash/keep.txt", "Drive_A/notes.txt", "EEPROM"}) {
        SCOPED_TRACE(file);
        BackupBench bench;
        bench.application(1000);
        ASSERT_EQ(bench.run(), BackupEnd::Completed);
        const std::string manifest = readFile(bench.folder / "manifest.json");
        fs::remove_all(bench.folder / file);
        fs::create_directories((bench.folder / file).parent_path());
        std::ofstream(bench.folder / file) << "mine";
        bench.view.answers = {true, true, true};
        bench.view.messages.clear();
        EXPECT_EQ(bench.run(), BackupEnd::Failed);
        EXPECT_EQ(readFile(bench.folder / file), "mine");
        EXPECT_EQ(readFile(bench.folder / "manifest.json"), manifest);
        ASSERT_EQ(bench.view.messages.size(), 1u);
        EXPECT_NE(bench.view.messages[0].text.find(file), std::string::npos);
    }
}

// A run that ended while it put its backup in place, after the earlier one was set aside:
// the next run puts the earlier one back before anything else.
TEST(DeviceBackup, AnInterruptedReplacementIsUndoneByTheNextRun) {
    BackupBench bench;
    bench.application(1000);
    ASSERT_EQ(bench.run(), BackupEnd::Completed);
    fs::create_directories(bench.folder / ".tarmix-old");
    for (const char* entry : {"Reload.rom", "manifest.json", "Flash"})
        fs::rename(bench.folder / entry, bench.folder / ".tarmix-old" / entry);
    fs::create_directories(bench.folder / "Flash");
    std::ofstream(bench.folder / "Flash" / "Application.rom") << "half of the new one";
    std::string error;
    ASSERT_TRUE(TidyBackupFolder(bench.folder, error)) << error;
    EXPECT_TRUE(VerifyBackup(bench.folder).ok()) << DescribeBackupCheck(VerifyBackup(bench.folder));
    EXPECT_FALSE(fs::exists(bench.folder / ".tarmix-old"));
}

// A disk that fills up while the image is written: the message names the file and why,
// and the backup writes no restore script.
TEST(DeviceBackup, AWriteErrorNamesItsFile) {
    BackupBench bench;
    bench.application(30000);  // about 80 kB of S-records
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 20000;
    setrlimit(RLIMIT_FSIZE, &small);
    const BackupEnd end = bench.run();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(end, BackupEnd::Failed);
    EXPECT_FALSE(fs::exists(bench.folder / "Reload.rom"));
    ASSERT_FALSE(bench.view.messages.empty());
    const std::string& text = bench.view.messages[0].text;
    EXPECT_EQ(text.rfind("Error when writing the file\n", 0), 0u) << text;
    EXPECT_NE(text.find("Application.rom: "), std::string::npos) << text;
}

// A controller without an application is backed up without one; the restore script then
// programs none, and the manifest says so.
TEST(DeviceBackup, AControllerWithoutAnApplicationIsBackedUpWithoutOne) {
    BackupBench bench;
    ASSERT_EQ(bench.run(), BackupEnd::Completed)
        << (bench.view.messages.empty() ? "" : bench.view.messages[0].text);
    EXPECT_FALSE(fs::exists(bench.folder / "Flash"));
    EXPECT_EQ(crlfLines(readFile(bench.folder / "Reload.rom")),
              (std::vector<std::string>{
                  std::string("messageyesno Restore backup from 07.12.2026 08:30?") + kDestroys,
                  "init drives 0 0 0", "restoreeprom \"EEPROM\\Eeprom.bin\""}));
    EXPECT_NE(readFile(bench.folder / "manifest.json").find("\"application\": false"),
              std::string::npos);
    EXPECT_TRUE(VerifyBackup(bench.folder).ok());
}

// Device entries the PC cannot name are left out and named; everything else is backed
// up. A name with a line break never makes the copy fetch a file the device does not have.
TEST(DeviceBackup, OddNamesAreLeftOutAndNamed) {
    std::string sent;
    BackupBench bench([&sent](std::unique_ptr<PortBackend> port) {
        return std::make_unique<GoesSilent>(std::move(port), "never sent", sent);
    });
    bench.application(1000);
    std::string answer;
    bench.monitor.SendAndWaitPrompt("init drives 64 0 0", answer, 1999, Wait::Scaled(Millis{500}));
    bench.device.driveSizes = {64, 0, 0};
    const fs::path a = bench.controller.drives().drive(0);
    fs::create_directories(a / "F\x01" / "IN");
    for (const char* file : {"GOOD.TXT", "BAD\x07.TXT", "AB\r\nX.TXT", "F\x01/IN/DEEP.TXT"})
        std::ofstream(a / file) << file;
    ASSERT_EQ(bench.run(), BackupEnd::CompletedExcept);
    EXPECT_EQ(sent.find("X.TXT\"\r"), std::string::npos);
    EXPECT_EQ(crlfLines(readFile(bench.folder / "skipped.txt")),
              (std::vector<std::string>{"A:\\F\\x01\\\tthe name cannot be used on the PC",
                                        "A:\\F\\x01\\IN\\\tinside a folder that was not backed up",
                                        "A:\\AB\\r\\nX.TXT\tthe name cannot be used on the PC",
                                        "A:\\BAD\\x07.TXT\tthe name cannot be used on the PC"}));
    EXPECT_EQ(readFile(bench.folder / "Drive_A" / "GOOD.TXT"), "GOOD.TXT");
    EXPECT_TRUE(VerifyBackup(bench.folder).ok());
    ASSERT_FALSE(bench.view.messages.empty());
    EXPECT_NE(bench.view.messages.back().text.find("A:\\BAD\\x07.TXT"), std::string::npos);
    EXPECT_EQ(bench.view.statuses.back(),
              "Backup complete except 4 entries; they are named in skipped.txt.");
}

}  // namespace
}  // namespace tarmix
