// The terminal in the main window: switching it on and off, its receive poll and the keys
// the user types into it.
#include "app/window/download_dialog.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/replacing_file.h"

namespace tarmix {

namespace {

constexpr char kTerminalFileName[] = "terminal.txt";

}  // namespace

void CDownloadDialog::OnTerminalOnOff() {
    if (busy_) return;
    statusTextId_ = 0;  // the terminal writes its own status texts
    if (terminalOn_)
        SwitchTerminalOff(true);
    else
        SwitchTerminalOn();
}

void CDownloadDialog::SwitchTerminalOn() {
    view_.setTerminalShown(true);
    const int port = ports_.selectedPort;
    terminal_.Attach(&serial_, port < 0 ? 0 : port + 1);
    // Nothing else may talk on the line while the user does.
    timers_.start(kTerminalTimer, CTerminal::kPollPeriod);
    StopWatch();
    EnableStartApplication();
    terminalOn_ = true;
    view_.setCaption(Control::TerminalOnOff, LoadText(text::kHideTerminal));
    view_.focusTerminal();
}

void CDownloadDialog::SwitchTerminalOff(bool reconnect) {
    terminalOn_ = false;
    view_.setCaption(Control::TerminalOnOff, LoadText(text::kShowTerminal));
    timers_.stop(kTerminalTimer);
    terminal_.Detach();
    view_.setTerminalShown(false);
    if (!reconnect) return;
    if (applicationRunning_) {
        EnableStartApplication();
    } else {
        Disconnect();
        Connect();
    }
    scanner_.ScanSerialPorts(ports_);
    UpdateControls();
}

void CDownloadDialog::EnableStartApplication() {
    view_.setEnabled(Control::StartDownload, false);
    view_.setEnabled(Control::Backup, false);
    view_.setEnabled(Control::StartApplication, applicationLoaded_ && device_.deviceIdentified);
}

void CDownloadDialog::OnTerminalKey(TerminalKey key) {
    if (busy_ || !terminalOn_) return;
    terminal_.OnKey(key);
}

void CDownloadDialog::OnTerminalText(const std::string& utf8) {
    if (busy_ || !terminalOn_) return;
    terminal_.OnText(utf8);
}

void CDownloadDialog::OnTerminalRate(uint32_t baud) {
    if (busy_ || !terminalOn_) return;
    terminal_.SetBaud(baud);
}

void CDownloadDialog::OnTerminalEcho(bool on) {
    if (terminalOn_) terminal_.SetLocalEcho(on);
}

void CDownloadDialog::OnTerminalTimestamps(bool on) {
    if (terminalOn_) terminal_.SetTimestamps(on);
}

void CDownloadDialog::OnTerminalClear() {
    if (terminalOn_) terminal_.Clear();
}

void CDownloadDialog::OnTerminalSave() {
    if (busy_ || !terminalOn_) return;
    const std::optional<std::string> file = view_.chooseSaveFile(kTerminalFileName);
    if (!file) return;
    ReplacingFile out;
    std::string error;
    if (out.Open(*file, error)) {
        out.Write(view_.shownTerminalText());
        if (out.Commit(error)) return view_.setStatus(FormatText(text::kTerminalSaved, *file));
    }
    view_.showMessage(FormatText(text::kTerminalNotSaved, error), "", MessageIcon::Error);
}

}  // namespace tarmix
