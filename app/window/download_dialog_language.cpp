// The captions of the main window in the current language.
#include "app/window/download_dialog.h"
#include "app/window/window_texts.h"
#include "lang/catalog.h"

namespace tarmix {

namespace {

struct Caption {
    Control control;
    int textId;
};

constexpr int kTextPanelLabel = 60602;        // "Panel:"
constexpr int kTextFlashLabel = 60603;        // "Flash:"
constexpr int kTextRomUsageLabel = 60600;     // "ROM usage:"
constexpr int kTextRamUsageLabel = 60601;     // "RAM usage:"
constexpr int kTextExit = 60605;              // "Exit"
constexpr int kTextProgressLabel = 60606;     // "Progress:"
constexpr int kTextComPortLabel = 60607;      // "Com-Port"
constexpr int kTextSpeedLabel = 60608;        // "Baud rate [kBd]"
constexpr int kTextKeepReceipts = 60609;      // "Keep\nreceipts"
constexpr int kTextVerifyAfterWrite = 64300;  // "Verify"
constexpr int kTextFirmwareLabel = 60604;     // "Firmware:"
constexpr int kTextBackup = 60030;            // "Backup"
constexpr int kTextExtendedFirmware = 63732;  // "Extended Firmware"
constexpr int kTextSourceLabel = 60612;       // "Source:"
constexpr int kTextStateLabel = 60613;        // "State:"
constexpr int kTextUpdateFirmware = 60616;    // "Update firmware"
constexpr int kTextCom1 = 60617;              // "Com1"
constexpr int kTextCom2 = 60618;              // "Com2"
constexpr int kTextCom3 = 60619;              // "Com3"
constexpr int kTextCom4 = 60620;              // "Com4"
constexpr int kTextCom5 = 60621;              // "Com5"
constexpr int kTextCom6 = 60622;              // "Com6"
constexpr int kTextLpt1 = 60623;              // "Lpt1"
constexpr int kTextLanguageLabel = 60650;     // "Language"
constexpr int kTextLocalEcho = 64909;         // "Local echo"
constexpr int kTextTimestamps = 64910;        // "Time stamps"
constexpr int kTextClear = 64911;             // "Clear"
constexpr int kTextSave = 64912;              // "Save..."

// Captions that do not depend on the window's state.
constexpr Caption kCaptions[] = {
    {Control::StaticPanel, kTextPanelLabel},
    {Control::StaticFlash, kTextFlashLabel},
    {Control::StaticRom, kTextRomUsageLabel},
    {Control::StaticRam, kTextRamUsageLabel},
    {Control::Exit, kTextExit},
    {Control::StaticProgress, kTextProgressLabel},
    {Control::StaticComPort, kTextComPortLabel},
    {Control::StaticSpeed, kTextSpeedLabel},
    {Control::KeepSettings, kTextKeepReceipts},
    {Control::StaticFirmware, kTextFirmwareLabel},
    {Control::Backup, kTextBackup},
    {Control::ExtendedFirmware, kTextExtendedFirmware},
    {Control::Compare, kTextCompare},
    {Control::VerifyAfterWrite, kTextVerifyAfterWrite},
    {Control::StaticSource, kTextSourceLabel},
    {Control::StaticState, kTextStateLabel},
    {Control::UpdateBootloader, kTextUpdateFirmware},
    {Control::Com1, kTextCom1},
    {Control::Com2, kTextCom2},
    {Control::Com3, kTextCom3},
    {Control::Com4, kTextCom4},
    {Control::Com5, kTextCom5},
    {Control::Com6, kTextCom6},
    {Control::ComLpt, kTextLpt1},
    {Control::StopOperation, kTextStop},
    {Control::LanguageGroup, kTextLanguageLabel},
    {Control::StaticTerminalRate, kTextSpeedLabel},
    {Control::TerminalEcho, kTextLocalEcho},
    {Control::TerminalTimestamps, kTextTimestamps},
    {Control::TerminalClear, kTextClear},
    {Control::TerminalSave, kTextSave},
};

}  // namespace

void CDownloadDialog::ApplyLanguage() {
    for (const Caption& caption : kCaptions)
        view_.setCaption(caption.control, LoadText(caption.textId));
    for (const Language& language : languages())
        view_.setCaption(kLanguageRadios[size_t(language.index)], LoadText(language.captionId));
    // The three buttons whose caption tells their state keep telling it.
    view_.setCaption(Control::StartDownload, LoadText(compareMode_ ? kTextCompare : kTextTransmit));
    view_.setCaption(Control::StartApplication,
                     LoadText(applicationRunning_ ? kTextStop : kTextStart));
    view_.setCaption(Control::TerminalOnOff,
                     LoadText(terminalOn_ ? kTextHideTerminal : kTextShowTerminal));
    if (statusTextId_ != 0) Status(statusTextId_);
}

}  // namespace tarmix
