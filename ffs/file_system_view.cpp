#include "ffs/file_system_view.h"

#include <array>

#include "ffs/device_path.h"
#include "ffs/drive_listing.h"
#include "ffs/fs_commands.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {

// The properties box: each label padded to 20 characters, a tab, a colon and a blank.
constexpr char kUsageFormat[] =
    "%-20s\t: %d [kb]\n%-20s\t: %d\n%-20s\t: %.1f %%\n%-20s\t: %.1f %%\n";

// The row a new folder starts as, and the longest text a label edit hands over.
constexpr char kNewFolderName[] = "NewDirectory";
constexpr size_t kMaxEditedText = 99;

// The edited text up to the first character a device name may not have.
std::string CutEditedText(const std::string& text) {
    std::string name = text.substr(0, kMaxEditedText);
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == ' ' || c == '-' || c == '.' ||
                             c == '/' || c == '_';
        if (!allowed) return name.substr(0, i);
    }
    return name;
}

ListRow RowOf(const FileRow& file) {
    return {DisplayName(file.name), file.sizeText(), DisplayName(file.created), file.icon()};
}

}  // namespace

FileSystemView::FileSystemView(MonitorExchange& monitor, DeviceDescription& device, View& view,
                               DriveView& drives)
    : monitor_(monitor), device_(device), view_(view), drives_(drives) {}

bool FileSystemView::available(int drive) const { return DriveAvailable(device_, drive); }

// --- showing drives and folders ------------------------------------------------------------

void FileSystemView::ShowDrive(int drive, int folder) { ShowDriveKeeping(drive, folder, ""); }

void FileSystemView::ShowDriveKeeping(int drive, int folder, const std::string& keepPath) {
    std::array<bool, kDriveCount> tabs{};
    for (int other = 0; other < kDriveCount; ++other)
        tabs[size_t(other)] = other == drive || available(other);
    drives_.showDriveTabs(tabs);
    drives_.selectDriveTab(drive);
    tables_.drive = drive;
    // A drive that is not there is shown without asking the device: no wait.
    if (!available(drive)) return ShowUnavailable(drive, folder);
    WaitCursor wait(view_);

    TreeListing listing = ReadTree(monitor_, drive);
    if (listing.collected == Collected::SendFailed) return;
    tables_.skippedFolders = listing.parse.skipped;
    tables_.folders = std::move(listing.parse.folders);
    if (listing.collected == Collected::TooLong) {
        // The root alone, not listed: a device that talks on would only do so again.
        tables_.state = DriveState::Incomplete;
        ShowTree(drive, tables_.folders, FsIcon::Folder);
        drives_.setTreeEnabled(true);
        drives_.setListEnabled(false);
        drives_.selectFolderNode(0);
        tables_.selectedFolder = 0;
        ClearList();
        return ReportError(TooLongText(kListingCapacity));
    }
    if (listing.damaged) {
        tables_.state = DriveState::Damaged;
        ShowTree(drive, tables_.folders, FsIcon::DriveError);
        drives_.setTreeEnabled(true);
        drives_.setListEnabled(false);
        drives_.selectFolderNode(-1);
        tables_.selectedFolder = 0;
        return ClearList();
    }
    tables_.state =
        listing.collected == Collected::Complete ? DriveState::Listed : DriveState::Incomplete;
    ShowTree(drive, tables_.folders, FsIcon::Folder);
    drives_.setTreeEnabled(true);
    drives_.setListEnabled(true);
    ReportSkipped(tables_.skippedFolders);
    if (folder < 0 || size_t(folder) >= tables_.folders.size()) folder = 0;
    for (size_t i = 0; i < tables_.folders.size() && !keepPath.empty(); ++i)
        if (tables_.folders[i].path == keepPath) folder = int(i);
    OnFolderSelected(folder);
}

void FileSystemView::ShowUnavailable(int drive, int folder) {
    tables_.state = DriveState::Unavailable;
    tables_.folders = {{"", DriveRootPath(drive), 0, -1}};
    tables_.skippedFolders = 0;
    ShowTree(drive, tables_.folders, FsIcon::DriveMissing);
    drives_.setTreeEnabled(false);
    drives_.setListEnabled(false);
    tables_.selectedFolder = 0;
    drives_.selectFolderNode(folder == 0 ? 0 : -1);
    ClearList();
}

void FileSystemView::ShowTree(int drive, const FolderTable& folders, FsIcon rootIcon) {
    std::vector<TreeNode> nodes;
    nodes.reserve(folders.size());
    const std::string title = LoadText(kDriveTable[size_t(drive)].tabTextId);
    const FsIcon rootSelected = rootIcon == FsIcon::Folder ? FsIcon::OpenFolder : rootIcon;
    nodes.push_back({title, -1, rootIcon, rootSelected});
    for (size_t i = 1; i < folders.size(); ++i)
        nodes.push_back({DisplayName(folders[i].name), folders[i].parent});
    drives_.showFolderTree(nodes);
}

void FileSystemView::Refresh() {
    // The selected folder is kept by its path: a new or removed folder shifts the indices.
    const std::string selectedPath =
        tables_.folders.empty() ? std::string() : tables_.selected().path;
    ShowDriveKeeping(tables_.drive, tables_.selectedFolder, selectedPath);
}

void FileSystemView::ShowAllDrives() {
    for (int drive = 0; drive < kDriveCount; ++drive) ShowDrive(drive, 0);
}

void FileSystemView::ListSelectedFolder() { ListFolder(tables_.selected().path, tables_.drive); }

void FileSystemView::ListFolder(const std::string& path, int drive) {
    if (!available(drive) || tables_.state == DriveState::Damaged) return ClearList();
    WaitCursor wait(view_);
    FolderListing listing = ReadFolder(monitor_, path);
    if (listing.collected == Collected::SendFailed) return;
    ClearList();
    if (listing.collected == Collected::TooLong) return ReportError(TooLongText(kListingCapacity));
    tables_.files = std::move(listing.parse.rows);
    tables_.skippedRows = listing.parse.skipped;
    tables_.listingComplete = listing.parse.headerMatches;
    ShowFileTable();
    ReportSkipped(tables_.skippedRows);
}

void FileSystemView::ShowFileTable() {
    std::vector<ListRow> rows;
    rows.reserve(tables_.files.size());
    for (const FileRow& file : tables_.files) rows.push_back(RowOf(file));
    drives_.showFileList(rows);
}

void FileSystemView::ClearList() {
    tables_.files.clear();
    tables_.skippedRows = 0;
    tables_.listingComplete = false;
    drives_.showFileList({});
}

void FileSystemView::ReportSkipped(int skipped) {
    if (skipped > 0) view_.setStatus(FormatText(text::kListingLinesUnread, skipped));
}

// --- events --------------------------------------------------------------------------------

void FileSystemView::OnTabChange(int drive) {
    device_.drivesPresent = available(drive);
    ShowDrive(drive, 0);
}

void FileSystemView::OnFolderSelected(int index) {
    if (index < 0 || size_t(index) >= tables_.folders.size()) return;
    tables_.selectedFolder = index;
    drives_.selectFolderNode(index);
    if (available(tables_.drive))
        ListFolder(tables_.selected().path, tables_.drive);
    else
        ClearList();
}

void FileSystemView::OnTreeRightClick(int entryUnderClick) {
    const int entry = entryUnderClick >= 0 ? entryUnderClick : tables_.selectedFolder;
    if (entry < 0 || size_t(entry) >= tables_.folders.size()) return;
    OnFolderSelected(entry);
    const bool root = entry == 0;
    const auto command = drives_.popupFolderMenu({root, root});
    if (command == FolderCommand::Format) FormatSelectedDrive();
    if (command == FolderCommand::Properties) ShowProperties();
}

void FileSystemView::OnListRightClick(const std::vector<int>& selectedRows) {
    const bool none = selectedRows.empty();
    const bool transfers = bool(transfers_);
    FileMenu menu;
    menu.uploadEnabled = transfers && !none;
    menu.newFileEnabled = transfers && none;
    menu.newFolderEnabled = none;
    menu.newProgramEnabled = transfers && none && tables_.selectedFolder == 0;
    menu.deleteEnabled = !none;
    const auto command = drives_.popupFileMenu(menu);
    if (!command) return;
    switch (*command) {
        case FileCommand::NewFolder:
            return NewFolder();
        case FileCommand::Delete:
            return DeleteRows(selectedRows);
        default:
            if (transfers_) transfers_(*command, selectedRows);
    }
}

bool FileSystemView::OnBeginLabelEdit() {
    const bool allowed = labelEditPermit_;
    labelEditPermit_ = false;
    return allowed;
}

void FileSystemView::BeginNameEdit(const ListRow& row, bool newFile) {
    newFileMode_ = newFile;
    labelEditPermit_ = true;
    drives_.editNewRow(row);
}

void FileSystemView::OnCancelLabelEdit() {
    newFileMode_ = false;
    labelEditPermit_ = false;
    ShowFileTable();
}

void FileSystemView::OnEndLabelEdit(const std::vector<int>& selectedRows, const std::string& text) {
    if (selectedRows.size() != 1) return;
    const std::string name = CutEditedText(text);
    if (!available(tables_.drive)) {
        view_.showMessage(LoadText(text::kDriveNotAvailable), "", MessageIcon::Error);
        return;
    }
    if (newFileMode_) {
        newFileMode_ = false;
        if (newFile_) newFile_(name);
        return;
    }
    CreateFolder(name);
}

// --- the commands --------------------------------------------------------------------------

void FileSystemView::ShowProperties() {
    WaitCursor wait(view_);
    if (!available(tables_.drive)) {
        view_.showMessage(LoadText(text::kDriveNotAvailable), "", MessageIcon::Error);
        return;
    }
    DriveFigures figures;
    const FiguresRead read = ReadDriveFigures(monitor_, tables_.drive, figures);
    if (read == FiguresRead::SendFailed) return;
    if (read == FiguresRead::GivenUp) {
        view_.showMessage(LoadText(text::kDriveNotAvailable), "", MessageIcon::Error);
        return;
    }
    if (read == FiguresRead::TooLong) return ReportError(TooLongText(kCommandCapacity));
    const auto usage = read == FiguresRead::Ok ? UsageOf(figures) : std::nullopt;
    if (!usage) {
        view_.showMessage(LoadText(text::kDriveReadError), "", MessageIcon::Error);
        return;
    }
    const std::string size = LoadText(text::kSize), blocks = LoadText(text::kBlocks),
                      inUse = LoadText(text::kInUse), free = LoadText(text::kFree);
    const std::array<FormatArg, 8> args = {size,  usage->sizeKb,       blocks, usage->blocks,
                                           inUse, usage->inUsePercent, free,   usage->freePercent};
    view_.showMessage(fillFormat(kUsageFormat, args).value_or(""), "", MessageIcon::Information);
}

void FileSystemView::FormatSelectedDrive() {
    const int drive = tables_.drive;
    if (!available(drive)) {
        view_.showMessage(LoadText(text::kPartitionNotAvailable), "", MessageIcon::Error);
        return;
    }
    // The question names the drive it empties.
    if (!view_.askYesNo(LoadText(text::kFormatQuestion) + "\n\n<" + DriveRootPath(drive) + ">", ""))
        return;
    WaitCursor wait(view_);
    const CommandOutcome outcome = FormatDrive(monitor_, drive);
    if (outcome.collected == Collected::SendFailed) return ReportFailure(outcome);
    if (outcome.collected == Collected::GivenUp) return ReportError(LoadText(text::kFormatTimeout));
    if (outcome.collected == Collected::TooLong) return ReportFailure(outcome);
    ShowDrive(drive, 0);
    if (!outcome.done) return ReportFailure(outcome);
    view_.setStatus(CommandDoneText(FsCommand::Format, DriveRootPath(drive)));
    view_.showMessage(LoadText(text::kFormatFinished), "", MessageIcon::Information);
}

void FileSystemView::NewFolder() { BeginNameEdit({kNewFolderName, "", "", FsIcon::Folder}, false); }

void FileSystemView::CreateFolder(const std::string& name) {
    if (CheckNewName(name) != NameProblem::None) {
        view_.showMessage(FormatText(text::kNameRefusedRules, DisplayName(name)), "",
                          MessageIcon::Error);
        return ListSelectedFolder();
    }
    WaitCursor wait(view_);
    const std::string folder = tables_.selected().path;
    const CommandOutcome outcome = MakeFolder(monitor_, folder, name);
    if (outcome.collected == Collected::SendFailed) return ReportFailure(outcome);
    if (outcome.collected != Collected::TooLong) Refresh();
    if (!outcome.done) return ReportFailure(outcome);
    view_.setStatus(CommandDoneText(FsCommand::MakeFolder, FilePathIn(folder, name)));
}

void FileSystemView::DeleteRows(const std::vector<int>& rows) {
    if (rows.empty()) return;
    for (int row : rows)
        if (row < 0 || size_t(row) >= tables_.files.size()) return;
    if (rows.size() > 1 && !view_.askYesNo(FormatText(text::kDeleteQuestion, int(rows.size())), ""))
        return;
    WaitCursor wait(view_);
    const std::string folder = tables_.selected().path;
    bool removedFolder = false;
    std::vector<std::string> done;  // the outcome line of each entry deleted
    for (int index : rows) {
        if (!available(tables_.drive)) {
            view_.showMessage(LoadText(text::kDriveNotAvailable), "", MessageIcon::Error);
            return;
        }
        const FileRow& row = tables_.files[size_t(index)];
        const CommandOutcome outcome = row.isFolder
                                           ? RemoveFolder(monitor_, folder, row.name)
                                           : DeleteFile(monitor_, FilePathIn(folder, row.name));
        if (outcome.collected == Collected::SendFailed) return ReportFailure(outcome);
        removedFolder |= row.isFolder;
        if (outcome.collected == Collected::TooLong) return ReportFailure(outcome);
        if (!outcome.done) {
            removedFolder ? Refresh() : ListSelectedFolder();
            return ReportFailure(outcome);
        }
        done.push_back(
            CommandDoneText(row.isFolder ? FsCommand::RemoveFolder : FsCommand::DeleteFile,
                            FilePathIn(folder, row.name)));
    }
    removedFolder ? Refresh() : ListSelectedFolder();
    // After the new listing, whose figures would replace it.
    for (const std::string& text : done) view_.setStatus(text);
}

void FileSystemView::ReportFailure(const CommandOutcome& outcome) {
    switch (outcome.collected) {
        case Collected::SendFailed:  // the line's own failure has been shown
            return view_.setStatus(LoadText(text::kControllerNoAnswer));
        case Collected::Complete:
            return ReportError(FormatText(text::kCommandRefused, outcome.deviceText));
        case Collected::TooLong:
            return ReportError(TooLongText(kCommandCapacity));
        default:
            return ReportError(LoadText(text::kControllerNoAnswer));
    }
}

void FileSystemView::ReportError(const std::string& text) {
    view_.setStatus(text);
    view_.showMessage(text, "", MessageIcon::Error);
}

}  // namespace tarmix
