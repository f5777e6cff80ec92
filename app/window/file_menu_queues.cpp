// The queues of the extended view's "File" menu: Upload of the selected rows (one file
// through a save dialog, several into a chosen folder) and New File (PC files to the folder
// shown, one by one on the new-file timer).
#include "app/window/file_menu_queues.h"

#include <filesystem>

#include "ffs/device_path.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/baud_switch.h"
#include "platform/latin1.h"
#include "platform/stop_request.h"

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

// --- Upload --------------------------------------------------------------------------------

void FileMenuQueues::QueueUploads(const std::vector<int>& rows) {
    uploadQueue_.clear();
    MainWindowView& view = window_.view;
    const DriveTables& tables = window_.fileSystem.tables();
    for (int row : rows)
        if (row < 0 || size_t(row) >= tables.files.size()) return;
    for (int row : rows) {
        const FileRow& file = tables.files[size_t(row)];
        if (!file.isFolder) continue;
        view.showMessage(
            LoadText(text::kFolderNotPossible) + "\n\n<" + DisplayName(file.name) + ">",
            LoadText(text::kFileUpload), MessageIcon::Error);
        return;
    }
    const std::string folder = tables.selected().path;
    if (rows.size() == 1) {
        const FileRow& file = tables.files[size_t(rows.front())];
        const std::optional<std::string> chosen = view.chooseSaveFile(DisplayName(file.name));
        if (!chosen) return;
        uploadQueue_.push_back({*chosen, FilePathIn(folder, file.name)});
        window_.askBeforeOverwrite = false;  // the save dialog has asked already
    } else {
        const std::optional<std::string> chosen = window_.chooseUploadFolder();
        if (!chosen || chosen->empty()) return;
        for (int row : rows) {
            const std::string& name = tables.files[size_t(row)].name;
            // A device name becomes a PC file name only when it cannot leave the folder.
            if (!IsSafeDeviceName(name)) {
                view.showMessage(FormatText(text::kNoPcName, DisplayName(name)),
                                 LoadText(text::kFileUpload), MessageIcon::Error);
                continue;
            }
            uploadQueue_.push_back(
                {(fs::path(*chosen) / DisplayName(name)).string(), FilePathIn(folder, name)});
        }
        window_.askBeforeOverwrite = true;
    }
    if (!uploadQueue_.empty()) window_.timers.start(kUploadTimer, kStepPeriod);
}

void FileMenuQueues::UploadQueueStep() {
    window_.timers.stop(kUploadTimer);
    const std::vector<QueuedUpload> queue = std::move(uploadQueue_);
    uploadQueue_.clear();
    if (queue.empty()) return;
    window_.deviceOperation([&] {
        {
            BaudSwitch baud(window_.monitor, window_.view, uint32_t(window_.baudRate));
            RaisedBaudRate raised(baud);
            // A failed file does not hold up the others; each failure has been shown. A stop
            // request ends the queue.
            for (const QueuedUpload& upload : queue) {
                if (StopRequested()) break;
                window_.transfers().Upload(upload.pcPath, upload.devicePath);
            }
        }
        window_.askBeforeOverwrite = true;  // a later upload asks again
    });
}

// --- New File ------------------------------------------------------------------------------

void FileMenuQueues::QueueNewFiles() {
    const std::vector<std::string> chosen = window_.view.chooseFiles();
    if (chosen.empty()) return;
    newFileQueue_.clear();
    nextNewFile_ = 0;
    const DriveTables& tables = window_.fileSystem.tables();
    const std::string folder = tables.selected().path;
    for (const std::string& path : chosen) {
        const std::optional<std::string> name = DeviceNameOf(path);
        if (!name) {
            window_.view.showMessage(
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
        return window_.fileSystem.BeginNameEdit({shown, "", "", FsIcon::NewFile}, true);
    }
    if (!newFileQueue_.empty()) window_.timers.start(kNewFileTimer, kStepPeriod);
}

void FileMenuQueues::NameNewFile(const std::string& name) {
    if (newFileQueue_.size() != 1 || nextNewFile_ != 0) return;
    QueuedNewFile& file = newFileQueue_.front();
    file.deviceName = name.substr(0, kMaxNewNameLength);
    if (DriveView* drives = window_.view.driveView(); drives && file.row >= 0)
        drives->setRowIcon(file.row, FsIcon::WaitingUpload);
    window_.timers.start(kNewFileTimer, kStepPeriod);
}

void FileMenuQueues::NewFileStep() {
    if (nextNewFile_ >= newFileQueue_.size()) {
        window_.timers.stop(kNewFileTimer);
        return;
    }
    QueuedNewFile& file = newFileQueue_[nextNewFile_];
    DriveView& drives = *window_.view.driveView();
    const DriveTables& tables = window_.fileSystem.tables();
    // The row goes into the list only while the list shows the file's folder.
    const bool folderShown = tables.selected().path == file.deviceFolder;
    if (file.row < 0 && folderShown) {
        // Row step: the file shows up waiting; the timer runs on to its transfer step.
        file.row = int(tables.files.size() + nextNewFile_);
        drives.appendRow({DisplayName(file.deviceName), "", "", FsIcon::WaitingUpload});
        return;
    }
    window_.timers.stop(kNewFileTimer);
    if (!DriveAvailable(window_.device, tables.drive)) {
        newFileQueue_.clear();
        return;
    }
    window_.deviceOperation([&] { SendNewFile(file, folderShown); });
}

void FileMenuQueues::SendNewFile(QueuedNewFile& file, bool folderShown) {
    MainWindowView& view = window_.view;
    DriveView& drives = *view.driveView();
    const DriveTables& tables = window_.fileSystem.tables();
    TransferResult result = TransferResult::Failed;
    if (CheckNewName(file.deviceName) != NameProblem::None) {
        view.showMessage(FormatText(text::kNameRefusedRules, DisplayName(file.deviceName)),
                         LoadText(text::kFileDownload), MessageIcon::Error);
    } else {
        BaudSwitch baud(window_.monitor, view, uint32_t(window_.baudRate));
        RaisedBaudRate raised(baud);
        result = window_.transfers().Download(file.pcPath, file.deviceFolder, file.deviceName);
    }
    if (result == TransferResult::Copied && folderShown && file.row >= 0)
        drives.setRowIcon(file.row, FsIcon::File);
    // A transfer that failed stops the queue: the remaining files are not sent.
    const bool last = ++nextNewFile_ == newFileQueue_.size();
    if (result != TransferResult::Copied || last) {
        const bool stillShown = tables.selected().path == file.deviceFolder;
        newFileQueue_.clear();
        nextNewFile_ = 0;
        if (stillShown) window_.fileSystem.ListSelectedFolder();
        return;
    }
    window_.timers.start(kNewFileTimer, kStepPeriod);
}

}  // namespace tarmix
