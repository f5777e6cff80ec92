// What the main-window controller asks of the window it drives. The Qt window implements it,
// so does the console front end of the unattended run, and the tests record it.
//
// Controls are named by their dialog ids; texts arrive already in the user's language.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/json_event.h"
#include "app/terminal/terminal.h"
#include "ffs/drive_view.h"
#include "platform/clock.h"
#include "platform/view.h"

namespace tarmix {

enum class Control {
    StartDownload = 1121,
    Exit = 1,
    SourceField = 1125,
    ChooseFile = 1203,
    Com1 = 1116,
    Com2 = 1117,
    Com3 = 1118,
    Com4 = 1119,
    Com5 = 1133,
    Com6 = 1137,
    ComLpt = 1120,
    Baud57600 = 1134,
    Baud115200 = 1135,
    Baud230400 = 1136,
    TerminalOnOff = 1126,
    StartApplication = 1124,
    KeepSettings = 1231,
    Compare = 1230,
    VerifyAfterWrite = 1232,
    ExtendedFirmware = 1030,
    Backup = 1138,
    UpdateBootloader = 1127,
    ExtendedView = 1306,
    DriveTabs = 1397,  // the extended view's file-system area: shown or hidden as a whole
    Terminal = 1218,   // the terminal's text
    // This build's own: stops the operation under way (the only control it leaves enabled).
    StopOperation = 1500,
    // The terminal's own controls, shown with it: the line's rate (and its label), local
    // echo, time stamps, Clear and Save.
    TerminalRate = 1501,
    TerminalEcho = 1502,
    TerminalTimestamps = 1503,
    TerminalClear = 1504,
    TerminalSave = 1505,
    StaticTerminalRate = 1506,
    // Static captions (labels) that ApplyLanguage fills.
    StaticPanel = 1399,
    StaticFlash = 1215,
    StaticRom = 1400,
    StaticRam = 1216,
    StaticProgress = 1398,
    StaticComPort = 1328,
    StaticSpeed = 1329,
    StaticFirmware = 1401,
    StaticSource = 1002,
    StaticState = 1003,
    LanguageGroup = 1007,
    // The language radio buttons (RbItalian is always hidden).
    RbGerman = 1005,
    RbEnglish = 1006,
    RbFrench = 1008,
    RbItalian = 1017,
    RbSpanish = 1010,
    RbDutch = 1011,
    RbPolish = 1013,
    RbRussian = 1012,
    RbDanish = 1016,
    RbCzech = 1014,
    RbGreek = 1015,
    RbLithuanian = 1009,
};

// The language radio button of each language index (0 German … 11 Lithuanian).
inline constexpr std::array<Control, 12> kLanguageRadios = {
    Control::RbGerman,  Control::RbEnglish, Control::RbFrench, Control::RbItalian,
    Control::RbSpanish, Control::RbDutch,   Control::RbPolish, Control::RbRussian,
    Control::RbDanish,  Control::RbCzech,   Control::RbGreek,  Control::RbLithuanian};

// The information fields of the window.
enum class InfoField { Panel = 1114, Flash = 1115, Firmware = 1128 };

// What the usage bars draw.
struct UsageFigures {
    double romUsage = 0;  // fractions of the bank, as the connection watch computes them
    double ramUsage = 0;
    uint32_t romExtent = 0x100000;  // the image info header's figures
    uint32_t romCodeSize = 0;
    uint32_t ramNeeded = 0;
    uint32_t ramAvailable = 0x10000;
    friend bool operator==(const UsageFigures&, const UsageFigures&) = default;
};

// What a download did, for the console's summary.
struct DownloadSummary {
    bool compare = false;  // checked the flash instead of writing it
    uint64_t bytes = 0;    // image bytes sent
    uint32_t blocks = 0;
    Millis duration{0};
    UsageFigures usage;  // as the usage bars show it afterwards
};

// The percentages the usage bars print, -1 while they print none (ROM usage 0): the ROM
// bar's (application and file system together) and the RAM bar's (the image's RAM needs
// against what it has).
int RomBarPercent(const UsageFigures& usage);
int RamBarPercent(const UsageFigures& usage);

class MainWindowView : public TerminalView {
  public:
    virtual void setEnabled(Control control, bool enabled) = 0;
    virtual void setVisible(Control control, bool visible) = 0;
    virtual void setCaption(Control control, const std::string& caption) = 0;
    virtual void setChecked(Control control, bool checked) = 0;
    virtual void setInfo(InfoField field, const std::string& text) = 0;
    virtual void setUsage(const UsageFigures& usage) = 0;
    // The model picture for a hardware model code (0: none).
    virtual void setModelPicture(int hardwareModel) = 0;
    virtual void setLanguage(int languageIndex) = 0;  // selects its radio button
    virtual void setTitle(const std::string& title) = 0;
    virtual void setSourceText(const std::string& text) = 0;
    // An open-file dialog for an existing file; nullopt when cancelled.
    virtual std::optional<std::string> chooseFile(const std::string& startPath) = 0;
    // A folder dialog; nullopt when cancelled (or when the window has none).
    virtual std::optional<std::string> chooseFolder(const std::string& startPath) {
        (void)startPath;
        return std::nullopt;
    }
    // The extended view's drive tabs, folder tree and file list; nullptr for a front end
    // without them (the console).
    virtual DriveView* driveView() { return nullptr; }
    // A save-file dialog proposing `name` (TXT or all files); it asks itself before an
    // existing file is replaced. nullopt when cancelled.
    virtual std::optional<std::string> chooseSaveFile(const std::string& name) {
        (void)name;
        return std::nullopt;
    }
    // An open-file dialog for one or more existing files (TXT or all files); empty when
    // cancelled.
    virtual std::vector<std::string> chooseFiles() { return {}; }
    // An open-file dialog for an existing ROM image (ROM or all files).
    virtual std::optional<std::string> chooseRomImage() { return std::nullopt; }
    // What the status line shows now.
    virtual std::string statusText() const = 0;
    // Closes the window; the launcher then ends the program.
    virtual void closeWindow() = 0;
    // One entry of a listing the command line asked for (--ls, --tree, --df): `line` on
    // standard output, or `json` as one object per line with --json.
    virtual void printEntry(const std::string& line, const JsonEvent& json) = 0;
    // Shown: the terminal takes the window, widened to show 80 columns and kept on the
    // desktop's work area; every other control is hidden except the status line,
    // TERMINAL_ON_OFF and START_APPLICATION. Hidden: the window's placement and its
    // controls come back as they were.
    virtual void setTerminalShown(bool shown) = 0;
    // The keyboard goes to the terminal.
    virtual void focusTerminal() = 0;
    // A download has ended successfully (the window shows it in its bars already).
    virtual void reportDownload(const DownloadSummary& summary) { (void)summary; }
};

}  // namespace tarmix
