// The transfers of the extended view's "File" menu: Upload of the selected rows (one file
// through a save dialog, several into a chosen folder), New File (PC files to the folder
// shown, one by one on the new-file timer) and New program (a ROM image as the drive's
// Application.exe).
#include <filesystem>

#include "app/main_window.h"
#include "ffs/device_path.h"
#include "ffs/new_program.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/baud_switch.h"
#include "platform/latin1.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

// The device name a PC file gets: its own name, cut to the longest name the program
// creates. nullopt when it has characters the device does not know.
std::optional<std::string> DeviceNameOf(const std::string& pcPath) {
    std::optional<std::string> name = Utf8ToLatin1(fs::path(pcPath).filename().string());
    if (name && name->size() > kMaxNewNameLength) name->resize(kMaxNewNameLength);
    return name;
}

}  // namespace

void CDownloadDialog::RunFileMenuTransfer(FileCommand command, const std::vector<int>& rows) {
    switch (command) {
        case FileCommand::Upload:
            return QueueUploads(rows);
        case FileCommand::NewFile:
            return QueueNewFiles();
        case FileCommand::NewProgram:
            return NewProgram();
        case FileCommand::NewFolder:
        case FileCommand::Delete:
            return;  // the view's own commands
    }
}

// --- Upload --------------------------------------------------------------------------------

void CDownloadDialog::QueueUploads(const std::vector<int>& rows) {
    uploadQueue_.clear();
    const DriveTables& tables = fileSystem_->tables();
    for (int row : rows)
        if (row < 0 || size_t(row) >= tables.files.size()) return;
    for (int row : rows) {
        const FileRow& file = tables.files[size_t(row)];
        if (!file.isFolder) continue;
        view_.showMessage(
            LoadText(text::kFolderNotPossible) + "\n\n<" + DisplayName(file.name) + ">",
            LoadText(text::kFileUpload), MessageIcon::Error);
        return;
    }
    const std::string folder = tables.selected().path;
    if (rows.size() == 1) {
        const FileRow& file = tables.files[size_t(rows.front())];
        const std::optional<std::string> chosen = view_.chooseSaveFile(DisplayName(file.name));
        if (!chosen) return;
        uploadQueue_.push_back({*chosen, FilePathIn(folder, file.name)});
        askBeforeOverwrite_ = false;  // the save dialog has asked already
    } else {
        const std::optional<std::string> chosen = ChooseFolderFor(FolderPurpose::Upload);
        if (!chosen || chosen->empty()) return;
        for (int row : rows) {
            const std::string& name = tables.files[size_t(row)].name;
            // A device name becomes a PC file name only when it cannot leave the folder.
            if (!IsSafeDeviceName(name)) {
                view_.showMessage(FormatText(text::kNoPcName, DisplayName(name)),
                                  LoadText(text::kFileUpload), MessageIcon::Error);
                continue;
            }
            uploadQueue_.push_back(
                {(fs::path(*chosen) / DisplayName(name)).string(), FilePathIn(folder, name)});
        }
        askBeforeOverwrite_ = true;
    }
    if (!uploadQueue_.empty()) timers_.start(kUploadTimer, kQueueStepPeriod);
}

void CDownloadDialog::UploadQueueStep() {
    timers_.stop(kUploadTimer);
    const std::vector<QueuedUpload> queue = std::move(uploadQueue_);
    uploadQueue_.clear();
    if (queue.empty()) return;
    DeviceOperation operation(*this);
    {
        BaudSwitch baud(monitor_, view_, uint32_t(baudRate_));
        RaisedBaudRate raised(baud);
        // A failed file does not hold up the others; each failure has been shown. A stop
        // request ends the queue.
        for (const QueuedUpload& upload : queue) {
            if (StopRequested()) break;
            Transfers().Upload(upload.pcPath, upload.devicePath);
        }
    }
    askBeforeOverwrite_ = true;  // a later upload asks again
}

// --- New File ------------------------------------------------------------------------------

void CDownloadDialog::QueueNewFiles() {
    const std::vector<std::string> chosen = view_.chooseFiles();
    if (chosen.empty()) return;
    newFileQueue_.clear();
    nextNewFile_ = 0;
    const DriveTables& tables = fileSystem_->tables();
    const std::string folder = tables.selected().path;
    for (const std::string& path : chosen) {
        const std::optional<std::string> name = DeviceNameOf(path);
        if (!name) {
            view_.showMessage(
                FormatText(text::kNameRefusedRules, fs::path(path).filename().string()),
                LoadText(text::kFileDownload), MessageIcon::Error);
            continue;
        }
        newFileQueue_.push_back({path, folder, *name, -1});
    }
    if (newFileQueue_.size() == 1) {
        // The operator names the one file in the list; the transfer follows the edit.
        newFileQueue_.front().row = int(tables.files.size());
        const std::string shown = DisplayName(newFileQueue_.front().deviceName);
        return fileSystem_->BeginNameEdit({shown, "", "", FsIcon::NewFile}, true);
    }
    if (!newFileQueue_.empty()) timers_.start(kNewFileTimer, kQueueStepPeriod);
}

void CDownloadDialog::NameNewFile(const std::string& name) {
    if (newFileQueue_.size() != 1 || nextNewFile_ != 0) return;
    QueuedNewFile& file = newFileQueue_.front();
    file.deviceName = name.substr(0, kMaxNewNameLength);
    if (DriveView* drives = view_.driveView(); drives && file.row >= 0)
        drives->setRowIcon(file.row, FsIcon::WaitingUpload);
    timers_.start(kNewFileTimer, kQueueStepPeriod);
}

void CDownloadDialog::NewFileStep() {
    if (!fileSystem_ || nextNewFile_ >= newFileQueue_.size()) {
        timers_.stop(kNewFileTimer);
        return;
    }
    QueuedNewFile& file = newFileQueue_[nextNewFile_];
    DriveView& drives = *view_.driveView();
    const DriveTables& tables = fileSystem_->tables();
    // The row goes into the list only while the list shows the file's folder.
    const bool folderShown = tables.selected().path == file.deviceFolder;
    if (file.row < 0 && folderShown) {
        // Row step: the file shows up waiting; the timer runs on to its transfer step.
        file.row = int(tables.files.size() + nextNewFile_);
        drives.appendRow({DisplayName(file.deviceName), "", "", FsIcon::WaitingUpload});
        return;
    }
    timers_.stop(kNewFileTimer);
    if (!DriveAvailable(device_, tables.drive)) {
        newFileQueue_.clear();
        return;
    }
    DeviceOperation operation(*this);
    TransferResult result = TransferResult::Failed;
    if (CheckNewName(file.deviceName) != NameProblem::None) {
        view_.showMessage(FormatText(text::kNameRefusedRules, DisplayName(file.deviceName)),
                          LoadText(text::kFileDownload), MessageIcon::Error);
    } else {
        BaudSwitch baud(monitor_, view_, uint32_t(baudRate_));
        RaisedBaudRate raised(baud);
        result = Transfers().Download(file.pcPath, file.deviceFolder, file.deviceName);
    }
    if (result == TransferResult::Copied && folderShown && file.row >= 0)
        drives.setRowIcon(file.row, FsIcon::File);
    // A transfer that failed stops the queue: the remaining files are not sent.
    const bool last = ++nextNewFile_ == newFileQueue_.size();
    if (result != TransferResult::Copied || last) {
        const bool stillShown = tables.selected().path == file.deviceFolder;
        newFileQueue_.clear();
        nextNewFile_ = 0;
        if (stillShown) fileSystem_->ListSelectedFolder();
        return;
    }
    timers_.start(kNewFileTimer, kQueueStepPeriod);
}

// --- New program ---------------------------------------------------------------------------

void CDownloadDialog::NewProgram() {
    const std::optional<std::string> rom = view_.chooseRomImage();
    if (!rom) return;
    view_.driveView()->appendRow({kApplicationFile, "", "", FsIcon::Application});
    TransferContext context = TransferSettings();
    DownloadProgram(context, *rom, fileSystem_->tables().selected().path);
    // The device's own entry replaces the temporary row.
    fileSystem_->ListSelectedFolder();
}

}  // namespace tarmix
