// The boot loader update against the simulated controller on the virtual clock: every
// procedure to its end, the checks before anything is sent, records damaged on the way in
// (nothing is erased), answers worded otherwise after the erase (the update goes on), the
// images typed at a raised rate, and a controller that falls silent in the middle of each
// step.
#include "flash/boot_loader_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "lang/catalog.h"
#include "link/identify.h"
#include "platform/stop_request.h"
#include "sim/boot_library.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "support/ask.h"
#include "support/recording_view.h"
#include "support/sent_lines.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The controller falls silent once a line that starts with `trigger` has been sent: only
// `allowance` more bytes of its answers arrive. With `portGone` its port cannot be opened
// any more either, as a USB device that does not come back.
struct Stall {
    std::string trigger;
    size_t allowance = 0;
    bool portGone = false;
    bool fired = false;
};

// Changes on the line: `onWrite` sees (and may change) every write, and the answer to a
// line that starts with `answerTo` arrives with each byte passed through `answerMap`, until
// the next write.
struct Tamper {
    std::function<void(std::string&)> onWrite;
    std::string answerTo;
    std::function<char(char)> answerMap;
};

class StallingPort final : public PortBackend {
  public:
    StallingPort(sim::Controller& controller, VirtualClock& clock, Stall& stall, Tamper& tamper)
        : inner_(controller, clock), clock_(clock), stall_(stall), tamper_(tamper) {}
    bool open(const std::string& name) override {
        return !(stall_.portGone && stall_.fired) && inner_.open(name);
    }
    void close() override { inner_.close(); }
    bool isOpen() const override { return inner_.isOpen(); }
    bool configure(uint32_t baud) override { return inner_.configure(baud); }
    long bytesWaiting() override {
        const long waiting = inner_.bytesWaiting();
        return armed_ && waiting > 0 ? std::min<long>(waiting, long(left_)) : waiting;
    }
    long read(uint8_t* data, size_t capacity) override {
        const long got = inner_.read(data, armed_ ? std::min(capacity, left_) : capacity);
        if (armed_ && got > 0) left_ -= size_t(got);
        for (long i = 0; mapping_ && i < got; ++i)
            data[i] = uint8_t(tamper_.answerMap(char(data[i])));
        return got;
    }
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        std::string line(reinterpret_cast<const char*>(data), count);
        if (!armed_ && !stall_.trigger.empty() && line.rfind(stall_.trigger, 0) == 0) {
            armed_ = stall_.fired = true;
            left_ = stall_.allowance;
        }
        if (tamper_.onWrite) tamper_.onWrite(line);
        mapping_ = tamper_.answerMap && line.rfind(tamper_.answerTo, 0) == 0;
        // The simulated monitor answers the bytes it got; the caller hears that all went out.
        return inner_.write(reinterpret_cast<const uint8_t*>(line.data()), line.size(), timeout) ==
                       long(line.size())
                   ? long(count)
                   : -1;
    }
    void waitForInput(Millis timeout) override {
        if (armed_ && left_ == 0)
            clock_.sleep(timeout);
        else
            inner_.waitForInput(timeout);
    }

  private:
    sim::InProcessPort inner_;
    VirtualClock& clock_;
    Stall& stall_;
    Tamper& tamper_;
    bool mapping_ = false;
    bool armed_ = false;
    size_t left_ = 0;
};

class BootLoaderUpdateTest : public ::testing::Test {
  public:
    void SetUp() override {
        fs::create_directories(library);
        setLanguageIndex(kEnglishLanguage);
    }
    void TearDown() override {
        fs::remove_all(folder);
        setLanguageIndex(kGermanLanguage);
    }

    void connect(const std::string& keyword, int firmware) {
        simulated = sim::findModel(keyword);
        controller = std::make_unique<sim::Controller>(*simulated, clock);
        controller->setFirmware(firmware);
        serial = std::make_unique<CSerial>(
            [this] { return std::make_unique<StallingPort>(*controller, clock, stall, tamper); },
            clock);
        serial->Open("COM1");
        serial->Configure(57600);
        serial->setObserver(&sent);
        monitor = std::make_unique<MonitorExchange>(*serial);
        device = DeviceDescription{};
        identifyModel(testing::Ask(*monitor, "please answer me"), device, "");
        applyVersion(device, parseVersionAnswer(testing::Ask(*monitor, "tell version")));
        int32_t baudRate = 57600;
        applyBaudCapabilities(device, baudRate);  // the extended flag, as the watch sets it
        device.deviceIdentified = true;
        std::string error;
        ASSERT_EQ(sim::MakeBootLibrary(*simulated, kNewVersion, firmware, library, error), 0)
            << error;
        sent.lines.clear();
    }
    int update(int32_t identifiedModel = -1, bool usb = false) {
        BootLoaderUpdate run({*monitor, view, device, library, usb,
                              identifiedModel < 0 ? device.hardwareModel : identifiedModel, verify,
                              false, baudRate});
        return run.UpdateBootLoader();
    }
    std::vector<uint8_t> bootArea() const {
        return controller->memory().read(simulated->flashBanks.front().start, 0x20000);
    }
    std::string lastMessage() const {
        return view.messages.empty() ? "" : view.messages.back().text;
    }
    // A line that starts with `prefix` was sent after the first that starts with `trigger`.
    bool sentAfter(const std::string& trigger, const std::string& prefix) const {
        auto at = std::find_if(sent.lines.begin(), sent.lines.end(),
                               [&](const auto& line) { return line.rfind(trigger, 0) == 0; });
        return at != sent.lines.end() &&
               std::any_of(at + 1, sent.lines.end(),
                           [&](const auto& line) { return line.rfind(prefix, 0) == 0; });
    }
    void rewrite(const std::string& name, const std::function<void(std::string&)>& change) {
        std::ifstream in(library / name, std::ios::binary);
        std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        in.close();
        change(text);
        std::ofstream(library / name, std::ios::binary | std::ios::trunc) << text;
    }

    static constexpr int kNewVersion = 41;
    fs::path folder =
        fs::path(::testing::TempDir()) /
        ("boot-update-" +
         std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::path library = folder / "Library";
    VirtualClock clock;
    Stall stall;
    Tamper tamper;
    bool verify = false;
    uint32_t baudRate = 57600;
    const sim::ModelSpec* simulated = nullptr;
    std::unique_ptr<sim::Controller> controller;
    std::unique_ptr<CSerial> serial;
    std::unique_ptr<MonitorExchange> monitor;
    testing::SentLines sent;
    testing::RecordingView view;
    DeviceDescription device;
};

struct Procedure {
    const char* model;
    int firmware;
    bool extended;
    int32_t runsAs;
    const char* program;  // the programming command the run must send
    bool verify = false;  // the images are read back from RAM before the erase
};

class EveryProcedure : public BootLoaderUpdateTest,
                       public ::testing::WithParamInterface<Procedure> {};

TEST_P(EveryProcedure, RestartsWithTheProgrammedBootLoader) {
    const Procedure p = GetParam();
    connect(p.model, p.firmware);
    device.extendedFirmware = p.extended;
    verify = p.verify;
    ASSERT_EQ(update(), 0) << lastMessage();
    EXPECT_TRUE(sent.any(p.program));
    EXPECT_EQ(sent.any("read "), p.verify);
    EXPECT_EQ(device.hardwareModel, p.runsAs);
    EXPECT_FALSE(device.deviceIdentified);

    std::string answer;
    ASSERT_TRUE(monitor->SendAndWaitPrompt("tell version", answer, 999, Wait::Scaled(500ms)).ok());
    EXPECT_EQ(parseVersionAnswer(answer), kNewVersion);
    const auto place = sim::BootImagePlaceFor(p.runsAs, p.firmware);
    ASSERT_TRUE(place);
    EXPECT_EQ(controller->memory().read(simulated->flashBanks.front().start, place->bootLoaderSize),
              sim::BootLoaderBytes(p.runsAs, kNewVersion, place->bootLoaderSize));
}

INSTANTIATE_TEST_SUITE_P(
    Models, EveryProcedure,
    ::testing::Values(
        Procedure{"alder", 30, true, 12, "flash program   100000 00c20000 20000", true},
        Procedure{"small-alder", 24, false, 9, "flash program        0 00c10000 10000"},
        Procedure{"small-alder", 25, false, 9, "flash program        0 00c20000 10000"},
        Procedure{"dispenser", 30, false, 10, "flash program        0 00c20000 20000"},
        Procedure{"dmx610", 30, false, 11, "flash program a0000000 ac100000 20000"},
        Procedure{"alder177", 30, false, 3, "flash program a0000000 b0300000 10000"},
        Procedure{"core510", 8, false, 5, "flash program 0 00c10000 10000"},
        Procedure{"vantix", 30, false, 17, "flash program 0 83d00000 40000", true}),
    [](const auto& info) {
        return std::string(info.param.model == std::string("small-alder") ? "smallalder"
                                                                          : info.param.model) +
               "_v" + std::to_string(info.param.firmware);
    });

TEST_F(BootLoaderUpdateTest, TheSectorCommandsFollowTheFirstAnswer) {
    connect("dispenser", 30);
    ASSERT_EQ(update(), 0) << lastMessage();
    const std::vector<std::string> erases = [&] {
        std::vector<std::string> found;
        std::copy_if(sent.lines.begin(), sent.lines.end(), std::back_inserter(found),
                     [](const auto& line) { return line.rfind("flash erase", 0) == 0; });
        return found;
    }();
    EXPECT_EQ(erases,
              (std::vector<std::string>{"flash erase sector     8000", "flash erase sector 6000",
                                        "flash erase sector 4000", "flash erase sector 0",
                                        "flash erase sector 00010000"}));
    EXPECT_NE(std::find(view.statuses.begin(), view.statuses.end(), "Erase Boot - sector #4"),
              view.statuses.end());
}

TEST_F(BootLoaderUpdateTest, LibraryFilesFromOtherSystemsAreTaken) {
    // Upper-case names and LF-only line ends.
    connect("kestrel", 30);
    for (const char* name : {"BootKsb.rom", "BootinitKsb.rom"}) {
        rewrite(name, [](std::string& text) { std::erase(text, '\r'); });
        std::string upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        fs::rename(library / name, library / upper);
    }
    EXPECT_EQ(MissingLibraryFile(device, library), "");
    ASSERT_EQ(update(), 0) << lastMessage();
    // Every record after the first still goes out as LF, record, CR.
    EXPECT_TRUE(sent.any("\nS3"));
}

struct Refusal {
    const char* name;
    std::function<void(BootLoaderUpdateTest&)> spoil;
    const char* message;
};

class Refusals : public BootLoaderUpdateTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(Refusals, NothingIsSent) {
    connect("alder", 30);
    GetParam().spoil(*this);
    EXPECT_EQ(update(device.hardwareModel == 4 ? 1 : -1), 1);
    EXPECT_TRUE(sent.lines.empty()) << sent.lines.front();
    EXPECT_NE(lastMessage().find(GetParam().message), std::string::npos) << lastMessage();
    EXPECT_TRUE(device.deviceIdentified);
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, Refusals,
    ::testing::Values(
        Refusal{"MissingImage", [](auto& t) { fs::remove(t.library / "Boot.rom"); },
                "\"Boot.rom\" is not in the folder"},
        Refusal{"EmptyImage",
                [](auto& t) { t.rewrite("Boot.rom", [](std::string& s) { s.clear(); }); },
                "\"Boot.rom\" holds no data records"},
        Refusal{"BinaryImage",
                [](auto& t) {
                    t.rewrite("Bootinit.rom", [](std::string& s) { s[s.find('\n') + 9] = '\0'; });
                },
                "\"Bootinit.rom\", line 2: not an S-record"},
        Refusal{"WrongChecksum",
                [](auto& t) {
                    t.rewrite("Boot.rom", [](std::string& s) {
                        const size_t line5 = s.find("\nS3", s.find("\nS3", s.find("\nS3") + 1) + 1);
                        s[line5 + 20] = s[line5 + 20] == '0' ? '1' : '0';
                    });
                },
                "\"Boot.rom\", line 4: the checksum is wrong"},
        Refusal{"LongLine",
                [](auto& t) {
                    t.rewrite("Boot.rom",
                              [](std::string& s) { s.insert(s.find("\r\nS7"), 96, '0'); });
                },
                "longer than 98 characters"},
        Refusal{"UnknownVersion", [](auto& t) { t.device.firmwareVersion = 0; },
                "monitor version of the controller is not known"},
        Refusal{"AnotherModel", [](auto& t) { t.device.hardwareModel = 4; },
                "not the connected controller's"},
        Refusal{"NoUpdateForTheModel", [](auto& t) { t.device.hardwareModel = 2; },
                "Hardware supports no firmware - update"}),
    [](const auto& info) { return std::string(info.param.name); });

struct Silence {
    const char* model;
    const char* trigger;
    size_t allowance;
    bool eraseSent;
};

class SilentController : public BootLoaderUpdateTest,
                         public ::testing::WithParamInterface<Silence> {};

TEST_P(SilentController, EndsWithoutAnotherErase) {
    const Silence s = GetParam();
    connect(s.model, 30);
    stall = {s.trigger, s.allowance};
    EXPECT_EQ(update(), 1);
    EXPECT_TRUE(sent.any(s.trigger));
    EXPECT_FALSE(sentAfter(s.trigger, "flash erase"));
    EXPECT_FALSE(sentAfter(s.trigger, "flash program"));
    EXPECT_EQ(sent.any("flash erase"), s.eraseSent);
    EXPECT_EQ(lastMessage().find("may be erased") != std::string::npos, s.eraseSent)
        << lastMessage();
    EXPECT_FALSE(device.deviceIdentified);
}

INSTANTIATE_TEST_SUITE_P(
    EveryStep, SilentController,
    ::testing::Values(Silence{"alder ext", "fill", 0, false},
                      Silence{"alder ext", "s3offset ff3E", 0, false},
                      Silence{"alder ext", "\nS3", 0, false},
                      Silence{"alder ext", "s3offset fffE", 0, false},
                      // The echo and " Sector #" arrive, the number does not: the extra
                      // sector must not be erased either.
                      Silence{"alder ext", "flash erase sector   108000", 38, true},
                      Silence{"alder ext", "flash erase sector 106000", 0, true},
                      Silence{"alder ext", "flash program", 0, true},
                      Silence{"alder ext", "call 40", 0, true}, Silence{"vantix", "fill", 0, false},
                      // The erase stops after three of its sixteen dots.
                      Silence{"vantix", "flash erase bootloader", 41, true}),
    [](const auto& info) { return "step" + std::to_string(info.index); });

// Every n-th write that starts with `prefix` goes through `change`.
std::function<void(std::string&)> changeWrite(std::string prefix, int n,
                                              std::function<void(std::string&)> change) {
    return [=, seen = 0](std::string& line) mutable {
        if (line.rfind(prefix, 0) == 0 && ++seen == n) change(line);
    };
}

// A stop request ends the update between two image lines, before anything is erased; once
// the erase has begun the update runs to its end and says that it finished.
TEST_F(BootLoaderUpdateTest, AStopIsTakenBeforeTheEraseOnly) {
    const struct {
        const char* stopAfter;  // the line after which the stop is requested
        int result;
        const char* message;
        MessageIcon icon;
    } cases[] = {
        {"\nS3", 1, "Stopped before the erase: the boot loader is unchanged.",
         MessageIcon::Warning},
        {"flash erase", 0, "The boot loader update finished", MessageIcon::Information},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stopAfter);
        connect("alder", 30);
        const size_t shown = view.messages.size();
        const std::vector<uint8_t> before = bootArea();
        tamper.onWrite =
            changeWrite(c.stopAfter, 3, [](std::string&) { RequestStop(StopCause::Operator); });
        const int result = update();
        ResetStopRequest();
        EXPECT_EQ(result, c.result) << lastMessage();
        EXPECT_EQ(sent.any("flash erase"), c.result == 0);
        EXPECT_EQ(bootArea() == before, c.result != 0);
        ASSERT_EQ(view.messages.size(), shown + 1) << lastMessage();
        EXPECT_EQ(view.messages.back().text.rfind(c.message, 0), 0u) << lastMessage();
        EXPECT_EQ(view.messages.back().icon, c.icon);
    }
}

struct Damage {
    const char* name;
    bool verify;
    std::function<void(BootLoaderUpdateTest&)> arrange;
    const char* message;
};

class DamagedBeforeTheErase : public BootLoaderUpdateTest,
                              public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedBeforeTheErase, NothingIsErased) {
    connect("alder", 30);
    verify = GetParam().verify;
    GetParam().arrange(*this);
    const std::vector<uint8_t> before = bootArea();
    EXPECT_EQ(update(), 1);
    EXPECT_FALSE(sent.any("flash erase"));
    EXPECT_FALSE(sent.any("flash program"));
    EXPECT_EQ(bootArea(), before);
    EXPECT_NE(lastMessage().find(GetParam().message), std::string::npos) << lastMessage();
    EXPECT_NE(lastMessage().find("Nothing was erased"), std::string::npos) << lastMessage();
}

INSTANTIATE_TEST_SUITE_P(
    OnTheLine, DamagedBeforeTheErase,
    ::testing::Values(
        // A flipped bit in a record's digits: the monitor refuses the record.
        Damage{"RefusedRecord", false,
               [](auto& t) {
                   t.tamper.onWrite =
                       changeWrite("\nS3", 5, [](std::string& line) { line[14] ^= 0x01; });
               },
               "answers to Bootinit.rom differ from the lines sent, at line 6"},
        // The line feed before a record turns into a letter: the line is no record at all.
        Damage{"LineFeedChanged", false,
               [](auto& t) {
                   t.tamper.onWrite =
                       changeWrite("\nS3", 40, [](std::string& line) { line[0] ^= 0x40; });
               },
               "differ from the lines sent"},
        // The monitor took the record, but its echo came back changed: taken as damage.
        Damage{"EchoChanged", false,
               [](auto& t) {
                   t.tamper.answerTo = "\nS3";
                   t.tamper.answerMap = [n = 0](char c) mutable {
                       return ++n == 3000 ? char(c ^ 0x04) : c;
                   };
               },
               "differ from the lines sent"},
        // RAM that no longer holds what was typed: only the read back sees it.
        Damage{"RamChangedBehindTheEcho", true,
               [](auto& t) {
                   t.tamper.onWrite = changeWrite("read ", 1, [&t](std::string&) {
                       t.controller->memory().store(0x00c20010, std::vector<uint8_t>{0x5a});
                   });
               },
               "Boot.rom differs from the controller's RAM at 0x00C20010"}),
    [](const auto& info) { return std::string(info.param.name); });

// The controller restarts (as at a power dip) instead of taking the first line that starts
// with `prefix`.
std::function<void(BootLoaderUpdateTest&)> restartAt(std::string prefix) {
    return [prefix](BootLoaderUpdateTest& t) {
        t.tamper.onWrite = changeWrite(prefix, 1, [&t](std::string& line) {
            t.controller->powerCycle();
            line.clear();
        });
    };
}

struct Wording {
    const char* name;
    const char* model;
    std::function<void(BootLoaderUpdateTest&)> arrange;
    bool programmed;  // the programming still followed, and the new boot loader runs
};

class AfterTheErase : public BootLoaderUpdateTest, public ::testing::WithParamInterface<Wording> {};

TEST_P(AfterTheErase, OnlyAnErrorOrSilenceStopsTheUpdate) {
    connect(GetParam().model, 30);
    GetParam().arrange(*this);
    EXPECT_EQ(update(), GetParam().programmed ? 0 : 1) << lastMessage();
    EXPECT_EQ(sent.any("flash program"), GetParam().programmed);
    std::string answer;
    if (GetParam().programmed) {
        ASSERT_TRUE(
            monitor->SendAndWaitPrompt("tell version", answer, 999, Wait::Scaled(500ms)).ok());
        EXPECT_EQ(parseVersionAnswer(answer), kNewVersion);
    } else {
        EXPECT_NE(lastMessage().find("may be erased"), std::string::npos) << lastMessage();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AfterTheErase,
    ::testing::Values(
        // No sector number in the first answer: every further sector is erased too.
        Wording{"SectorNumberMissing", "dispenser",
                [](auto& t) {
                    t.tamper.answerTo = "flash erase sector     8000";
                    t.tamper.answerMap = [](char c) { return c == '#' ? '-' : c; };
                },
                true},
        // Other dots, "ERASE DONE" and even the prompt in capitals.
        Wording{"EraseAnswerWordedOtherwise", "vantix",
                [](auto& t) {
                    t.tamper.answerTo = "flash erase bootloader";
                    t.tamper.answerMap = [](char c) {
                        return c == '.' ? '*' : char(std::toupper(static_cast<unsigned char>(c)));
                    };
                },
                true},
        // The controller restarts as an erase command reaches it, which clears the RAM the
        // images wait in: they are typed again before anything is programmed.
        Wording{"RestartAtTheFirstSector", "dispenser", restartAt("flash erase sector"), true},
        Wording{"RestartAtTheWholeErase", "vantix", restartAt("flash erase bootloader"), true},
        // The monitor reports an error for a further sector.
        Wording{"FurtherSectorRefused", "dispenser",
                [](auto& t) {
                    t.tamper.onWrite = changeWrite(
                        "flash erase sector 4000", 1,
                        [](std::string& line) { line = "flash erase sector f4000000\r"; });
                },
                false}),
    [](const auto& info) { return std::string(info.param.name); });

class ChosenRate : public BootLoaderUpdateTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ChosenRate, TypesTheImagesFastAndIsBackAt57600BeforeAnyErase) {
    const bool damaged = GetParam();
    connect("alder", 30);
    baudRate = 115200;
    if (damaged)
        tamper.onWrite = changeWrite("\nS3", 5, [](std::string& line) { line[14] ^= 0x01; });
    EXPECT_EQ(update(), damaged ? 1 : 0) << lastMessage();
    const auto first = [&](const std::string& prefix) {
        return std::find_if(sent.lines.begin(), sent.lines.end(),
                            [&](const auto& line) { return line.rfind(prefix, 0) == 0; }) -
               sent.lines.begin();
    };
    EXPECT_LT(first("setbaudrate 115200"), first("\nS3"));
    EXPECT_LT(first("\nS3"), first("setbaudrate 57600"));
    EXPECT_LT(first("setbaudrate 57600"), first("flash erase"));
    EXPECT_EQ(sent.any("flash erase"), !damaged);
    if (damaged) {
        EXPECT_TRUE(monitor->Answers());
    }
}

INSTANTIATE_TEST_SUITE_P(At115200, ChosenRate, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Damaged" : "Whole"; });

TEST_F(BootLoaderUpdateTest, AnErasedBootAreaDiesAtTheNextRestart) {
    connect("heron", 30);
    std::string answer;
    ASSERT_TRUE(
        monitor->SendAndWaitPrompt("flash erase sector   108000", answer, 999, Wait::Scaled(500ms))
            .ok());
    // Still the old monitor until the restart...
    ASSERT_TRUE(monitor->SendAndWaitPrompt("tell version", answer, 999, Wait::Scaled(500ms)).ok());
    EXPECT_FALSE(monitor->SendAndWaitPrompt("call 40", answer, 999, Wait::Scaled(2000ms)).ok());
    // ...and nothing ever after, also when it is switched on again with its saved state.
    EXPECT_FALSE(
        monitor->SendAndWaitPrompt("please answer me", answer, 999, Wait::Scaled(2000ms)).ok());
    EXPECT_TRUE(controller->dead());
    std::string error;
    ASSERT_TRUE(controller->saveState(folder / "state", error)) << error;
    sim::Controller again(*simulated, clock);
    ASSERT_TRUE(again.loadState(folder / "state", error)) << error;
    EXPECT_TRUE(again.dead());
}

TEST_F(BootLoaderUpdateTest, UsbPortThatDoesNotComeBackFailsTheUpdate) {
    connect("dmx610", 30);
    stall = {"call 0", 0, true};
    EXPECT_EQ(update(-1, true), 1);
    EXPECT_FALSE(serial->IsOpen());
    EXPECT_NE(lastMessage().find("may be erased"), std::string::npos);
}

}  // namespace
}  // namespace tarmix
