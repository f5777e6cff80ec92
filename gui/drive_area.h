// The file-system area of the extended view: one tab per drive (A:, B:, C:), the folder tree
// of the drive on the selected tab, and the contents of the selected folder. It shows what
// the extended view's controller tells it (DriveView) and reports the user's tab choice,
// folder selection, right clicks and the end of a name edit through the callbacks below.
#pragma once

#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ffs/drive_view.h"

class QSplitter;
class QTabBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarmix::gui {

class DriveArea : public QWidget, public DriveView {
  public:
    explicit DriveArea(QWidget* parent = nullptr);

    // Puts the current language's texts on the tabs and column headers and sizes the
    // columns: each as wide as the larger of its header and a sample entry, plus a margin
    // (more for the name column, which carries the icon).
    void applyLanguage();

    // Wide enough for all three tabs, and for a folder tree beside the whole file list.
    QSize sizeHint() const override;

    QTabBar* drives() const { return drives_; }
    QTreeWidget* folders() const { return folders_; }
    QTreeWidget* files() const { return files_; }

    // What the user does; unset callbacks are ignored.
    std::function<void(int drive)> tabChosen;
    std::function<void(int index)> folderChosen;
    std::function<void(int entryUnderClick)> folderMenuRequested;
    std::function<void(const std::vector<int>& rows)> fileMenuRequested;
    std::function<void(const std::vector<int>& rows, const std::optional<std::string>& text)>
        nameEdited;

    // The rows of the list that are selected, in list order.
    std::vector<int> selectedRows() const;

    // DriveView
    void selectDriveTab(int drive) override;
    void showDriveTabs(const std::array<bool, kDriveCount>& shown) override;
    void showFolderTree(const std::vector<TreeNode>& nodes) override;
    void selectFolderNode(int index) override;
    void showFileList(const std::vector<ListRow>& rows) override;
    void appendRow(const ListRow& row) override;
    void setRowIcon(int row, FsIcon icon) override;
    void setTreeEnabled(bool enabled) override;
    void setListEnabled(bool enabled) override;
    std::optional<FolderCommand> popupFolderMenu(const FolderMenu& menu) override;
    std::optional<FileCommand> popupFileMenu(const FileMenu& menu) override;
    void editNewRow(const ListRow& row) override;

  private:
    int treeWidth() const;
    // The width the folder tree needs to show every label whole.
    int folderLabelsWidth() const;
    int listWidth() const;
    QTreeWidgetItem* makeRow(const ListRow& row) const;
    void connectEvents();
    void reportEditEnd(bool committed);

    QTabBar* drives_;
    QTreeWidget* folders_;
    QTreeWidget* files_;
    QSplitter* split_;
    std::vector<QTreeWidgetItem*> nodes_;  // by folder index
    QTreeWidgetItem* editing_ = nullptr;   // the new row whose name is being typed
};

}  // namespace tarmix::gui
