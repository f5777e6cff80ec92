// The extended view of the main window: the ">>>" control that shows the drives' file
// system, the events of its tabs, tree and list, the transfers of its "File" menu (the
// queued ones in file_menu_queues.cpp, and New program: a ROM image as the drive's
// Application.exe), and the moments it is read again (a new identification, a language
// change, the end of a script).
#include "app/window/download_dialog.h"
#include "ffs/new_program.h"

namespace tarmix {

namespace {

constexpr char kExtendedViewCaption[] = "<<<";
constexpr char kCompactViewCaption[] = ">>>";

}  // namespace

void CDownloadDialog::SetUpFileSystemView() {
    DriveView* drives = view_.driveView();
    if (drives == nullptr) return;
    fileSystem_ = std::make_unique<FileSystemView>(monitor_, device_, view_, *drives);
    fileSystem_->setTransferHandler([this](FileCommand command, const std::vector<int>& rows) {
        RunFileMenuTransfer(command, rows);
    });
    queues_.emplace(FileMenuWindow{view_, timers_, *fileSystem_, monitor_, device_, baudRate_,
                                   askBeforeOverwrite_,
                                   [this] { return ChooseFolderFor(FolderPurpose::Upload); },
                                   [this](const std::function<void()>& work) {
                                       DeviceOperation operation(*this);
                                       work();
                                   },
                                   [this] { return Transfers(); }});
    fileSystem_->setNewFileHandler([this](const std::string& name) { queues_->NameNewFile(name); });
}

void CDownloadDialog::RunFileMenuTransfer(FileCommand command, const std::vector<int>& rows) {
    switch (command) {
        case FileCommand::Upload:
            return queues_->QueueUploads(rows);
        case FileCommand::NewFile:
            return queues_->QueueNewFiles();
        case FileCommand::NewProgram:
            return NewProgram();
        case FileCommand::NewFolder:
        case FileCommand::Delete:
            return;  // the view's own commands
    }
}

void CDownloadDialog::NewProgram() {
    const std::optional<std::string> rom = view_.chooseRomImage();
    if (!rom) return;
    view_.driveView()->appendRow({kApplicationFile, "", "", FsIcon::Application});
    TransferContext context = TransferSettings();
    DownloadProgram(context, *rom, fileSystem_->tables().selected().path);
    // The device's own entry replaces the temporary row.
    fileSystem_->ListSelectedFolder();
}

void CDownloadDialog::ShowCompactView() {
    extendedView_ = false;
    view_.setCaption(Control::ExtendedView, kCompactViewCaption);
    view_.setVisible(Control::DriveTabs, false);
    view_.setEnabled(Control::ExtendedView, fileSystem_ != nullptr);
    // No drive is known yet: the root of A: as not available, nothing asked.
    if (fileSystem_) fileSystem_->ShowDrive(0, 0);
}

void CDownloadDialog::OnExtendedView() {
    if (busy_ || !fileSystem_) return;
    extendedView_ = !extendedView_;
    view_.setCaption(Control::ExtendedView,
                     extendedView_ ? kExtendedViewCaption : kCompactViewCaption);
    view_.setVisible(Control::DriveTabs, extendedView_);
    if (!extendedView_) return;
    DeviceOperation operation(*this);
    fileSystem_->Refresh();
}

void CDownloadDialog::OnDriveTab(int drive) {
    if (busy_ || !fileSystem_ || drive < 0 || drive >= kDriveCount) return;
    DeviceOperation operation(*this);
    fileSystem_->OnTabChange(drive);
}

void CDownloadDialog::OnFolderSelected(int index) {
    if (busy_ || !fileSystem_) return;
    DeviceOperation operation(*this);
    fileSystem_->OnFolderSelected(index);
}

void CDownloadDialog::OnFolderTreeMenu(int entryUnderClick) {
    if (busy_ || !fileSystem_) return;
    DeviceOperation operation(*this);
    fileSystem_->OnTreeRightClick(entryUnderClick);
}

void CDownloadDialog::OnFileListMenu(const std::vector<int>& selectedRows) {
    if (busy_ || !fileSystem_) return;
    DeviceOperation operation(*this);
    fileSystem_->OnListRightClick(selectedRows);
}

void CDownloadDialog::OnFileNameEdited(const std::vector<int>& selectedRows,
                                       const std::optional<std::string>& text) {
    if (!fileSystem_) return;
    DeviceOperation operation(*this);
    if (text)
        fileSystem_->OnEndLabelEdit(selectedRows, *text);
    else
        fileSystem_->OnCancelLabelEdit();
}

void CDownloadDialog::ShowIdentifiedDrive(int firstDrive) {
    if (!extendedView_ || !fileSystem_) return;
    fileSystem_->ShowDrive(firstDrive >= 0 ? firstDrive : 0, 0);
}

void CDownloadDialog::RefreshDrivesAfterLanguage() {
    if (!extendedView_ || !fileSystem_) return;
    DeviceOperation operation(*this);
    fileSystem_->ShowAllDrives();
}

void CDownloadDialog::RefreshDriveAfterScript() {
    if (!extendedView_ || !fileSystem_ || applicationRunning_) return;
    fileSystem_->Refresh();
}

}  // namespace tarmix
