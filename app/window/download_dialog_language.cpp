// The captions of the main window in the current language.
#include "app/window/download_dialog.h"
#include "lang/catalog.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {

struct Caption {
    Control control;
    int textId;
};

// Captions that do not depend on the window's state.
constexpr Caption kCaptions[] = {
    {Control::StaticPanel, text::kPanelLabel},
    {Control::StaticFlash, text::kFlashLabel},
    {Control::StaticRom, text::kRomUsageLabel},
    {Control::StaticRam, text::kRamUsageLabel},
    {Control::Exit, text::kExit},
    {Control::StaticProgress, text::kProgressLabel},
    {Control::StaticComPort, text::kComPortLabel},
    {Control::StaticSpeed, text::kSpeedLabel},
    {Control::KeepSettings, text::kKeepReceipts},
    {Control::StaticFirmware, text::kFirmwareLabel},
    {Control::Backup, text::kBackup},
    {Control::ExtendedFirmware, text::kExtendedFirmware},
    {Control::Compare, text::kCompare},
    {Control::VerifyAfterWrite, text::kVerifyAfterWrite},
    {Control::StaticSource, text::kSourceLabel},
    {Control::StaticState, text::kStateLabel},
    {Control::UpdateBootloader, text::kUpdateFirmware},
    {Control::Com1, text::kCom1},
    {Control::Com2, text::kCom2},
    {Control::Com3, text::kCom3},
    {Control::Com4, text::kCom4},
    {Control::Com5, text::kCom5},
    {Control::Com6, text::kCom6},
    {Control::ComLpt, text::kLpt1},
    {Control::StopOperation, text::kStop},
    {Control::LanguageGroup, text::kLanguageLabel},
    {Control::StaticTerminalRate, text::kSpeedLabel},
    {Control::TerminalEcho, text::kLocalEcho},
    {Control::TerminalTimestamps, text::kTimestamps},
    {Control::TerminalClear, text::kClear},
    {Control::TerminalSave, text::kSaveEllipsis},
};

}  // namespace

void CDownloadDialog::ApplyLanguage() {
    for (const Caption& caption : kCaptions)
        view_.setCaption(caption.control, LoadText(caption.textId));
    for (const Language& language : languages())
        view_.setCaption(kLanguageRadios[size_t(language.index)], LoadText(language.captionId));
    // The three buttons whose caption tells their state keep telling it.
    view_.setCaption(Control::StartDownload,
                     LoadText(compareMode_ ? text::kCompare : text::kTransmit));
    view_.setCaption(Control::StartApplication,
                     LoadText(applicationRunning_ ? text::kStop : text::kStart));
    view_.setCaption(Control::TerminalOnOff,
                     LoadText(terminalOn_ ? text::kHideTerminal : text::kShowTerminal));
    if (statusTextId_ != 0) Status(statusTextId_);
}

}  // namespace tarmix
