// The window's two small local dialogs: the folder chooser (its roots "/", the home folder
// and the mounted volumes, folders read as they are expanded, "New folder") and the one-line
// name input it asks a new folder's name with. What they decide lives in
// app/window/folder_chooser_model.h; these only show it.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "app/window/folder_chooser_model.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarmix::gui {

// The name input: a prompt, the text (all of it selected), at most `maxLength` characters,
// "*" for every character in password mode.
class NameInputDialog : public QDialog {
  public:
    NameInputDialog(QWidget* parent, const QString& prompt, const QString& text, int maxLength,
                    bool password);
    QString text() const;
    QLineEdit* field() const { return field_; }

  private:
    QLineEdit* field_;
};

class FolderChooser : public QDialog {
  public:
    // `startPath`: the folder selected at first (as deep as it exists); may be empty.
    FolderChooser(QWidget* parent, const std::string& startPath,
                  std::vector<FolderRoot> roots = FolderChooserRoots());

    // The selected folder's path (after OK).
    std::string chosenPath() const { return current_; }

    QTreeWidget* tree() const { return tree_; }
    QLineEdit* pathField() const { return pathField_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* newFolderButton() const { return newFolder_; }

    // Selects the folder of `path`, expanding every node on the way.
    void selectPath(const std::string& path);
    // "New folder": asks for the name and creates the folder inside the selected one.
    void newFolder();

  protected:
    bool eventFilter(QObject* target, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    QTreeWidgetItem* addFolderNode(QTreeWidgetItem* parent, const std::string& name);
    void readChildren(QTreeWidgetItem* node);
    void dropChildren(QTreeWidgetItem* node);
    void selectionChanged();
    void showPath();
    static std::string pathOf(const QTreeWidgetItem* node);

    std::vector<FolderRoot> roots_;
    QLineEdit* pathField_;
    QTreeWidget* tree_;
    QPushButton* newFolder_;
    QPushButton* ok_;
    std::string current_;
};

}  // namespace tarmix::gui
