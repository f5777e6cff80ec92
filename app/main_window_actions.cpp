// The device actions behind the main window's buttons: the download button (a ROM image
// or a batch script) and the start and stop of the application.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "app/main_window.h"
#include "app/window_texts.h"
#include "flash/download.h"
#include "lang/catalog.h"

namespace tarmix {

namespace {

constexpr int kTextFileReadError = 60214;  // "File read error"

// The T-PQ7xx restarts with "reset"; every other model jumps to the application.
constexpr int32_t kModelTpq7 = 16;

enum class SourceKind { Unreadable, RomImage, Script };

// The first line decides: "S0", "S2" or "S3" at its start make an S-record image. Its last
// character (the CR of a CR LF line end) does not count.
SourceKind ClassifySourceFile(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return SourceKind::Unreadable;
    std::ifstream file(path, std::ios::binary);
    if (!file) return SourceKind::Unreadable;
    // Three characters are enough: the removed last character then lies beyond the two
    // that are looked at.
    constexpr size_t kLooked = 3;
    std::string head;
    for (char c; head.size() < kLooked && file.get(c) && c != '\n';) head += c;
    if (file.bad()) return SourceKind::Unreadable;
    if (head.size() < kLooked && !head.empty()) head.pop_back();
    const bool rom =
        head.size() >= 2 && head[0] == 'S' && (head[1] == '0' || head[1] == '2' || head[1] == '3');
    return rom ? SourceKind::RomImage : SourceKind::Script;
}

}  // namespace

int CDownloadDialog::OnStartDownload() {
    if (busy_) return 1;
    return RunSourceFile();
}

int CDownloadDialog::RunSourceFile() {
    DeviceOperation operation(*this);
    const std::string path = CompletePath(romFilePath_);
    switch (ClassifySourceFile(path)) {
        case SourceKind::Unreadable:
            view_.showMessage(LoadText(kTextFileReadError), "", MessageIcon::Error);
            return 1;
        case SourceKind::Script:
            ReportNotAvailable("Running the batch script " + ShortenForDisplay(romFilePath_));
            return 1;
        case SourceKind::RomImage:
            break;
    }
    return DownloadRomImage();
}

int CDownloadDialog::DownloadRomImage() {
    applicationLoaded_ = false;
    view_.setEnabled(Control::StartApplication, false);

    DownloadFigures figures;
    DownloadOptions options;
    options.compare = compareMode_;
    options.keepSettings = keepReceipts_;
    options.parallelTransfer = parallelFlags_.open;
    options.baudRate = uint32_t(baudRate_);
    options.sourceFolder = sourceFolder_;
    ApplicationDownload download({monitor_, parallel_, view_, device_, options, figures});
    const int result = download.DownloadApplication(romFilePath_);

    applicationLoaded_ = figures.applicationLoaded;
    applicationStart_ = figures.applicationStart;
    applicationRange_ = {figures.imageStart, figures.imageEnd};
    usage_.romExtent = figures.romExtent;
    usage_.romCodeSize = figures.romCodeSize;
    usage_.ramNeeded = figures.ramNeeded;
    usage_.ramAvailable = figures.ramAvailable;
    view_.setUsage(usage_);
    RefreshModelControls();
    return result;
}

void CDownloadDialog::OnStartApplication() {
    if (busy_) return;
    if (applicationRunning_) {
        view_.setCaption(Control::StartApplication, LoadText(kTextStart));
        Disconnect();
        Connect();
        applicationRunning_ = false;
        RefreshModelControls();
        return;
    }
    DeviceOperation operation(*this);
    char command[32];
    std::snprintf(command, sizeof command, "call %08x", applicationStart_);
    serial_.SendLine(device_.hardwareModel == kModelTpq7 ? "reset" : command);
    StopWatch();
    if (NeedsUsbReopen(device_.hardwareModel, SelectedPortIsUsb())) ReopenLink(serial_, true);
    applicationRunning_ = true;
    RefreshModelControls();
    view_.setCaption(Control::StartApplication, LoadText(kTextStop));
}

}  // namespace tarmix
