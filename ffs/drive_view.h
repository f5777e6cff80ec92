// What the extended view's controller (FileSystemView) asks of the window's file-system
// area: the drive tabs, the folder tree, the file list and their two context menus. The Qt
// window implements it; the console front end and the tests record it. Texts arrive in the
// user's language and as UTF-8; node and row indices are those of the folder and file tables.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "ffs/drive_tables.h"

namespace tarmix {

// The "Folder" menu of the tree and the "File" menu of the list, with the items' enabling.
enum class FolderCommand { Format, Properties };
struct FolderMenu {
    bool formatEnabled = false;
    bool propertiesEnabled = false;
};
enum class FileCommand { Upload, NewFile, NewFolder, NewProgram, Delete };
struct FileMenu {
    bool uploadEnabled = false;
    bool newFileEnabled = false;
    bool newFolderEnabled = false;
    bool newProgramEnabled = false;
    bool deleteEnabled = false;
};

// One node of the tree as the window shows it.
struct TreeNode {
    std::string text;  // UTF-8
    int parent = -1;   // index of the parent node; -1 for the root
    FsIcon icon = FsIcon::Folder;
    FsIcon selectedIcon = FsIcon::OpenFolder;
};

// One row of the list as the window shows it.
struct ListRow {
    std::string name;  // UTF-8
    std::string size;
    std::string created;
    FsIcon icon = FsIcon::File;
};

class DriveView {
  public:
    virtual ~DriveView() = default;

    // Selects the drive's tab without reporting a tab change.
    virtual void selectDriveTab(int drive) = 0;
    // Which drives have a tab: those the controller has, and the one shown.
    virtual void showDriveTabs(const std::array<bool, kDriveCount>& shown) = 0;
    // Replaces the tree (node 0 is the root); all nodes expanded, none selected.
    virtual void showFolderTree(const std::vector<TreeNode>& nodes) = 0;
    // Selects a node without reporting a selection change; -1 selects none.
    virtual void selectFolderNode(int index) = 0;
    virtual void showFileList(const std::vector<ListRow>& rows) = 0;
    // Appends one row (a file on its way to the device) without touching the others.
    virtual void appendRow(const ListRow& row) = 0;
    // Changes the picture of a shown row (a queued file that has arrived).
    virtual void setRowIcon(int row, FsIcon icon) = 0;
    virtual void setTreeEnabled(bool enabled) = 0;
    virtual void setListEnabled(bool enabled) = 0;
    // The menus open at the mouse; the chosen command, or nullopt when none was chosen.
    virtual std::optional<FolderCommand> popupFolderMenu(const FolderMenu& menu) = 0;
    virtual std::optional<FileCommand> popupFileMenu(const FileMenu& menu) = 0;
    // Appends a row to the list and starts editing its name; the window reports the end of
    // the edit to FileSystemView::OnEndLabelEdit.
    virtual void editNewRow(const ListRow& row) = 0;
};

}  // namespace tarmix
