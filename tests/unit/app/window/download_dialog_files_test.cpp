// The extended view in the main window, against the in-process simulated controller: the
// ">>>" control, the refreshes, and the transfers of the "File" menu with their queues.
#include <gtest/gtest.h>

#include "ffs/new_program.h"
#include "lang/catalog.h"
#include "sim/image_maker.h"
#include "tests/support/file_contents.h"
#include "unit/app/window/window_bench.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using testing::WindowBench;

using testing::readFile;

// A window with the drive area, on an identified controller whose drive A: holds a folder
// and two files; the extended view is open on A:\.
struct FilesBench : WindowBench {
    FilesBench() : WindowBench("alder") {
        view.withDrives = true;
        makeWindow({});
        driveA = controller.drives().drive(0);
        fs::create_directories(driveA / "DATA");
        std::ofstream(driveA / "ONE.TXT", std::ios::binary) << "first";
        std::ofstream(driveA / "TWO.TXT", std::ios::binary) << "second file";
        window->OnInitDialog();
        tick();
    }
    void open() {
        window->OnExtendedView();
        ASSERT_EQ(view.drives.rowNames(), (std::vector<std::string>{"DATA", "ONE.TXT", "TWO.TXT"}));
    }
    int treeReads() const {
        return int(std::count(sent.lines.begin(), sent.lines.end(), "tree a:"));
    }

    fs::path driveA;
};

TEST(MainWindowFiles, TheExtendedViewOpensClosesAndReadsTheDriveWhenShown) {
    FilesBench bench;
    ASSERT_TRUE(bench.window->device().deviceIdentified);
    EXPECT_TRUE(bench.view.isEnabled(Control::ExtendedView));
    EXPECT_EQ(bench.view.captions[Control::ExtendedView], ">>>");
    EXPECT_FALSE(bench.view.visible[Control::DriveTabs]);
    EXPECT_EQ(bench.treeReads(), 0) << "the compact view reads nothing";

    bench.open();
    EXPECT_EQ(bench.view.captions[Control::ExtendedView], "<<<");
    EXPECT_TRUE(bench.view.visible[Control::DriveTabs]);
    EXPECT_EQ(bench.view.drives.nodes[1].text, "DATA");

    // A language change reads all three drives again and ends on C:.
    bench.window->OnLanguage(kGermanLanguage);
    EXPECT_EQ(bench.treeReads(), 2);
    EXPECT_EQ(bench.view.drives.tab, 2);
    bench.window->OnDriveTab(0);
    EXPECT_EQ(bench.treeReads(), 3);

    bench.window->OnExtendedView();
    EXPECT_EQ(bench.view.captions[Control::ExtendedView], ">>>");
    EXPECT_FALSE(bench.view.visible[Control::DriveTabs]);
    EXPECT_EQ(bench.treeReads(), 3);
}

// A lost controller leaves no folders or files shown; identified again, its drive is read.
TEST(MainWindowFiles, ALostControllerTakesItsFilesOffTheView) {
    FilesBench bench;
    bench.open();
    bench.silent = true;
    bench.tick();
    ASSERT_FALSE(bench.window->device().deviceIdentified);
    EXPECT_TRUE(bench.view.drives.rowNames().empty());
    EXPECT_EQ(bench.view.drives.nodes.size(), 1u);

    bench.silent = false;
    bench.tick();
    ASSERT_TRUE(bench.window->device().deviceIdentified);
    EXPECT_EQ(bench.view.drives.rowNames(),
              (std::vector<std::string>{"DATA", "ONE.TXT", "TWO.TXT"}));
}

TEST(MainWindowFiles, AScriptEndsWithTheShownDriveReadAgain) {
    FilesBench bench;
    bench.open();
    const std::string script = (bench.folder / "make.txt").string();
    std::ofstream(script, std::ios::binary) << "mkdir \"A:\\NEW\"\r\n";
    bench.window->OnSourceEdited(script);
    bench.window->OnStartDownload();
    EXPECT_EQ(bench.view.drives.nodes.size(), 3u) << "the tree shows the script's folder";
}

TEST(MainWindowFiles, UploadOfOneRowGoesWhereTheSaveDialogSays) {
    FilesBench bench;
    bench.open();
    const fs::path target = bench.folder / "copy.txt";
    std::ofstream(target) << "old";
    bench.view.chosenSaveFile = target.string();
    bench.view.drives.fileChoices = {FileCommand::Upload};
    bench.window->OnFileListMenu({2});
    EXPECT_EQ(bench.view.proposedNames, (std::vector<std::string>{"TWO.TXT"}));
    ASSERT_TRUE(bench.tick(CDownloadDialog::kUploadTimer));
    EXPECT_FALSE(bench.tick(CDownloadDialog::kUploadTimer)) << "one step only";
    EXPECT_TRUE(bench.view.questions.empty()) << "the save dialog has asked already";
    EXPECT_EQ(readFile(target), "second file");
}

TEST(MainWindowFiles, UploadOfSeveralRowsIntoAFolderRefusesSubFolders) {
    FilesBench bench;
    bench.open();
    bench.view.chosenFolder = bench.folder.string();
    bench.view.drives.fileChoices = {FileCommand::Upload, FileCommand::Upload};
    bench.window->OnFileListMenu({0, 1});
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_NE(bench.view.messages[0].text.find("<DATA>"), std::string::npos);
    EXPECT_FALSE(bench.tick(CDownloadDialog::kUploadTimer));

    std::ofstream(bench.folder / "ONE.TXT") << "kept";
    bench.view.answers = {false};  // ONE.TXT is there already: not replaced
    bench.window->OnFileListMenu({1, 2});
    ASSERT_TRUE(bench.tick(CDownloadDialog::kUploadTimer));
    EXPECT_EQ(bench.view.questions.size(), 1u);
    EXPECT_EQ(readFile(bench.folder / "ONE.TXT"), "kept");
    EXPECT_EQ(readFile(bench.folder / "TWO.TXT"), "second file");
}

TEST(MainWindowFiles, NewFilesGoOneByOneIntoTheFolderTheyWereMeantFor) {
    FilesBench bench;
    bench.open();
    const fs::path first = bench.folder / "a.txt", second = bench.folder / "b.txt";
    std::ofstream(first) << "aaa";
    std::ofstream(second) << "bbbb";
    bench.view.chosenFiles = {first.string(), second.string()};
    bench.view.drives.fileChoices = {FileCommand::NewFile};
    bench.window->OnFileListMenu({});

    ASSERT_TRUE(bench.tick(CDownloadDialog::kNewFileTimer));  // the row shows up, waiting
    ASSERT_EQ(bench.view.drives.rows.size(), 4u);
    EXPECT_EQ(bench.view.drives.rows[3].icon, FsIcon::WaitingUpload);
    ASSERT_TRUE(bench.tick(CDownloadDialog::kNewFileTimer));  // its transfer
    EXPECT_EQ(bench.view.drives.rows[3].icon, FsIcon::File);
    EXPECT_EQ(readFile(bench.driveA / "a.txt"), "aaa");

    // The operator looks into another folder meanwhile: the second file still goes to A:\.
    bench.window->OnFolderSelected(1);
    while (bench.tick(CDownloadDialog::kNewFileTimer)) {
    }
    EXPECT_EQ(readFile(bench.driveA / "b.txt"), "bbbb");
    EXPECT_FALSE(fs::exists(bench.driveA / "DATA" / "b.txt"));
}

TEST(MainWindowFiles, OneNewFileIsNamedInTheListFirst) {
    FilesBench bench;
    bench.open();
    const fs::path file = bench.folder / "report.txt";
    std::ofstream(file) << "report";
    bench.view.chosenFiles = {file.string()};
    bench.view.drives.fileChoices = {FileCommand::NewFile};
    bench.window->OnFileListMenu({});
    EXPECT_EQ(bench.view.drives.edited, (std::vector<std::string>{"report.txt"}));
    EXPECT_EQ(bench.view.drives.rows.back().icon, FsIcon::NewFile);
    EXPECT_FALSE(bench.view.timers.contains(CDownloadDialog::kNewFileTimer));

    bench.window->OnFileNameEdited({3}, "DAY 1.TXT#x");
    EXPECT_EQ(bench.view.drives.rows[3].icon, FsIcon::WaitingUpload);
    ASSERT_TRUE(bench.tick(CDownloadDialog::kNewFileTimer));
    EXPECT_EQ(readFile(bench.driveA / "DAY 1.TXT"), "report");
    EXPECT_EQ(bench.view.drives.rowNames().back(), "TWO.TXT") << "listed again";
}

TEST(MainWindowFiles, AnAbandonedNameEditSendsNothing) {
    FilesBench bench;
    bench.open();
    const size_t sentBefore = bench.sent.lines.size();
    bench.view.drives.fileChoices = {FileCommand::NewFolder};
    bench.window->OnFileListMenu({});
    EXPECT_EQ(bench.view.drives.rows.size(), 4u);
    bench.window->OnFileNameEdited({3}, std::nullopt);
    EXPECT_EQ(bench.view.drives.rows.size(), 3u);
    EXPECT_EQ(bench.sent.lines.size(), sentBefore);
}

TEST(MainWindowFiles, NewProgramPutsTheImageAtTheDriveRoot) {
    FilesBench bench;
    bench.open();
    const std::string rom = (bench.folder / "app.rom").string();
    std::string error;
    ASSERT_EQ(sim::MakeRomImage(rom, 0x110000, 0x600, {}, error), 0) << error;
    bench.view.chosenFile = rom;
    bench.view.drives.fileChoices = {FileCommand::NewProgram};
    bench.window->OnFileListMenu({});
    EXPECT_TRUE(bench.view.drives.fileMenus[0].newProgramEnabled);
    EXPECT_TRUE(fs::exists(bench.driveA / kApplicationFile));
    const auto& rows = bench.view.drives.rows;
    const auto listed = std::find_if(
        rows.begin(), rows.end(), [](const ListRow& row) { return row.name == kApplicationFile; });
    ASSERT_NE(listed, rows.end()) << "the device's own entry";
    EXPECT_EQ(listed->icon, FsIcon::Application);
}

}  // namespace
}  // namespace tarmix
