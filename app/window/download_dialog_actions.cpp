// The device actions behind the main window's buttons: the download button (a ROM image
// or a batch script) and the start and stop of the application.
#include <cstdio>

#include "app/window/download_dialog.h"
#include "batch/batch_run.h"
#include "config/capability.h"
#include "flash/download.h"
#include "lang/catalog.h"
#include "lang/text_names.h"
#include "models/models.h"

namespace tarmix {

namespace fs = std::filesystem;

int CDownloadDialog::OnStartDownload() {
    if (busy_) return 1;
    return RunSourceFile();
}

int CDownloadDialog::RunSourceFile() {
    DeviceOperation operation(*this);
    BatchContext context{
        monitor_,
        view_,
        device_.hardwareModel,
        applicationStart_,
        [this](const std::string& path) { return DownloadRomImage(path); },
        [this] { StartOrStopApplication(); },
        [this](const std::string& text) { view_.setStatus(ShortenForDisplay(text)); }};
    context.restoreEeprom = [this](const std::string& path) { return RestoreEeprom(path); };
    context.downloadFile = [this](const std::string& pcPath, const std::string& devicePath) {
        return DownloadToDevice(pcPath, "", devicePath);
    };
    context.uploadFile = [this](const std::string& devicePath, const std::string& pcPath) {
        return UploadForScript(devicePath, pcPath);
    };
    // "update firmware" may only renew the controller identified now, whatever model the
    // script chooses with "change hardware".
    const int32_t identifiedModel = device_.deviceIdentified ? device_.hardwareModel : 0;
    context.updateBootLoader = [this, identifiedModel](const std::string& folder) {
        return RunBootLoaderUpdate(folder.empty() ? folders_.library : fs::path(folder),
                                   identifiedModel);
    };
    const BatchOutcome outcome = RunBatchFile(context, CompletePath(romFilePath_));
    switch (outcome.end) {
        case BatchEnd::RomImage:
            return outcome.downloadResult;
        case BatchEnd::FileError:
        case BatchEnd::Refused:  // nothing was sent: the link is as it was
            return 1;
        case BatchEnd::Finished:
        case BatchEnd::Stopped:
            break;
    }
    // The closing steps of a script: the drive shown is read again, and the link is
    // resumed unless the script left the application running.
    RefreshDriveAfterScript();
    if (!applicationRunning_) Connect();
    // A script that restored all but the EEPROM ran to its end, but did not restore all.
    return outcome.end == BatchEnd::Finished && !outcome.eepromRestoreFailed ? 0 : 1;
}

int CDownloadDialog::DownloadRomImage(const std::string& path) {
    applicationLoaded_ = false;
    view_.setEnabled(Control::StartApplication, false);

    DownloadFigures figures;
    DownloadOptions options;
    options.compare = compareMode_;
    options.verifyAfterWrite = Verifying();
    options.parallelTransfer = parallelFlags_.open;
    options.baudRate = uint32_t(baudRate_);  // the path arrives completed: no source folder
    const SettingsReset reset = keepReceipts_ ? nullptr : ClearEepromDataLength;
    ApplicationDownload download({monitor_, parallel_, view_, device_, options, figures, reset});
    const Millis started = clock_.now();
    const int result = download.DownloadApplication(path);
    const Millis duration = clock_.now() - started;

    applicationLoaded_ = figures.applicationLoaded;
    applicationStart_ = figures.applicationStart;
    applicationRange_ = {figures.imageStart, figures.imageEnd};
    usage_.romExtent = figures.romExtent;
    usage_.romCodeSize = figures.romCodeSize;
    usage_.ramNeeded = figures.ramNeeded;
    usage_.ramAvailable = figures.ramAvailable;
    // The bars as the next watch tick would draw them.
    const UsageFractions fractions =
        usageFractions(device_, applicationLoaded_, applicationRange_, usage_.romUsage);
    usage_.romUsage = fractions.rom;
    usage_.ramUsage = fractions.ram;
    view_.setUsage(usage_);
    RefreshModelControls();
    if (result != 0) return result;
    if (!compareMode_) Status(text::kDownloadFinished);
    view_.reportDownload({compareMode_, figures.bytesSent, figures.blocksSent, duration, usage_});
    return result;
}

void CDownloadDialog::OnStartApplication() {
    // Only a loaded application on an identified controller can be started (the button
    // says so), and only a running one stopped.
    if (busy_ || (!applicationRunning_ && !(applicationLoaded_ && device_.deviceIdentified)))
        return;
    StartOrStopApplication();
}

void CDownloadDialog::StartOrStopApplication() {
    if (applicationRunning_) {
        view_.setCaption(Control::StartApplication, LoadText(text::kStart));
        Disconnect();
        Connect();
        // The device's USB port is still coming back; its line is no place for typing.
        if (NeedsUsbReopen(device_.hardwareModel, SelectedPortIsUsb()))
            view_.setEnabled(Control::TerminalOnOff, false);
        applicationRunning_ = false;
        RefreshModelControls();
        return;
    }
    DeviceOperation operation(*this);
    char command[32];
    std::snprintf(command, sizeof command, "call %08x", applicationStart_);
    serial_.SendLine(modelRow(device_.hardwareModel).startsByReset ? "reset" : command);
    StopWatch();
    if (NeedsUsbReopen(device_.hardwareModel, SelectedPortIsUsb())) ReopenLink(serial_, true);
    applicationRunning_ = true;
    RefreshModelControls();
    view_.setCaption(Control::StartApplication, LoadText(text::kStop));
    if (terminalOn_) view_.focusTerminal();
}

}  // namespace tarmix
