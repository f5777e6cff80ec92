// The file-system area of the extended view: one tab per drive (A:, B:, C:), the folder tree
// of the drive on the selected tab, and the contents of the selected folder.
#pragma once

#include <QWidget>

class QSplitter;
class QTabBar;
class QTreeWidget;

namespace tarmix::gui {

class DriveArea : public QWidget {
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

  private:
    int treeWidth() const;
    int listWidth() const;

    QTabBar* drives_;
    QTreeWidget* folders_;
    QTreeWidget* files_;
    QSplitter* split_;
};

}  // namespace tarmix::gui
