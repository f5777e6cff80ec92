#include "app/window/download_dialog.h"

#include <array>
#include <system_error>
#include <utility>
#include <vector>

#include "app/port_problem.h"
#include "app/settings.h"
#include "batch/batch_run.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/identify.h"
#include "models/models.h"
#include "platform/pc_paths.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

constexpr int kItalian = 3;
constexpr int kSpanish = 4;

constexpr std::array<Control, kComPortCount> kComRadios = {
    Control::Com1, Control::Com2, Control::Com3, Control::Com4, Control::Com5, Control::Com6};

struct BaudRadio {
    Control control;
    int32_t rate;
    bool DeviceDescription::*allowed;
};
constexpr BaudRadio kBaudRadios[] = {
    {Control::Baud57600, 57600, &DeviceDescription::allowBaud57600},
    {Control::Baud115200, 115200, &DeviceDescription::allowBaud115200},
    {Control::Baud230400, 230400, &DeviceDescription::allowBaud230400},
};

constexpr char kTitle[] = "Tarmix (3.5u)";

}  // namespace

CDownloadDialog::CDownloadDialog(MainWindowServices services, const MainWindowStart& start)
    : view_(services.view),
      timers_(services.timers),
      clock_(services.clock),
      folders_(std::move(services.folders)),
      portMap_(std::move(services.portMap)),
      serial_(services.portFactory, clock_),
      monitor_(serial_, start.timeFactor),
      parallel_(portMap_),
      scanner_(portMap_, services.portFactory, clock_, view_),
      watch_(monitor_, parallel_, device_, parallelFlags_),
      terminal_(view_, clock_),
      romFilePath_(start.romFilePath),
      baudRate_(start.baudRate),
      unattended_(start) {
    commandLineVerify_ = start.verifyAfterWrite;
    ports_.selectedPort = start.selectedPort;
    runPort_ = start.runPort;
    serial_.setObserver(services.wireObserver);
    SetUpFileSystemView();
}

CDownloadDialog::~CDownloadDialog() {
    setTextProblemReporter({});
    serial_.Close();
    parallel_.Close();
}

void CDownloadDialog::OnInitDialog() {
    setTextProblemReporter(
        [this](const std::string& message) { view_.showMessage(message, "", MessageIcon::Error); });

    startDirectory_ = folders_.settings;
    Settings settings;
    ReadSettings(startDirectory_, settings);
    CheckSettingValues(settings);
    setLanguageIndex(settings.languageIndex);
    baudRate_ = settings.baudRate;
    storedPort_ = settings.selectedPort;
    ports_.selectedPort = runPort_.value_or(settings.selectedPort);
    keepReceipts_ = settings.keepReceipts != 0;
    verifyAfterWrite_ = settings.verifyAfterWrite != 0;

    CheckSelectedPort();
    device_ = DeviceDescription{};  // only 57600 until a controller says more
    UpdateControls();

    applicationLoaded_ = false;
    applicationRunning_ = false;
    view_.setProgressRange(0, kProgressRange);
    // Nothing can be started before a controller is identified, also without any port.
    view_.setEnabled(Control::StartDownload, false);
    view_.setEnabled(Control::StartApplication, false);
    view_.setEnabled(Control::TerminalOnOff, true);
    view_.setEnabled(Control::UpdateBootloader, false);
    view_.setChecked(Control::KeepSettings, keepReceipts_);
    view_.setChecked(Control::Compare, compareMode_);
    view_.setChecked(Control::VerifyAfterWrite, verifyAfterWrite_ || commandLineVerify_);
    view_.setChecked(Control::ExtendedFirmware, device_.extendedFirmware);
    view_.setSourceText(romFilePath_);

    for (Control radio : kLanguageRadios) view_.setVisible(radio, radio != Control::RbItalian);
    // Italian has no radio button of its own; its texts are the German ones.
    view_.setLanguage(languageIndex() == kItalian ? kSpanish : languageIndex());
    ApplyLanguage();

    ReportUnrecognisedWords();
    // A production line with a mistyped file name hears so at once, not after the wait for
    // a controller.
    if (unattended_.runsSourceFile() && !CheckBatchFile(view_, CompletePath(romFilePath_))) {
        unattended_.Fail(kResultDownloadFailed);
        return CloseThroughOk();
    }
    // An unattended run whose port cannot be opened ends at once: there is no other.
    if (!Connect() && unattended_.active()) {
        unattended_.Fail(kResultNoPort);
        return CloseThroughOk();
    }

    ShowCompactView();
    view_.setUsage(usage_);
    view_.setTitle(kTitle);
}

void CDownloadDialog::CheckSelectedPort() {
    const int remembered = ports_.selectedPort;
    ports_.selectedPort = -1;
    scanner_.ScanSerialPorts(ports_);
    connecting_ = false;
    ports_.selectedPort = remembered;
    if (ports_.selectedPort < 0 || ports_.selectedPort >= kComPortCount) ports_.selectedPort = 0;
    if (ports_.available[size_t(ports_.selectedPort)]) return;
    if (unattended_.active() || runPort_) return;  // Connect says why it cannot be opened
    ports_.selectedPort = -1;
    for (int i = 0; i < kComPortCount; ++i) {
        if (ports_.available[size_t(i)]) {
            ports_.selectedPort = i;
            return;
        }
    }
}

void CDownloadDialog::UpdateControls() {
    for (int i = 0; i < kComPortCount; ++i) {
        const bool available = ports_.available[size_t(i)];
        view_.setEnabled(kComRadios[size_t(i)], available);
        view_.setChecked(kComRadios[size_t(i)], available && ports_.selectedPort == i);
    }
    view_.setEnabled(Control::ComLpt, parallelFlags_.available);
    view_.setChecked(Control::ComLpt, parallelFlags_.available && parallelFlags_.open);
    for (const BaudRadio& radio : kBaudRadios) {
        view_.setEnabled(radio.control, device_.*radio.allowed);
        view_.setChecked(radio.control, baudRate_ == radio.rate);
    }
    // A backup needs an identified controller with the monitor on the line.
    view_.setEnabled(Control::Backup,
                     device_.deviceIdentified && !terminalOn_ && !applicationRunning_);
}

void CDownloadDialog::Status(int textId) {
    view_.setStatus(LoadText(textId));
    statusTextId_ = textId;
}

void CDownloadDialog::LinkStatus(int textId) {
    if (!outcomeHeld_) Status(textId);
}

void CDownloadDialog::StatusText(const std::string& text) {
    view_.setStatus(text);
    statusTextId_ = 0;
}

std::string CDownloadDialog::PermissionHint() const {
    for (int i = 0; i < kComPortCount; ++i)
        if (ports_.openFailure[i] == OpenFailure::NoPermission && portMap_.com(i))
            return DescribeOpenFailure(OpenFailure::NoPermission, portMap_.com(i)->path);
    return {};
}

bool CDownloadDialog::Connect() {
    connecting_ = true;
    const int port = ports_.selectedPort;
    if (port < 0 || port > kLptPortIndex) {
        connecting_ = false;
        std::string text = LoadText(text::kNoSerialLineFree);
        if (const std::string hint = PermissionHint(); !hint.empty()) text += " - " + hint;
        StatusText(text);
        timers_.start(kRescanTimer, kRescanPeriod);
        return false;
    }
    timers_.stop(kRescanTimer);
    linkPort_ = portName(port);
    const std::string device = portMap_.resolve(linkPort_);
    // Which device the run works on, before anything is sent to it.
    if (!device.empty() && !outcomeHeld_)
        StatusText(FormatText(text::kPortDevice, linkPort_, device));
    LinkStatus(text::kEstablishingConnection);

    serial_.Close();
    device_.deviceIdentified = false;
    if (serial_.Open(linkPort_) != 0) {
        const std::string text = OpenErrorText(linkPort_, device, serial_.LastOpenFailure());
        StatusText(text);
        view_.showMessage(text, "", MessageIcon::Error);
        return false;
    }
    if (serial_.Configure(CSerial::kLinkBaud) != 0) {
        const std::string text = LoadText(text::kErrorWhileInit) + " " + linkPort_;
        StatusText(text);
        view_.showMessage(text, "", MessageIcon::Error);
        return false;
    }
    StartWatch();
    RefreshModelControls();
    UpdateControls();
    view_.setEnabled(Control::StartDownload, false);
    return true;
}

void CDownloadDialog::Disconnect() {
    // The terminal goes; the link is closed below rather than connected afresh.
    if (terminalOn_) SwitchTerminalOff(false);
    StopWatch();
    device_.deviceIdentified = false;
    RefreshModelControls();
    connecting_ = false;
    serial_.Close();
    // The flags say the parallel path is off; the port must not stay open behind them.
    parallel_.Close();
    parallelFlags_ = ParallelFlags{};
    UpdateControls();
    view_.setEnabled(Control::StartDownload, false);
    outcomeHeld_ = false;
    Status(text::kConnectionAborted);
}

void CDownloadDialog::OnComRadio(int index) {
    if (busy_) return;
    if (index != ports_.selectedPort) {
        applicationLoaded_ = false;
        Disconnect();
        ports_.selectedPort = index;
        Connect();
    }
    UpdateControls();
}

void CDownloadDialog::OnComLpt() {
    if (busy_) return;
    ToggleParallelTransfer(parallel_, parallelFlags_);
    UpdateControls();
}

void CDownloadDialog::OnBaudRadio(int rate) {
    baudRate_ = rate;
    UpdateControls();
}

void CDownloadDialog::OnSourceEdited(const std::string& text) { romFilePath_ = text; }

void CDownloadDialog::OnChooseFile() {
    const std::optional<std::string> chosen = view_.chooseFile(CompletePath(romFilePath_));
    if (!chosen) return;
    const fs::path path(*chosen);
    romFilePath_ = path.filename().string();
    sourceFolder_ = path.parent_path().string();
    if (!sourceFolder_.empty() && sourceFolder_.back() != '/') sourceFolder_ += '/';
    view_.setSourceText(romFilePath_);
}

std::string CDownloadDialog::CompletePath(const std::string& name) const {
    return CompleteName(name, sourceFolder_);
}

void CDownloadDialog::OnKeepSettings(bool checked) { keepReceipts_ = checked; }

void CDownloadDialog::OnVerifyAfterWrite(bool checked) {
    verifyAfterWrite_ = checked;
    commandLineVerify_ = false;  // the operator's choice from now on
}

void CDownloadDialog::OnCompare(bool checked) {
    compareMode_ = checked;
    view_.setCaption(Control::StartDownload,
                     LoadText(compareMode_ ? text::kCompare : text::kTransmit));
}

void CDownloadDialog::OnExtendedFirmware(bool checked) {
    device_.extendedFirmware = checked;
    if (checked && device_.firmwareVersion < modelRow(device_.hardwareModel).extendedNeedsMonitor) {
        device_.extendedFirmware = false;
        view_.setChecked(Control::ExtendedFirmware, false);
        view_.showMessage(LoadText(text::kExtendedNeedsVersion), "", MessageIcon::Warning);
    }
}

void CDownloadDialog::OnLanguage(int index) {
    if (busy_) return;
    const std::string oldFirmwareLabel = LoadText(text::kFirmwareVersion);
    const std::string oldUnknown = LoadText(text::kUnknown);
    setLanguageIndex(index);
    ApplyLanguage();
    RelabelDeviceTexts(oldFirmwareLabel, oldUnknown);
    RefreshDrivesAfterLanguage();
}

void CDownloadDialog::RelabelDeviceTexts(const std::string& oldFirmwareLabel,
                                         const std::string& oldUnknown) {
    const std::string unknown = LoadText(text::kUnknown);
    for (InfoField field : {InfoField::Panel, InfoField::Flash})
        if (std::string shown = field == InfoField::Panel ? panelText_ : flashText_;
            shown == oldUnknown)
            SetInfo(field, unknown);
    if (firmwareText_.starts_with(oldFirmwareLabel + ":"))
        SetInfo(InfoField::Firmware,
                LoadText(text::kFirmwareVersion) + firmwareText_.substr(oldFirmwareLabel.size()));
}

void CDownloadDialog::OnStopOperation() {
    if (!busy_) return;
    RequestStop(StopCause::Operator);
    if (!statusBeforeStop_) {
        // The id only while the line is its text: an operation below writes the line itself.
        const std::string shown = view_.statusText();
        const bool catalogued = statusTextId_ != 0 && shown == LoadText(statusTextId_);
        statusBeforeStop_ = ShownStatus{shown, catalogued ? statusTextId_ : 0};
    }
    Status(text::kStopping);
}

void CDownloadDialog::ShowOutcomeAfterLateStop() {
    const std::optional<ShownStatus> before = std::exchange(statusBeforeStop_, std::nullopt);
    if (!before || view_.statusText() != LoadText(text::kStopping)) return;
    if (before->textId != 0)
        Status(before->textId);
    else
        StatusText(before->text);
}

void CDownloadDialog::ReportUnrecognisedWords() {
    const std::string text = unattended_.UnrecognisedWordsText(ports_.selectedPort, baudRate_);
    if (text.empty()) return;
    StatusText(text);
    // An unattended run is not held up by a box nobody answers.
    if (!unattended_.active()) view_.showMessage(text, "", MessageIcon::Warning);
}

void CDownloadDialog::OnExit() {
    if (!unattended_.active() && !view_.askYesNo(LoadText(text::kReallyTerminate), "")) return;
    CloseThroughOk();
}

bool CDownloadDialog::OnCloseRequest() {
    if (!view_.askYesNo(LoadText(text::kReallyTerminate), "")) return false;
    CloseThroughOk();
    return true;
}

void CDownloadDialog::CloseThroughOk() {
    if (closed_) return;
    // The command line's port was for this run only.
    const int port = runPort_ ? storedPort_ : ports_.selectedPort;
    const Settings settings{languageIndex(), baudRate_, port, keepReceipts_ ? 1 : 0,
                            verifyAfterWrite_ ? 1 : 0};
    std::error_code ignored;  // a folder that cannot be made shows up as a failed write
    fs::create_directories(startDirectory_, ignored);
    std::string reason;
    if (WriteSettings(startDirectory_, settings, &reason) != 0)
        view_.showMessage(std::string(kSettingsWriteFailedText) + "\n\n" + reason, "",
                          MessageIcon::Error);
    timers_.stop(kRescanTimer);
    timers_.stop(kTerminalTimer);
    terminal_.Detach();
    StopWatch();
    serial_.Close();
    parallel_.Close();
    closed_ = true;
    view_.closeWindow();
}

}  // namespace tarmix
