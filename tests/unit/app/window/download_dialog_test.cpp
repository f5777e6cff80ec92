// The main window's controller against a simulated controller on the virtual clock.
#include "app/window/download_dialog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "app/settings.h"
#include "lang/catalog.h"
#include "lang/text_names.h"
#include "sim/image_maker.h"
#include "window_bench.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;
using testing::WindowBench;

constexpr uint32_t kAlderBankA = 0x110000;

// A small application image for the ALDER panel's bank A, written into the bench folder.
std::string makeImage(WindowBench& bench, uint32_t size = 0x2000) {
    const std::string path = (bench.folder / "app.rom").string();
    std::string error;
    EXPECT_EQ(sim::MakeRomImage(path, kAlderBankA, size, {}, error), 0) << error;
    return path;
}

MainWindowStart unattended(const std::string& word, std::string romFile = "",
                           std::string first = "", std::string second = "") {
    MainWindowStart start;
    start.commandLineMode = true;
    start.commandSwitch = word;
    start.romFilePath = std::move(romFile);
    start.firstPath = std::move(first);
    start.secondPath = std::move(second);
    return start;
}

Settings savedSettings(const WindowBench& bench) {
    Settings settings;
    EXPECT_EQ(ReadSettings(bench.settingsFolder, settings), 0);
    return settings;
}

TEST(MainWindowStart, WithoutAnyPortItSaysSoAndRescans) {
    WindowBench bench("alder");
    bench.noPorts = true;
    bench.makeWindow({});
    bench.window->OnInitDialog();
    EXPECT_EQ(bench.window->ports().selectedPort, -1);
    EXPECT_EQ(bench.view.lastStatus(), "no serial line free");
    EXPECT_EQ(bench.view.timers.at(CDownloadDialog::kRescanTimer), 500ms);
    EXPECT_FALSE(bench.view.timers.contains(CDownloadDialog::kWatchTimer));
    EXPECT_TRUE(bench.tick(CDownloadDialog::kRescanTimer));
    EXPECT_FALSE(bench.view.isEnabled(Control::Com1));
    EXPECT_EQ(bench.view.title, "Tarmix (3.5u)");
    // Nothing to start: the button says so, and a press sends nothing into the void.
    ASSERT_TRUE(bench.view.enabled.contains(Control::StartApplication));
    EXPECT_FALSE(bench.view.isEnabled(Control::StartApplication));
    bench.window->OnStartApplication();
    EXPECT_FALSE(bench.window->applicationRunning());
    EXPECT_TRUE(bench.sent.lines.empty());
}

TEST(MainWindowStart, PortTheUserMayNotOpenSaysHowToGetAccess) {
    WindowBench bench("alder");
    bench.noPorts = true;
    bench.refusal = OpenFailure::NoPermission;
    bench.makeWindow({});
    bench.window->OnInitDialog();
    EXPECT_EQ(bench.view.lastStatus(),
              "no serial line free - Permission denied for sim. Add your user to the group "
              "\"dialout\" (sudo adduser $USER dialout), then log in again.");
}

TEST(MainWindowStart, StoredPortThatIsMissingGivesWayToTheFirstAvailable) {
    WindowBench bench("alder");
    bench.writeSettings("[LANGUAGE]: 1\r\n[COMPORT]: 3\r\n[BAUDRATE]: 9600\r\n");
    bench.window->OnInitDialog();
    EXPECT_EQ(bench.window->ports().selectedPort, 0);
    EXPECT_TRUE(bench.view.isChecked(Control::Com1));
    EXPECT_FALSE(bench.view.isEnabled(Control::Com4));
    EXPECT_EQ(bench.window->baudRate(), 57600);
    EXPECT_TRUE(bench.view.isChecked(Control::Baud57600));
    // Before identification only 57600 may be chosen, and nothing can be started.
    EXPECT_FALSE(bench.view.isEnabled(Control::Baud115200));
    EXPECT_FALSE(bench.view.isEnabled(Control::StartDownload));
    for (Control later : {Control::Backup, Control::UpdateBootloader, Control::ExtendedView})
        EXPECT_FALSE(bench.view.isEnabled(later));
    EXPECT_TRUE(bench.view.isEnabled(Control::TerminalOnOff));
}

// Only the window without a port of the command line gives way to another port. Every other
// run keeps its port: one that cannot be opened is named with its device and the reason,
// an unattended run ends at once with kResultNoPort, and the controller behind COM1 hears
// nothing. The command line's port is not stored.
TEST(MainWindowStart, RunsWithAPortOfTheirOwnNeverTakeAnother) {
    struct Case {
        const char* name;
        MainWindowStart start;
        int storedPort;
        std::optional<int> runPort;
        OpenFailure refusal;
        int selectedPort;  // after the start
        bool connected;    // to the controller behind COM1
        std::string message;
    };
    const Case cases[] = {
        {"window", {}, 1, std::nullopt, OpenFailure::InUse, 0, true, ""},
        {"unattended, stored port in use", unattended("/u", "", "A:\\X", "x"), 1, std::nullopt,
         OpenFailure::InUse, 1, false,
         "Error while open: \n COM2\n/dev/ttyUSB9 is in use by another program."},
        {"unattended, --port unlisted", unattended("/s", "", "", "backup"), 0, 2,
         OpenFailure::NotListed, 2, false,
         "Error while open: \n COM3\nNo serial device stands behind COM3."},
        {"window, --port",
         {},
         0,
         1,
         OpenFailure::NoPermission,
         1,
         false,
         "Error while open: \n COM2\nPermission denied for /dev/ttyUSB9. Add your user to the "
         "group \"dialout\" (sudo adduser $USER dialout), then log in again."},
        {"unattended, --port COM1", unattended("/x"), 1, 0, OpenFailure::InUse, 0, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowBench bench("alder");
        bench.map.setCom(1, {"/dev/ttyUSB9", false});
        bench.refusal = c.refusal;
        bench.writeSettings("[LANGUAGE]: 1\r\n[COMPORT]: " + std::to_string(c.storedPort) + "\r\n");
        MainWindowStart start = c.start;
        start.runPort = c.runPort;
        bench.makeWindow(start);
        bench.window->OnInitDialog();
        EXPECT_EQ(bench.window->ports().selectedPort, c.selectedPort);
        EXPECT_EQ(bench.view.timers.contains(CDownloadDialog::kWatchTimer), c.connected);
        if (c.connected) {
            EXPECT_TRUE(bench.tick());
            EXPECT_EQ(bench.sent.count("please answer me"), 1u);
        } else {
            EXPECT_TRUE(bench.sent.lines.empty());
            ASSERT_EQ(bench.view.messages.size(), 1u);
            EXPECT_EQ(bench.view.messages[0].text, c.message);
            EXPECT_EQ(bench.window->closed(), start.commandLineMode);
            EXPECT_EQ(bench.window->resultCode(),
                      start.commandLineMode ? kResultNoPort : start.resultCode);
        }
        EXPECT_EQ(bench.window->linkPort(), portName(c.selectedPort));
        bench.window->CloseThroughOk();
        EXPECT_EQ(savedSettings(bench).selectedPort, c.runPort ? c.storedPort : c.selectedPort);
    }
}

// A language chosen while a controller is shown puts the device texts into it as well.
TEST(MainWindowWatch, ALanguageSwitchRelabelsTheDeviceTexts) {
    WindowBench bench("alder");
    bench.window->OnInitDialog();
    ASSERT_TRUE(bench.tick());
    bench.window->OnLanguage(kEnglishLanguage);
    EXPECT_EQ(bench.view.info.at(InfoField::Firmware), "Firmware version: 30");
    bench.window->OnLanguage(2);  // French
    EXPECT_EQ(bench.view.info.at(InfoField::Firmware), LoadText(text::kFirmwareVersion) + ": 30");
    EXPECT_EQ(bench.view.captions.at(Control::StopOperation), LoadText(text::kStop));
    setLanguageIndex(kGermanLanguage);
}

TEST(MainWindowWatch, FirstTickIdentifiesAndFillsTheWindow) {
    WindowBench bench("alder");
    bench.window->OnInitDialog();
    EXPECT_EQ(bench.view.lastStatus(), "Establishing connection");
    ASSERT_TRUE(bench.tick());

    EXPECT_TRUE(bench.window->device().deviceIdentified);
    EXPECT_EQ(bench.view.info[InfoField::Panel], "Alder-Panel");
    EXPECT_EQ(bench.view.info[InfoField::Flash], "2MB");
    EXPECT_EQ(bench.view.info[InfoField::Firmware], "Firmware version: 30");
    EXPECT_EQ(bench.view.lastStatus(), "Connection established");
    EXPECT_EQ(bench.view.picture, 1);
    EXPECT_TRUE(bench.view.isEnabled(Control::StartDownload));
    EXPECT_FALSE(bench.view.isEnabled(Control::StartApplication));
    EXPECT_TRUE(bench.view.isEnabled(Control::Baud115200));
    EXPECT_FALSE(bench.view.isEnabled(Control::Baud230400));
    // Drive C: of 256 kB at the top of bank A 0x110000..0x2FFFFF.
    EXPECT_NEAR(bench.view.usage.ramUsage, 256.0 * 1024 / 0x1F0000, 1e-9);
}

// Backup needs an identified controller with its monitor on the line; the button follows
// every change of that, also after the terminal was shown and hidden again.
TEST(MainWindowWatch, BackupIsEnabledExactlyWhileAControllerIsIdentified) {
    WindowBench bench("alder");
    const struct Step {
        const char* what;
        std::function<void()> act;
        bool enabled;
    } steps[] = {
        {"start", [&] { bench.window->OnInitDialog(); }, false},
        {"identified", [&] { bench.tick(); }, true},
        {"terminal shown", [&] { bench.window->OnTerminalOnOff(); }, false},
        {"terminal hidden", [&] { bench.window->OnTerminalOnOff(); }, false},
        {"identified again", [&] { bench.tick(); }, true},
        {"controller gone",
         [&] {
             bench.silent = true;
             bench.tick();
         },
         false},
        {"back",
         [&] {
             bench.silent = false;
             bench.tick();
         },
         true},
    };
    for (const Step& step : steps) {
        step.act();
        EXPECT_EQ(bench.view.isEnabled(Control::Backup), step.enabled) << step.what;
    }
}

TEST(MainWindowWatch, LostControllerIsShownAndIdentifiedAgain) {
    WindowBench bench("alder");
    bench.window->OnInitDialog();
    bench.tick();
    bench.silent = true;
    bench.tick();
    EXPECT_FALSE(bench.window->device().deviceIdentified);
    EXPECT_EQ(bench.view.lastStatus(), "Connection interrupted");
    EXPECT_EQ(bench.view.info[InfoField::Panel], "<unknown>");
    EXPECT_EQ(bench.view.info[InfoField::Flash], "<unknown>");
    EXPECT_FALSE(bench.view.isEnabled(Control::StartDownload));
    EXPECT_EQ(bench.window->device().bankA, AddressRange{});

    bench.silent = false;
    bench.tick();
    EXPECT_TRUE(bench.window->device().deviceIdentified);
    EXPECT_EQ(bench.view.info[InfoField::Panel], "Alder-Panel");
    // A new identification asks again, each time until two readings agree.
    EXPECT_EQ(bench.sent.count("tell version"), 4u);
}

TEST(MainWindowPorts, SameRadioDoesNotReconnectAndBaudRadiosSendNothing) {
    WindowBench bench("alder");
    bench.window->OnInitDialog();
    bench.tick();
    const size_t statuses = bench.view.statuses.size();
    bench.window->OnComRadio(0);
    EXPECT_EQ(bench.view.statuses.size(), statuses);
    EXPECT_TRUE(bench.window->device().deviceIdentified);

    bench.window->OnBaudRadio(115200);
    EXPECT_EQ(bench.window->baudRate(), 115200);
    EXPECT_TRUE(bench.view.isChecked(Control::Baud115200));
    EXPECT_FALSE(bench.view.isChecked(Control::Baud57600));
    bench.tick();
    for (const std::string& line : bench.sent.lines)
        EXPECT_EQ(line.find("setbaudrate"), std::string::npos);
}

TEST(MainWindowExit, AsksInteractivelyButNotInTheUnattendedRun) {
    WindowBench bench("alder");
    bench.window->OnInitDialog();
    bench.window->OnBaudRadio(115200);
    bench.view.answers = {false, true};
    bench.window->OnExit();
    EXPECT_FALSE(bench.window->closed());
    bench.window->OnExit();
    EXPECT_TRUE(bench.window->closed());
    EXPECT_TRUE(bench.view.closed);
    EXPECT_EQ(bench.view.questions.size(), 2u);
    EXPECT_TRUE(bench.view.timers.empty());
    EXPECT_EQ(savedSettings(bench).baudRate, 115200);

    WindowBench quiet("alder", unattended("/p"));
    quiet.window->OnInitDialog();
    EXPECT_FALSE(quiet.window->OnCloseRequest());  // the frame always asks (answer No)
    EXPECT_EQ(quiet.view.questions.size(), 1u);
    quiet.window->OnExit();
    EXPECT_TRUE(quiet.window->closed());
    EXPECT_EQ(quiet.view.questions.size(), 1u);
}

TEST(MainWindowExit, UnwritableSettingsFileShowsTheFixedMessageAndStillCloses) {
    WindowBench bench("alder", unattended("/p"));
    std::ofstream(bench.folder / "not-a-folder") << "x";
    bench.settingsFolder = bench.folder / "not-a-folder";
    bench.makeWindow(unattended("/p"));
    bench.window->OnInitDialog();
    bench.window->OnExit();
    EXPECT_TRUE(bench.window->closed());
    ASSERT_FALSE(bench.view.messages.empty());
    // The fixed text, then the file and the reason.
    EXPECT_EQ(bench.view.messages.back().text, "Ini-File konnte nicht beschrieben werden!\n\n" +
                                                   bench.settingsFolder.string() + ": " +
                                                   std::strerror(ENOTDIR));
}

TEST(MainWindowLanguage, ItalianShowsGermanOnTheSpanishRadioAndIsKept) {
    WindowBench bench("alder");
    bench.writeSettings("[LANGUAGE]: 3\r\n");
    bench.window->OnInitDialog();
    EXPECT_EQ(bench.view.languageRadio, 4);
    EXPECT_FALSE(bench.view.visible[Control::RbItalian]);
    EXPECT_TRUE(bench.view.visible[Control::RbSpanish]);
    EXPECT_EQ(bench.view.captions[Control::Exit], *builtInCatalogues().lookup(0, text::kExit));
    EXPECT_EQ(bench.view.captions[Control::RbLithuanian],
              *builtInCatalogues().lookup(0, text::kLanguageLithuanian));
    bench.window->CloseThroughOk();
    EXPECT_EQ(savedSettings(bench).languageIndex, 3);

    WindowBench english("alder");
    english.window->OnInitDialog();
    english.window->OnLanguage(2);
    EXPECT_EQ(english.view.captions[Control::Exit], *builtInCatalogues().lookup(2, text::kExit));
    english.window->OnLanguage(1);
    english.window->OnCompare(true);
    EXPECT_EQ(english.view.captions[Control::StartDownload], "Compare");
    english.window->OnLanguage(1);  // the caption keeps telling the state
    EXPECT_EQ(english.view.captions[Control::StartDownload], "Compare");
}

TEST(MainWindowUnattended, DownloadRunsOnceIdentifiedWithTheWatchHeldOffThenCloses) {
    WindowBench bench("alder");
    const std::string image = makeImage(bench);
    bench.makeWindow(unattended("/p", image));
    bench.window->OnInitDialog();
    EXPECT_TRUE(bench.window->awaitingController());
    bench.view.timerLog.clear();
    ASSERT_TRUE(bench.tick());

    EXPECT_TRUE(bench.window->closed());
    EXPECT_EQ(bench.window->resultCode(), 0);
    EXPECT_EQ(bench.controller.memory().read(kAlderBankA, 0x2000),
              sim::MakeImageBytes(kAlderBankA, 0x2000, {}));
    // The watch was stopped for the whole tick and never started again.
    EXPECT_EQ(bench.view.timerLog.front(), "stop 1");
    EXPECT_EQ(std::count(bench.view.timerLog.begin(), bench.view.timerLog.end(), "start 1"), 0);
    EXPECT_EQ(bench.sent.count("please answer me"), 1u);
    EXPECT_EQ(savedSettings(bench).languageIndex, 1);
}

TEST(MainWindowUnattended, NoTickReachesTheControllerWhileAMessageIsOpen) {
    WindowBench bench("alder");
    bench.makeWindow(unattended("/p", (bench.folder / "missing.rom").string()));
    bench.window->OnInitDialog();
    size_t linesDuringMessage = 0;
    bench.view.duringMessage = [&] {
        const size_t before = bench.sent.lines.size();
        bench.window->onTimer(CDownloadDialog::kWatchTimer);
        linesDuringMessage += bench.sent.lines.size() - before;
    };
    bench.tick();
    ASSERT_FALSE(bench.view.messages.empty());
    // The message names the file and the reason.
    EXPECT_EQ(bench.view.messages.front().text,
              "File read error\n" + (bench.folder / "missing.rom").string() + ": File not found");
    EXPECT_EQ(linesDuringMessage, 0u);
    // A failed download is not reported as success.
    EXPECT_EQ(bench.window->resultCode(), kResultDownloadFailed);
    EXPECT_TRUE(bench.window->closed());
}

TEST(MainWindowUnattended, OtherSwitchesEndWithTheirCodes) {
    struct Case {
        MainWindowStart start;
        int code;
    };
    const Case cases[] = {
        {unattended("/d", "", "C:\\a.txt", "NoBackslash"), kResultNoBackslash},
        {unattended("/d", "", "C:\\a.txt", "C:\\dir\\a.txt"), kResultFileDownloadFailed},
        {unattended("/u", "", "C:\\dir\\a.txt", "a.txt"), kResultFileUploadFailed},
        {unattended("/x", "", "a", "b"), kResultBadSwitch},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start.commandSwitch + " " + c.start.secondPath);
        WindowBench bench("alder", c.start);
        bench.window->OnInitDialog();
        bench.tick();
        EXPECT_TRUE(bench.window->closed());
        EXPECT_EQ(bench.window->resultCode(), c.code);
        // The watch's queries (the version twice); "/u" then asks for the device file,
        // which is not there, and "/d" finds no PC file to send.
        EXPECT_EQ(bench.sent.lines.size(), c.start.commandSwitch == "/u" ? 6u : 5u);
    }
}

TEST(MainWindowActions, StartDownloadTellsImagesFromScripts) {
    WindowBench bench("alder");
    bench.window->OnInitDialog();
    bench.tick();

    // A script runs; its lines name files beside it.
    std::ofstream(bench.folder / "setup.txt", std::ios::binary) << "program app.rom\r\n";
    bench.window->OnSourceEdited((bench.folder / "setup.txt").string());
    EXPECT_EQ(bench.window->OnStartDownload(), 1);
    ASSERT_FALSE(bench.view.messages.empty());
    // There is no app.rom yet; the download looked for it beside the script.
    EXPECT_NE(bench.view.messages.back().text.find((bench.folder / "app.rom").string()),
              std::string::npos);
    bench.tick();  // the script's end resumed the link

    // The file chooser keeps the name in the source field and the folder beside it.
    bench.view.chosenFile = makeImage(bench);
    bench.window->OnChooseFile();
    EXPECT_EQ(bench.view.source, "app.rom");
    EXPECT_EQ(bench.window->sourceFolder(), bench.folder.string() + "/");
    EXPECT_EQ(bench.window->OnStartDownload(), 0);
    EXPECT_TRUE(bench.window->applicationLoaded());
    EXPECT_TRUE(bench.view.isEnabled(Control::StartApplication));
    EXPECT_EQ(bench.view.usage.ramNeeded, 0x4000u);
    EXPECT_TRUE(bench.view.timers.contains(CDownloadDialog::kWatchTimer));
    bench.tick();
    EXPECT_EQ(bench.view.lastStatus(), "Download finished");
    EXPECT_NEAR(bench.view.usage.romUsage, 0x2000 / double(0x1F0000), 1e-9);
}

TEST(MainWindowActions, StartApplicationCallsItAndStopReconnects) {
    WindowBench bench("alder");
    bench.window->OnInitDialog();
    bench.tick();
    bench.window->OnSourceEdited(makeImage(bench));
    ASSERT_EQ(bench.window->OnStartDownload(), 0);

    bench.window->OnStartApplication();
    EXPECT_EQ(bench.sent.lines.back(), "call 00110000");
    EXPECT_TRUE(bench.window->applicationRunning());
    EXPECT_FALSE(bench.view.timers.contains(CDownloadDialog::kWatchTimer));
    EXPECT_EQ(bench.view.captions[Control::StartApplication], "Stop");
    EXPECT_FALSE(bench.view.isEnabled(Control::StartDownload));
    EXPECT_TRUE(bench.view.isEnabled(Control::StartApplication));

    bench.window->OnStartApplication();
    EXPECT_FALSE(bench.window->applicationRunning());
    EXPECT_EQ(bench.view.captions[Control::StartApplication], "Start");
    EXPECT_EQ(bench.view.lastStatus(), "Establishing connection");
    EXPECT_TRUE(bench.view.timers.contains(CDownloadDialog::kWatchTimer));
}

TEST(MainWindowActions, ExtendedFirmwareOnSmallAlderNeedsVersion25) {
    for (int firmware : {24, 25}) {
        WindowBench bench("small-alder");
        bench.controller.setFirmware(firmware);
        bench.window->OnInitDialog();
        bench.tick();
        bench.window->OnExtendedFirmware(true);
        EXPECT_EQ(bench.window->device().extendedFirmware, firmware >= 25) << firmware;
        EXPECT_EQ(bench.view.messages.size(), firmware >= 25 ? 0u : 1u) << firmware;
    }
}

TEST(ShortenForDisplay, KeepsHeadAndTail) {
    EXPECT_EQ(ShortenForDisplay("12345678901234567890"), "12345678901234567890");
    EXPECT_EQ(ShortenForDisplay("C:\\data\\x\\application.rom"), "C:\\d....lication.rom");
    EXPECT_EQ(ShortenForDisplay("ÄÖÜß-long-name-of-a-file.rom"), "ÄÖÜß....f-a-file.rom");
}

}  // namespace
}  // namespace tarmix
