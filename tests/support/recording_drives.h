// A drive view that writes down what the extended view's controller shows, and answers its
// context menus from queues of choices (none chosen when a queue is empty).
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "ffs/drive_view.h"

namespace tarmix {

class RecordingDrives : public DriveView {
  public:
    void selectDriveTab(int drive) override { tab = drive; }
    void showDriveTabs(const std::array<bool, kDriveCount>& shown) override { tabsShown = shown; }
    void showFolderTree(const std::vector<TreeNode>& shown) override { nodes = shown; }
    void selectFolderNode(int index) override { selectedNode = index; }
    void showFileList(const std::vector<ListRow>& shown) override { rows = shown; }
    void appendRow(const ListRow& row) override { rows.push_back(row); }
    void setRowIcon(int row, FsIcon icon) override { rows.at(size_t(row)).icon = icon; }
    void setTreeEnabled(bool enabled) override { treeEnabled = enabled; }
    void setListEnabled(bool enabled) override { listEnabled = enabled; }
    std::optional<FolderCommand> popupFolderMenu(const FolderMenu& menu) override {
        folderMenus.push_back(menu);
        return next(folderChoices);
    }
    std::optional<FileCommand> popupFileMenu(const FileMenu& menu) override {
        fileMenus.push_back(menu);
        return next(fileChoices);
    }
    void editNewRow(const ListRow& row) override {
        rows.push_back(row);
        edited.push_back(row.name);
    }

    std::vector<std::string> rowNames() const {
        std::vector<std::string> names;
        for (const ListRow& row : rows) names.push_back(row.name);
        return names;
    }

    int tab = -1;
    std::array<bool, kDriveCount> tabsShown{};
    std::vector<TreeNode> nodes;
    int selectedNode = -2;
    std::vector<ListRow> rows;
    bool treeEnabled = false;
    bool listEnabled = false;
    std::vector<FolderMenu> folderMenus;
    std::vector<FileMenu> fileMenus;
    std::deque<std::optional<FolderCommand>> folderChoices;
    std::deque<std::optional<FileCommand>> fileChoices;
    std::vector<std::string> edited;

  private:
    template <typename T>
    static std::optional<T> next(std::deque<std::optional<T>>& choices) {
        if (choices.empty()) return std::nullopt;
        auto choice = choices.front();
        choices.pop_front();
        return choice;
    }
};

}  // namespace tarmix
