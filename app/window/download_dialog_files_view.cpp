// The extended view of the main window: the ">>>" control that shows the drives' file
// system, the events of its tabs, tree and list, and the moments it is read again (a new
// identification, a language change, the end of a script).
#include "app/window/download_dialog.h"

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
    fileSystem_->setNewFileHandler([this](const std::string& name) { NameNewFile(name); });
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
