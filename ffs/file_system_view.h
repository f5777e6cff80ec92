// The extended view's controller, without any toolkit: the drive tabs, the folder tree and
// the file list of the controller's file system, their refreshes, their context menus and
// the commands behind them (properties, format, new folder, delete). The main window owns
// one and forwards the view's events to it; everything reaches the user through the View
// (messages, questions, wait cursor) and the DriveView (tabs, tree, list, menus).
//
// The tables it keeps (tables()) are what the transfers act on: the device path of a row is
// the selected folder's path followed by the row's name. Upload, New File and New program
// belong to the transfers; they are offered in the "File" menu once a handler is set.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ffs/drive_tables.h"
#include "ffs/drive_view.h"
#include "ffs/fs_commands.h"
#include "link/monitor_exchange.h"
#include "platform/view.h"

namespace tarmix {

class FileSystemView {
  public:
    // The transfers' commands of the "File" menu, with the selected rows.
    using TransferHandler = std::function<void(FileCommand command, const std::vector<int>& rows)>;
    // The name typed for a new device file (new-file mode of the label edit).
    using NewFileHandler = std::function<void(const std::string& name)>;

    FileSystemView(MonitorExchange& monitor, DeviceDescription& device, View& view,
                   DriveView& drives);

    void setTransferHandler(TransferHandler handler) { transfers_ = std::move(handler); }
    void setNewFileHandler(NewFileHandler handler) { newFile_ = std::move(handler); }

    const DriveTables& tables() const { return tables_; }

    // Selects the drive's tab, reads its tree and lists folder `folder` (the root when the
    // re-read tree has no such entry).
    void ShowDrive(int drive, int folder);
    // Reads the shown drive again, keeping the selected folder where it still exists.
    void Refresh();
    // Lists the selected folder again.
    void ListSelectedFolder();
    // The language changed: re-reads all three drives, ending on C:.
    void ShowAllDrives();
    // The controller went away: the shown drive stays, but none of its folders and files,
    // which may be gone or another controller's by the time it answers again.
    void ShowControllerGone() { ShowUnavailable(tables_.drive, 0); }

    // --- events of the view ---------------------------------------------------------------
    void OnTabChange(int drive);
    void OnFolderSelected(int index);
    // `entryUnderClick`: the node under the mouse, or -1 for none.
    void OnTreeRightClick(int entryUnderClick);
    void OnListRightClick(const std::vector<int>& selectedRows);
    // Whether a label edit may begin: only once after New folder or New File asked for it.
    bool OnBeginLabelEdit();
    // The end of a label edit with the edited text; `selectedRows` as the list has them.
    void OnEndLabelEdit(const std::vector<int>& selectedRows, const std::string& text);
    // The name edit was abandoned (Escape): the temporary row goes, nothing is sent.
    void OnCancelLabelEdit();
    // Starts the name edit of a new row; `newFile` chooses new-file mode (the transfers).
    void BeginNameEdit(const ListRow& row, bool newFile);

    // --- the commands, also used by the menus -----------------------------------------------
    void ShowProperties();
    void FormatSelectedDrive();
    void NewFolder();
    void DeleteRows(const std::vector<int>& rows);
    // Creates folder `name` in the selected folder and shows it.
    void CreateFolder(const std::string& name);

  private:
    bool available(int drive) const;
    // ShowDrive that selects the folder `keepPath` when the re-read tree still has it.
    void ShowDriveKeeping(int drive, int folder, const std::string& keepPath);
    void ShowUnavailable(int drive, int folder);
    void ShowTree(int drive, const FolderTable& folders, FsIcon rootIcon);
    void ListFolder(const std::string& path, int drive);
    void ClearList();
    // The file table as it is, without asking the device (drops temporary rows).
    void ShowFileTable();
    void ReportSkipped(int skipped);
    // The device refused a command or did not answer: its own text, or why there is none.
    void ReportFailure(const CommandOutcome& outcome);
    void ReportError(const std::string& text);

    MonitorExchange& monitor_;
    DeviceDescription& device_;
    View& view_;
    DriveView& drives_;
    DriveTables tables_;
    bool labelEditPermit_ = false;
    bool newFileMode_ = false;
    TransferHandler transfers_;
    NewFileHandler newFile_;
};

}  // namespace tarmix
