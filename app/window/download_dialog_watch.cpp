// The main window's timers: the port rescan, the connection watch, and the unattended
// action that the watch starts once the controller is identified.
#include "app/window/download_dialog.h"
#include "lang/catalog.h"
#include "lang/text_names.h"

namespace tarmix {

void CDownloadDialog::onTimer(int id) {
    // A tick that arrives while an operation (or its message box) is open waits for the
    // next one: it must not talk to the controller in between.
    if (busy_ || closed_) return;
    if (id == kRescanTimer) RescanTick();
    if (id == kWatchTimer) WatchTick();
    if (id == kTerminalTimer && terminalOn_) terminal_.Poll();
    if (id == kUploadTimer && queues_) queues_->UploadQueueStep();
    if (id == kNewFileTimer && queues_) queues_->NewFileStep();
}

void CDownloadDialog::RescanTick() {
    DeviceOperation operation(*this, true);
    if (connecting_) return;
    scanner_.ScanSerialPorts(ports_);
    UpdateControls();
}

Millis CDownloadDialog::watchPeriod() const {
    return connectionWatchPeriod(int32_t(monitor_.timeFactor()));
}

void CDownloadDialog::StartWatch() {
    watchActive_ = true;
    timers_.start(kWatchTimer, watchPeriod());
}

void CDownloadDialog::StopWatch() {
    watchActive_ = false;
    timers_.stop(kWatchTimer);
}

bool CDownloadDialog::SelectedPortIsUsb() const {
    const int port = ports_.selectedPort;
    return port >= 0 && port < kComPortCount && ports_.usb[size_t(port)];
}

void CDownloadDialog::WatchTick() {
    DeviceOperation operation(*this, true);
    const bool wasIdentified = device_.deviceIdentified;
    const WatchReport report = watch_.Tick(SelectedPortIsUsb(), baudRate_, flashText_);
    if (wasIdentified && !device_.deviceIdentified && fileSystem_)
        fileSystem_->ShowControllerGone();
    ShowWatchReport(report);
    if (report.queriesRan) ShowIdentifiedDrive(report.firstDrive);
    // After the line failed the user may look at it in the terminal.
    if (report.lineFailed) view_.setEnabled(Control::TerminalOnOff, true);

    scanner_.ScanSerialPorts(ports_);
    UpdateControls();
    if (!device_.deviceIdentified) {
        SetInfo(InfoField::Panel, LoadText(text::kUnknown));
        SetInfo(InfoField::Flash, LoadText(text::kUnknown));
        outcomeHeld_ = false;
        Status(text::kConnectionInterrupted);
    }
    RefreshModelControls();
    RunUnattendedAction();
}

void CDownloadDialog::ShowWatchReport(const WatchReport& report) {
    if (!report.answered) return;
    SetInfo(InfoField::Panel, report.fields.panel);
    SetInfo(InfoField::Flash, report.fields.flash);
    LinkStatus(text::kConnectionEstablished);
    ShowUsage();
    if (!report.queriesRan) return;
    SetInfo(InfoField::Firmware, report.firmwareText);
    if (report.extendedFirmwareSet)
        view_.setChecked(Control::ExtendedFirmware, device_.extendedFirmware);
}

void CDownloadDialog::ShowUsage() {
    const UsageFractions usage =
        usageFractions(device_, applicationLoaded_, applicationRange_, usage_.romUsage);
    if (usage.rom == usage_.romUsage && usage.ram == usage_.ramUsage) return;
    usage_.romUsage = usage.rom;
    usage_.ramUsage = usage.ram;
    view_.setUsage(usage_);
}

void CDownloadDialog::SetInfo(InfoField field, const std::string& text) {
    std::string& shown = field == InfoField::Panel   ? panelText_
                         : field == InfoField::Flash ? flashText_
                                                     : firmwareText_;
    if (shown == text) return;
    shown = text;
    view_.setInfo(field, text);
}

void CDownloadDialog::RefreshModelControls() {
    const bool identified = device_.deviceIdentified;
    view_.setModelPicture(identified ? device_.hardwareModel : 0);
    view_.setEnabled(Control::StartDownload, identified && !applicationRunning_ && !terminalOn_);
    view_.setEnabled(Control::StartApplication, applicationLoaded_ && identified);
    view_.setEnabled(Control::UpdateBootloader, BootLoaderUpdateEnabled());
}

void CDownloadDialog::RunUnattendedAction() {
    if (!device_.deviceIdentified || !unattended_.awaitingController()) return;
    UnattendedContext context{monitor_,
                              view_,
                              device_,
                              uint32_t(baudRate_),
                              [this] { return RunSourceFile(); },
                              [this](const std::string& folder) { return RunBackup(folder); },
                              [this](const std::string& pcPath, const std::string& devicePath) {
                                  return Transfers().Upload(pcPath, devicePath);
                              },
                              [this](const std::string& pcPath, const std::string& deviceFolder,
                                     const std::string& deviceName) {
                                  return DownloadToDevice(pcPath, deviceFolder, deviceName);
                              }};
    unattended_.Run(context);
    CloseThroughOk();
}

}  // namespace tarmix
