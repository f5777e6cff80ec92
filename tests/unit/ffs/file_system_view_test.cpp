// The extended view's controller against the in-process simulated controller: what the tree
// and the list show, and the context-menu commands acting on exactly the rows shown.
#include "ffs/file_system_view.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <fstream>

#include "lang/catalog.h"
#include "support/recording_drives.h"
#include "support/recording_view.h"
#include "unit/sim/sim_bench.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

struct ViewBench : sim::Bench {
    ViewBench() : Bench("alder"), files(monitor, device, view, drives) {
        setLanguageIndex(kEnglishLanguage);
        fs::remove_all(state);
        std::string error;
        EXPECT_TRUE(controller.loadState(state, error)) << error;
        device.driveSizes = {1024, 64, 0};
        fs::create_directories(drive('A') / "DATA" / "LOG");
        for (const char* name : {"A.TXT", "B.TXT", "C.TXT"})
            std::ofstream(drive('A') / name) << name;
    }
    ~ViewBench() { fs::remove_all(state); }
    fs::path drive(char letter) const { return state / "drives" / std::string(1, letter); }

    fs::path state = fs::temp_directory_path() / ("tarmix_ffs_view_" + std::to_string(getpid()));
    DeviceDescription device;
    testing::RecordingView view;
    RecordingDrives drives;
    FileSystemView files;
};

TEST(FileSystemView, ShowsTheTreeAndListsTheChosenFolder) {
    ViewBench bench;
    bench.files.ShowDrive(0, 0);
    ASSERT_EQ(bench.drives.nodes.size(), 3u);
    EXPECT_EQ(bench.drives.nodes[0].icon, FsIcon::Folder);
    EXPECT_EQ(bench.drives.nodes[2].text, "LOG");
    EXPECT_EQ(bench.drives.nodes[2].parent, 1);
    EXPECT_EQ(bench.drives.tabsShown, (std::array<bool, kDriveCount>{true, true, false}))
        << "a tab for each drive the controller has";
    EXPECT_EQ(bench.drives.rowNames(),
              (std::vector<std::string>{"DATA", "A.TXT", "B.TXT", "C.TXT"}));
    EXPECT_EQ(bench.drives.rows[1].size, "5");
    EXPECT_TRUE(bench.drives.listEnabled);

    bench.files.OnFolderSelected(1);
    EXPECT_EQ(bench.drives.rowNames(), (std::vector<std::string>{"LOG"}));
    EXPECT_EQ(bench.files.tables().selected().path, "A:\\DATA\\");
}

TEST(FileSystemView, UnavailableAndDamagedDrivesShowOnlyTheirRoot) {
    ViewBench bench;
    bench.files.OnTabChange(2);  // size 0
    EXPECT_FALSE(bench.device.drivesPresent);
    EXPECT_EQ(bench.drives.nodes.size(), 1u);
    EXPECT_EQ(bench.drives.nodes[0].icon, FsIcon::DriveMissing);
    EXPECT_FALSE(bench.drives.treeEnabled);
    EXPECT_TRUE(bench.drives.rows.empty());

    bench.controller.drives().setDamaged(0, true);
    bench.files.OnTabChange(0);
    EXPECT_TRUE(bench.device.drivesPresent);
    EXPECT_EQ(bench.drives.nodes[0].icon, FsIcon::DriveError);
    EXPECT_TRUE(bench.drives.treeEnabled);
    EXPECT_FALSE(bench.drives.listEnabled);
    EXPECT_EQ(bench.drives.selectedNode, -1);
}

TEST(FileSystemView, DeleteRemovesExactlyTheSelectedRowsAfterOneQuestion) {
    ViewBench bench;
    bench.files.ShowDrive(0, 0);
    bench.drives.fileChoices = {FileCommand::Delete};
    bench.view.answers = {true};
    bench.files.OnListRightClick({1, 3});  // A.TXT and C.TXT
    EXPECT_EQ(bench.view.questions.size(), 1u);
    EXPECT_TRUE(bench.drives.fileMenus[0].deleteEnabled);
    EXPECT_FALSE(bench.drives.fileMenus[0].newFolderEnabled);
    EXPECT_EQ(bench.drives.rowNames(), (std::vector<std::string>{"DATA", "B.TXT"}));
    EXPECT_TRUE(fs::exists(bench.drive('A') / "B.TXT"));
    EXPECT_EQ(bench.view.statuses.back(), "Deleted <A:\\C.TXT>");

    // A folder that is not empty is refused: the device's own words are shown.
    bench.drives.fileChoices = {FileCommand::Delete};
    bench.files.OnListRightClick({0});
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_NE(bench.view.messages[0].text.find("Directory not empty"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(bench.drive('A') / "DATA" / "LOG"));
    EXPECT_EQ(bench.view.statuses.back().find("Deleted"), std::string::npos)
        << "a failure never shows the success text";

    // An empty folder goes, and the tree is read again.
    bench.files.OnFolderSelected(1);
    bench.drives.fileChoices = {FileCommand::Delete};
    bench.files.OnListRightClick({0});
    EXPECT_EQ(bench.view.messages.size(), 1u);
    EXPECT_FALSE(fs::exists(bench.drive('A') / "DATA" / "LOG"));
    EXPECT_EQ(bench.drives.nodes.size(), 2u);
    EXPECT_EQ(bench.view.statuses.back(), "Deleted the folder <A:\\DATA\\LOG>");
}

TEST(FileSystemView, NewFolderIsNamedByTheLabelEditAndChecked) {
    ViewBench bench;
    bench.files.ShowDrive(0, 1);  // A:\DATA\ selected
    bench.drives.fileChoices = {FileCommand::NewFolder};
    bench.files.OnListRightClick({});
    EXPECT_EQ(bench.drives.edited, (std::vector<std::string>{"NewDirectory"}));
    EXPECT_TRUE(bench.files.OnBeginLabelEdit());
    EXPECT_FALSE(bench.files.OnBeginLabelEdit());  // a slow double click later is refused
    bench.files.OnEndLabelEdit({1}, "new dir#1");
    EXPECT_TRUE(fs::is_directory(bench.drive('A') / "DATA" / "new dir"));
    EXPECT_EQ(bench.view.statuses.back(), "Created the folder <A:\\DATA\\new dir>");
    EXPECT_EQ(bench.files.tables().selected().path, "A:\\DATA\\");  // kept by its path

    const auto entries = [&] {
        return std::distance(fs::recursive_directory_iterator(bench.drive('A')),
                             fs::recursive_directory_iterator());
    };
    const auto before = entries();
    for (const char* refused : {"..", "#x", "12345678901234567890"})
        bench.files.OnEndLabelEdit({1}, refused);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(bench.view.messages.size(), 3u);
}

TEST(FileSystemView, FolderMenuOnlyOnTheRootAndItsCommands) {
    ViewBench bench;
    bench.files.ShowDrive(0, 0);
    bench.drives.folderChoices = {std::nullopt, FolderCommand::Properties, FolderCommand::Format};
    bench.files.OnTreeRightClick(2);
    EXPECT_FALSE(bench.drives.folderMenus[0].formatEnabled);
    bench.files.OnTreeRightClick(0);
    EXPECT_TRUE(bench.drives.folderMenus[1].propertiesEnabled);
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_NE(bench.view.messages[0].text.find(": 1024 [kb]\n"), std::string::npos);
    EXPECT_EQ(bench.view.messages[0].icon, MessageIcon::Information);

    bench.view.answers = {true};
    bench.files.OnTreeRightClick(0);
    EXPECT_TRUE(fs::is_empty(bench.drive('A')));
    EXPECT_EQ(bench.drives.nodes.size(), 1u);
    EXPECT_NE(bench.view.questions.back().find("<A:\\>"), std::string::npos)
        << "the question names the drive it empties";
    EXPECT_EQ(bench.view.statuses.back(), "Formatted <A:\\>");
    EXPECT_EQ(bench.view.messages.back().text, "Format finished");
    EXPECT_EQ(bench.view.messages.back().icon, MessageIcon::Information);
}

}  // namespace
}  // namespace tarmix
