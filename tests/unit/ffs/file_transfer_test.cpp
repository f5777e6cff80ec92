// File transfers both ways: round trips through the simulated controller on the virtual
// clock, and a scripted device for everything a device can get wrong.
#include "ffs/file_transfer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>

#include "ffs/transfer_frame.h"
#include "lang/catalog.h"
#include "platform/latin1.h"
#include "platform/stop_request.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "support/file_contents.h"
#include "support/forwarding_port.h"
#include "support/recording_view.h"
#include "unit/link/scripted_port.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::readFile;
using testing::RecordingView;
using testing::ScriptedPort;
using testing::writeFile;

std::string pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 7 + i / 251) & 0xff);
    return bytes;
}

std::string frameOf(const std::string& data) {
    const std::vector<uint8_t> frame =
        EncodeFrame({reinterpret_cast<const uint8_t*>(data.data()), data.size()});
    return std::string(frame.begin(), frame.end());
}

class TransferFolder : public ::testing::Test {
  protected:
    TransferFolder() {
        setLanguageIndex(kEnglishLanguage);
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder = fs::temp_directory_path() / ("tarmix_ffs_" + std::to_string(getpid()) + test);
        fs::remove_all(folder);
        fs::create_directories(folder);
        device.driveSizes = {1024, 64, 256};
    }
    ~TransferFolder() override { fs::remove_all(folder); }

    FileTransfer transfer(MonitorExchange& monitor) {
        return FileTransfer({monitor, view, device, ask, {}});
    }

    fs::path folder;
    VirtualClock clock;
    RecordingView view;
    DeviceDescription device;
    bool ask = true;
};

// --- against the simulated controller ------------------------------------------------------

// The line to the simulated controller, which can lose what the PC sends for a while: a
// cable pulled out and plugged in again.
class BadCable final : public testing::ForwardingPort {
  public:
    BadCable(std::unique_ptr<PortBackend> inner, Clock& clock)
        : ForwardingPort(std::move(inner)), clock_(clock) {}
    // Once `bytes` more have been sent, what is sent in the next `outFor` is lost.
    void pullAfter(size_t bytes, Millis outFor) {
        pullAt_ = sent_ + bytes;
        pulledAt_.reset();
        outFor_ = outFor;
    }
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        if (!pulledAt_ && sent_ + count > pullAt_) {
            const size_t through = pullAt_ - sent_;
            ForwardingPort::write(data, through, timeout);
            pulledAt_ = clock_.now();
        }
        sent_ += count;
        if (pulledAt_ && clock_.now() < *pulledAt_ + outFor_) return long(count);
        return ForwardingPort::write(data, count, timeout);
    }

  private:
    Clock& clock_;
    size_t sent_ = 0;
    size_t pullAt_ = SIZE_MAX;
    std::optional<Millis> pulledAt_;
    Millis outFor_{0};
};

class SimTransfer : public TransferFolder {
  protected:
    SimTransfer()
        : controller(*sim::findModel("alder"), clock),
          serial(
              [this] {
                  return std::unique_ptr<PortBackend>(
                      cable = new BadCable(std::make_unique<sim::InProcessPort>(controller, clock),
                                           clock));
              },
              clock),
          monitor(serial) {
        std::string error;
        EXPECT_TRUE(controller.loadState(folder / "device", error)) << error;
        fs::create_directories(drive('A'));
        serial.Open("COM1");
        serial.Configure(57600);
    }
    fs::path drive(char letter) { return folder / "device" / "drives" / std::string(1, letter); }

    sim::Controller controller;
    BadCable* cable = nullptr;  // owned by the serial link
    CSerial serial;
    MonitorExchange monitor;
};

TEST_F(SimTransfer, FilesOfEverySizeComeBackAsTheyWent) {
    fs::create_directories(drive('A') / "DATA");
    for (size_t size : {0, 1, 511, 512, 513, 70000}) {
        SCOPED_TRACE(size);
        const std::string bytes = pattern(size);
        writeFile(folder / "out.bin", bytes);
        ASSERT_EQ(
            transfer(monitor).DownloadFile((folder / "out.bin").string(), "A:\\DATA\\", "F.BIN"), 0)
            << (view.messages.empty() ? "" : view.messages.back().text);
        EXPECT_EQ(readFile(drive('A') / "DATA" / "F.BIN"), bytes);
        // The figures of each direction end with every byte done.
        const std::pair<uint64_t, uint64_t> whole{size, size};
        ASSERT_FALSE(view.transfers.empty());
        EXPECT_EQ(view.transfers.back(), whole);
        view.transfers.clear();
        fs::remove(folder / "back.bin");
        ASSERT_EQ(transfer(monitor).UploadFile((folder / "back.bin").string(), "A:\\DATA\\F.BIN"),
                  0)
            << (view.messages.empty() ? "" : view.messages.back().text);
        EXPECT_EQ(readFile(folder / "back.bin"), bytes);
        ASSERT_FALSE(view.transfers.empty());
        EXPECT_EQ(view.transfers.back(), whole);
        view.transfers.clear();
    }
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.questions.empty());
}

TEST_F(SimTransfer, DeviceRefusalsEndWithTheirMessages) {
    writeFile(folder / "big.bin", pattern(70 * 1024));
    // B: holds 64 kB: refused before "file load", with both figures; nothing is made.
    EXPECT_EQ(transfer(monitor).Download((folder / "big.bin").string(), "B:\\", "BIG.BIN"),
              TransferResult::Failed);
    EXPECT_EQ(view.messages.back().text,
              "Error on file - Download\n\n<B:\\BIG.BIN> does not fit on the drive: the file "
              "holds 71680 bytes, the drive has 65536 bytes free.");
    EXPECT_FALSE(fs::exists(drive('B') / "BIG.BIN"));
    // A file it replaces gives its room back.
    writeFile(drive('B') / "BIG.BIN", pattern(10 * 1024));
    writeFile(folder / "big.bin", pattern(64 * 1024 + 1));
    EXPECT_EQ(transfer(monitor).Download((folder / "big.bin").string(), "B:\\", "BIG.BIN"),
              TransferResult::Failed);
    writeFile(folder / "big.bin", pattern(60000));
    EXPECT_EQ(transfer(monitor).Download((folder / "big.bin").string(), "B:\\", "BIG.BIN"),
              TransferResult::Copied);
    // A folder that is not there: the device cannot open the file, " ".
    EXPECT_EQ(transfer(monitor).Download((folder / "big.bin").string(), "A:\\NONE\\", "X.BIN"),
              TransferResult::DeviceFailed);
    EXPECT_EQ(view.messages.back().text,
              "Error on file - Download\n\rFile could not be opened to write.");
    EXPECT_EQ(view.messages.back().caption, "File - download");
    // A device file that is not there.
    EXPECT_EQ(transfer(monitor).Upload((folder / "x.bin").string(), "A:\\NONE.BIN"),
              TransferResult::DeviceFailed);
    EXPECT_EQ(view.messages.back().text, "File upload error\n\n<A:\\NONE.BIN>\n\nFile not found");
    EXPECT_FALSE(fs::exists(folder / "x.bin"));
    // The device is ready for the next command after each of them.
    writeFile(folder / "small.bin", "abc");
    EXPECT_EQ(transfer(monitor).DownloadFile((folder / "small.bin").string(), "A:\\", "S.BIN"), 0);
}

TEST_F(SimTransfer, ACopyCutOffMidwayRemovesTheFileItMadeAndNamesTheOneItSpoiled) {
    writeFile(folder / "in.bin", pattern(10 * 1024));
    writeFile(drive('A') / "OLD.BIN", "old");
    struct Case {
        const char* name;
        bool removed;
    };
    for (const Case c : {Case{"NEW.BIN", true}, Case{"OLD.BIN", false}}) {
        SCOPED_TRACE(c.name);
        // The cable comes out during the fourth frame and is back a second later.
        cable->pullAfter(200 + 3 * 515, 1000ms);
        FileTransfer copy = transfer(monitor);
        EXPECT_EQ(copy.Download((folder / "in.bin").string(), "A:\\", c.name),
                  TransferResult::DeviceFailed);
        const std::string path = std::string("A:\\") + c.name;
        const std::string note =
            c.removed ? "The incomplete file <" + path + "> was removed from the controller."
                      : "The file <" + path + "> on the controller is incomplete.";
        EXPECT_EQ(view.messages.back().text, "Error on file - Download\n\n" + note);
        EXPECT_EQ(view.statuses.back(), note);
        EXPECT_EQ(fs::exists(drive('A') / c.name), !c.removed);
        EXPECT_EQ(copy.incompleteFile(), c.removed ? "" : path);
    }
    // The controller takes commands again.
    EXPECT_EQ(transfer(monitor).Download((folder / "in.bin").string(), "A:\\", "OLD.BIN"),
              TransferResult::Copied);
}

TEST_F(SimTransfer, NamesWithBlanksAndLatin1Characters) {
    writeFile(folder / "a.txt", "x y");
    const std::string name = "\xC4nderung \"1\".txt";  // a quote cannot be sent
    EXPECT_EQ(transfer(monitor).Download((folder / "a.txt").string(), "A:\\", name),
              TransferResult::Failed);
    const std::string latin = "\xC4nderung 19 chars.T";
    ASSERT_EQ(transfer(monitor).DownloadFile((folder / "a.txt").string(), "A:\\", latin), 0);
    EXPECT_EQ(readFile(drive('A') / Latin1ToUtf8(latin)), "x y");  // the host name is UTF-8
    ASSERT_EQ(transfer(monitor).UploadFile((folder / "b.txt").string(), "a:\\" + latin), 0);
    EXPECT_EQ(readFile(folder / "b.txt"), "x y");
}

TEST_F(SimTransfer, ADriveTheDeviceDoesNotHaveIsRefusedBeforeAnythingIsSent) {
    device.driveSizes = {1024, 0, 256};
    EXPECT_EQ(transfer(monitor).Upload((folder / "x").string(), "B:\\X"), TransferResult::Failed);
    EXPECT_EQ(view.messages.back().text, "The drive is not available");
    EXPECT_EQ(view.messages.back().caption, "File - upload");
}

// Asks the operation to stop once `stopAt` bytes of a transfer are done.
class StoppingView : public RecordingView {
  public:
    void setTransferred(uint64_t done, uint64_t total) override {
        RecordingView::setTransferred(done, total);
        if (done >= stopAt && done < total) RequestStop(StopCause::Operator);
    }
    uint64_t stopAt = 0;
};

TEST_F(SimTransfer, AStopBetweenFramesEndsEitherDirectionThere) {
    fs::create_directories(drive('A') / "DATA");
    const std::string bytes = pattern(70000);
    writeFile(drive('A') / "DATA" / "OLD.BIN", bytes);
    writeFile(folder / "out.bin", bytes);
    struct Case {
        bool upload;
        std::string status;
        bool warned;  // the controller holds a cut file: a message box says so
    };
    const Case cases[] = {
        {false, "Stopped: the device file <A:\\DATA\\NEW.BIN> is incomplete.", true},
        {true, "Stopped: <A:\\DATA\\OLD.BIN> was not copied.", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.upload);
        ResetStopRequest();
        StoppingView stopping;
        stopping.stopAt = 1000;  // the simulator's first dump frame
        bool replace = false;    // no question: the old PC file is there on purpose
        FileTransfer stopped({monitor, stopping, device, replace, {}});
        writeFile(folder / "back.bin", "old");
        const TransferResult result =
            c.upload ? stopped.Upload((folder / "back.bin").string(), "A:\\DATA\\OLD.BIN")
                     : stopped.Download((folder / "out.bin").string(), "A:\\DATA\\", "NEW.BIN");
        ResetStopRequest();
        EXPECT_EQ(result, TransferResult::Stopped);
        EXPECT_EQ(stopping.statuses.back(), c.status);
        EXPECT_EQ(stopping.messages.size(), c.warned ? 1u : 0u);
        // Stopped early, not at the end; the PC file is as it was.
        ASSERT_FALSE(stopping.transfers.empty());
        EXPECT_LT(stopping.transfers.back().first, 70000u);
        EXPECT_EQ(readFile(folder / "back.bin"), "old");
        // The monitor takes the next command at once.
        fs::remove(folder / "again.bin");
        EXPECT_EQ(
            transfer(monitor).UploadFile((folder / "again.bin").string(), "A:\\DATA\\OLD.BIN"), 0);
        EXPECT_EQ(readFile(folder / "again.bin"), bytes);
    }
    EXPECT_LT(fs::file_size(drive('A') / "DATA" / "NEW.BIN"), 70000u);
}

// --- against a scripted device ---------------------------------------------------------------

class ScriptedTransfer : public TransferFolder {
  protected:
    ScriptedTransfer()
        : port(new ScriptedPort(clock)),
          serial([this] { return std::unique_ptr<PortBackend>(port); }, clock),
          monitor(serial) {
        serial.Open("COM1");
        port->onWrite = [this](const std::string& bytes) { onWrite(bytes); };
    }
    // The device answers a command with `answer` and each PC byte after it with the next of
    // `later` (one reply per byte the PC sends once the command is out).
    void deviceAnswers(const std::string& answer, std::vector<std::string> later = {}) {
        answer_ = answer;
        later_ = std::move(later);
    }
    void onWrite(const std::string& bytes) {
        if (bytes.find("file ") == 0) {
            port->arrive(bytes.substr(0, bytes.size() - 1) + answer_, 1ms);
            commandSent_ = true;
        } else if (commandSent_ && !later_.empty()) {
            port->arrive(later_.front(), 1ms);
            later_.erase(later_.begin());
        }
    }
    // Everything the PC sent after its command line.
    std::string afterCommand() const {
        return port->written.substr(port->written.find('\r', port->written.find("file ")) + 1);
    }

    ScriptedPort* port;  // owned by the serial link
    CSerial serial;
    MonitorExchange monitor;
    std::string answer_;
    std::vector<std::string> later_;
    bool commandSent_ = false;
};

constexpr char kSizeLine[] = "\r\n      1000";

TEST_F(ScriptedTransfer, UploadFailuresLeaveTheOldPcFileAsItWas) {
    const std::string good = frameOf(std::string(900, 'a'));
    std::string badSum = frameOf(std::string(1000, 'b'));
    badSum.back() = char(badSum.back() ^ 1);
    struct Case {
        const char* what;
        std::string answer;
        std::vector<std::string> later;
        std::string pcAnswers;  // what the PC sent back
        std::string message;
    };
    const Case cases[] = {
        {"wrong checksum", kSizeLine + ("Z" + badSum), {}, "e", "File upload error"},
        {"900 of 1000 bytes",
         kSizeLine + ("Z" + good),
         {"\r\nBoot> "},
         ".",
         "File upload error\n\nThe device announced 1000 bytes and sent 900."},
        {"silence after a frame", kSizeLine + ("Z" + good), {}, ".", "File upload error"},
        {"a frame cut short", kSizeLine + ("Z" + good.substr(0, 500)), {}, "", "File upload error"},
        {"more than announced",
         kSizeLine + ("Z" + frameOf(std::string(1001, 'c'))),
         {},
         "e",
         "File upload error\n\nThe device sent more than the 1000 bytes it announced."},
        {"no prompt",
         kSizeLine + ("Z" + frameOf(std::string(1000, 'd'))),
         {"\r\n"},
         ".",
         "File upload error\n\nTimeout"},
        {"short header",
         "\r\nBoot> ",
         {},
         "",
         "File upload error\n\n<A:\\F.BIN>\n\nFile not found"},
        {"no number",
         "\r\n    abcdef",
         {},
         "",
         "File upload error\n\n<A:\\F.BIN>\n\nFile not found"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        port->written.clear();
        commandSent_ = false;
        view.messages.clear();
        writeFile(folder / "keep.bin", "old contents");
        deviceAnswers(c.answer, c.later);
        ask = false;
        EXPECT_EQ(transfer(monitor).UploadFile((folder / "keep.bin").string(), "A:\\F.BIN"), 1);
        EXPECT_EQ(readFile(folder / "keep.bin"), "old contents");
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].text, c.message);
        EXPECT_EQ(afterCommand(), c.pcAnswers);
        EXPECT_EQ(fs::directory_iterator(folder)->path().filename(), "keep.bin");  // no leftovers
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
    }
}

TEST_F(ScriptedTransfer, TheDumpAfterAnEndedDumpWaitsForItsEnd) {
    // The device answers in order: the prompt that ends a refused dump comes 50 ms after
    // the PC's "e", and the answer to the next command after it.
    std::string badSum = frameOf("abc");
    badSum.back() = char(badSum.back() ^ 1);
    int dumps = 0;
    port->onWrite = [&](const std::string& bytes) {
        if (bytes.find("file dump") == 0)
            port->arrive(bytes.substr(0, bytes.size() - 1) + "\r\n         3Z" +
                             (dumps++ == 0 ? badSum : frameOf("abc")),
                         60ms);
        else if (bytes == "e" || bytes == ".")
            port->arrive("\r\nBoot> ", 50ms);
    };
    ask = false;
    EXPECT_EQ(transfer(monitor).Upload((folder / "f.bin").string(), "A:\\F.BIN"),
              TransferResult::DeviceFailed);
    EXPECT_EQ(transfer(monitor).Upload((folder / "f.bin").string(), "A:\\F.BIN"),
              TransferResult::Copied)
        << view.messages.back().text;
    EXPECT_EQ(readFile(folder / "f.bin"), "abc");
}

TEST_F(ScriptedTransfer, AGoodUploadReplacesTheFileOnlyAtTheEnd) {
    writeFile(folder / "keep.bin", "old");
    fs::create_symlink("keep.bin", folder / "link.bin");
    deviceAnswers(std::string("\r\n         5") + "Z" + frameOf("12") + "Z" + frameOf(""),
                  {"", "Z" + frameOf("345"), "\r\nBoot> "});
    // Frames of 2, 0 and 3 bytes; the symlink is followed to the file it names.
    ask = false;
    ASSERT_EQ(transfer(monitor).UploadFile((folder / "link.bin").string(), "A:\\F.BIN"), 0)
        << view.messages.back().text;
    EXPECT_EQ(readFile(folder / "keep.bin"), "12345");
    EXPECT_TRUE(fs::is_symlink(folder / "link.bin"));
    EXPECT_EQ(afterCommand(), "...");
    EXPECT_EQ(view.statuses.back(),
              "Copied <A:\\F.BIN> to " + (folder / "link.bin").string() + " (5 bytes)");
}

TEST_F(ScriptedTransfer, NoToReplacingSendsNothingAndKeepsTheFile) {
    writeFile(folder / "keep.bin", "old");
    view.answers = {false};
    EXPECT_EQ(transfer(monitor).Upload((folder / "keep.bin").string(), "A:\\F.BIN"),
              TransferResult::NotCopied);
    EXPECT_EQ(view.questions,
              std::vector<std::string>({(folder / "keep.bin").string() +
                                        "\n\nThe file already exists!\n\nShould the file be "
                                        "overwritten?"}));
    EXPECT_EQ(port->written, "");
    EXPECT_EQ(readFile(folder / "keep.bin"), "old");
}

TEST_F(ScriptedTransfer, PcFilesThatCannotBeWritten) {
    ask = false;
    // Read-only: refused before anything is sent (root may write anything: then skip).
    writeFile(folder / "ro.bin", "old");
    fs::permissions(folder / "ro.bin", fs::perms::owner_read);
    if (::access((folder / "ro.bin").c_str(), W_OK) != 0) {
        EXPECT_EQ(transfer(monitor).Upload((folder / "ro.bin").string(), "A:\\F.BIN"),
                  TransferResult::Failed);
        EXPECT_EQ(port->written, "");
        EXPECT_EQ(readFile(folder / "ro.bin"), "old");
    }
    // A folder where the file should go.
    fs::create_directories(folder / "dir.bin");
    EXPECT_EQ(transfer(monitor).Upload((folder / "dir.bin").string(), "A:\\F.BIN"),
              TransferResult::Failed);
    EXPECT_EQ(port->written, "");
}

TEST_F(ScriptedTransfer, AFullDiskFailsTheUploadAndKeepsTheOldFile) {
    ask = false;
    writeFile(folder / "keep.bin", "old");
    deviceAnswers(std::string("\r\n      3000") + "Z" + frameOf(std::string(3000, 'x')),
                  {"\r\nBoot> "});
    // The process may write files of 1000 bytes at most: the disk is "full" at 1000.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &limit);
    const TransferResult result =
        transfer(monitor).Upload((folder / "keep.bin").string(), "A:\\F.BIN");
    setrlimit(RLIMIT_FSIZE, &saved);
    sigaction(SIGXFSZ, &previous, nullptr);
    EXPECT_EQ(result, TransferResult::Failed);
    EXPECT_EQ(afterCommand(), "e");
    EXPECT_EQ(readFile(folder / "keep.bin"), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(ScriptedTransfer, DownloadAcknowledgementsChooseTheMessage) {
    writeFile(folder / "in.bin", pattern(1025));
    const std::pair<std::string, std::string> cases[] = {
        {" ", "Error on file - Download\n\rFile could not be opened to write."},
        {"c", "Error on file - Download\n\rChecksum error"},
        {"e", "Error on file - Download\n\rOut of memory"},
        {"x", "Error on file - Download"},
        {"", "Error on file - Download"},
    };
    for (const auto& [ack, message] : cases) {
        SCOPED_TRACE("ack '" + ack + "'");
        port->written.clear();
        commandSent_ = false;
        view.messages.clear();
        deviceAnswers("\r\n", {".", ack});
        EXPECT_EQ(transfer(monitor).Download((folder / "in.bin").string(), "A:\\", "IN.BIN"),
                  TransferResult::DeviceFailed);
        // The listing did not answer: the file may have been there, and is only named.
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].text,
                  message + "\n\nThe file <A:\\IN.BIN> on the controller is incomplete.");
        EXPECT_EQ(view.messages[0].caption,
                  ack == " " || ack == "c" || ack == "e" ? "File - download" : "");
        // Two frames went out: 512 bytes, then the second, after which the device refused;
        // then the empty line that wakes the monitor.
        EXPECT_EQ(afterCommand(), frameOf(pattern(1025).substr(0, 512)) +
                                      frameOf(pattern(1025).substr(512, 512)) + "\r");
    }
}

TEST_F(ScriptedTransfer, NamesLongerThanAListingShowsAreRefusedBeforeAnyByte) {
    writeFile(folder / "in.bin", "x");
    const std::pair<const char*, const char*> refused[] = {
        {"A:\\DATA\\", "averyveryverylongfilename.txt"},  // the window and /d
        {"", "A:\\DATA\\averyveryverylongfilename.txt"},  // a script's whole path
        {"A:\\", "123456789012345678901"},
    };
    for (const auto& [deviceFolder, name] : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(transfer(monitor).Download((folder / "in.bin").string(), deviceFolder, name),
                  TransferResult::Failed);
        EXPECT_NE(view.messages.back().text.find("names of at most 20 characters"),
                  std::string::npos)
            << view.messages.back().text;
        EXPECT_EQ(port->written, "");
    }
}

TEST_F(ScriptedTransfer, DownloadSendsFramesOf512AndWaitsForThePrompt) {
    writeFile(folder / "in.bin", pattern(1025));
    deviceAnswers("\r\n", {".", ".", ".\r\nBoot> "});
    ASSERT_EQ(transfer(monitor).DownloadFile((folder / "in.bin").string(), "A:\\D\\", "IN.BIN"), 0);
    EXPECT_NE(port->written.find("file load \"A:\\D\\IN.BIN\" 3\r"), std::string::npos);
    const std::string bytes = pattern(1025);
    EXPECT_EQ(afterCommand(), frameOf(bytes.substr(0, 512)) + frameOf(bytes.substr(512, 512)) +
                                  frameOf(bytes.substr(1024)));
    EXPECT_EQ(view.statuses.back(),
              "Copied " + (folder / "in.bin").string() + " to <A:\\D\\IN.BIN> (1025 bytes)");
}

TEST_F(ScriptedTransfer, AnEmptyFileAcceptsThePromptInTheSameReadAsTheEcho) {
    writeFile(folder / "empty.bin", "");
    deviceAnswers("\r\n\r\nBoot> ");
    EXPECT_EQ(transfer(monitor).DownloadFile((folder / "empty.bin").string(), "A:\\", "E"), 0);
    EXPECT_NE(port->written.find("file load \"A:\\E\" 0\r"), std::string::npos);
}

TEST_F(ScriptedTransfer, PcFilesThatCannotBeReadSendNothing) {
    fs::create_directories(folder / "dir");
    for (const fs::path& path : {folder / "missing.bin", folder / "dir"}) {
        SCOPED_TRACE(path.string());
        view.messages.clear();
        EXPECT_EQ(transfer(monitor).Download(path.string(), "A:\\", "X"), TransferResult::Failed);
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0].text, "File read error\n\n" + path.string());
    }
    writeFile(folder / "in.bin", "x");
    EXPECT_EQ(transfer(monitor).Download((folder / "in.bin").string(), "A:\\", ""),
              TransferResult::Failed);
    EXPECT_EQ(port->written, "");
}

TEST(TransferFrame, ChecksumIsTheComplementOfTheByteSum) {
    const uint8_t data[] = {0x01, 0x02, 0xff};
    EXPECT_EQ(FrameChecksum(data), uint8_t(~uint8_t(0x01 + 0x02 + 0xff)));
    EXPECT_EQ(EncodeFrame(data), std::vector<uint8_t>({0x00, 0x03, 0x01, 0x02, 0xff, 0xfd}));
    EXPECT_EQ(FrameChecksum({}), 0xff);
    // A frame of 65535 bytes needs its eleven seconds on the slowest line.
    EXPECT_GE(WireTime(65535 + 1), 11000ms);
}

}  // namespace
}  // namespace tarmix
