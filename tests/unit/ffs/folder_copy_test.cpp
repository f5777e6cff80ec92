// Copies of device folders and drives to the PC against the simulated controller.
#include "ffs/folder_copy.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "lang/catalog.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "support/changing_line.h"
#include "support/recording_view.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// Every file below `root`, by its path relative to it, with its contents.
std::map<std::string, std::string> filesBelow(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        files[fs::relative(entry.path(), root).string()] = text.str();
    }
    return files;
}

class FolderCopyTest : public ::testing::Test {
  protected:
    FolderCopyTest()
        : folder(fs::temp_directory_path() / ("tarmix_copy_" + std::to_string(getpid()))),
          controller(*sim::findModel("alder"), clock),
          serial(
              [this] {
                  return std::make_unique<testing::ChangingLine>(
                      std::make_unique<sim::InProcessPort>(controller, clock), change);
              },
              clock),
          monitor(serial) {
        setLanguageIndex(kEnglishLanguage);
        fs::create_directories(folder);
        std::string error;
        EXPECT_TRUE(controller.loadState(folder / "device", error)) << error;
        serial.Open("COM1");
        serial.Configure(57600);
        device.driveSizes = {1024, 64, 256};
        // A populated drive A: files in the root, folders two levels deep, an empty folder.
        const fs::path a = driveFolder('A');
        fs::create_directories(a / "DATA" / "LOG");
        fs::create_directories(a / "EMPTY");
        put(a / "ROOT.TXT", "root file\r\n");
        put(a / "DATA" / "X.BIN", std::string(1500, '\x5a'));
        put(a / "DATA" / "LOG" / "DAY1.TXT", "first day");
        put(a / "DATA" / "LOG" / "EMPTY.LOG", "");
    }
    ~FolderCopyTest() override { fs::remove_all(folder); }

    static void put(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    fs::path driveFolder(char letter) {
        return folder / "device" / "drives" / std::string(1, letter);
    }
    CopyReport copyDrive(int drive, const fs::path& base) {
        FolderCopy copy({monitor, view, device, ask, {}}, 57600);
        return copy.CopyDriveToPc(drive, base, "Drive_A\\",
                                  [this](const std::string& line) { script.push_back(line); });
    }

    fs::path folder;
    VirtualClock clock;
    sim::Controller controller;
    testing::LineChange change;  // none unless a test sets one
    CSerial serial;
    MonitorExchange monitor;
    testing::RecordingView view;
    DeviceDescription device;
    bool ask = true;
    Lines script;
};

TEST_F(FolderCopyTest, ADriveIsMirroredFolderByFolderWithItsRestoreLines) {
    const CopyReport report = copyDrive(0, folder / "backup" / "Drive_A");
    EXPECT_TRUE(report.complete()) << (view.messages.empty() ? "" : view.messages[0].text);
    EXPECT_EQ(report.copied, 4);
    EXPECT_EQ(filesBelow(folder / "backup" / "Drive_A"), filesBelow(driveFolder('A')));
    EXPECT_TRUE(fs::is_directory(folder / "backup" / "Drive_A" / "EMPTY"));
    // Folders in the order of the tree, each before its files.
    ASSERT_EQ(script.size(), 7u);
    EXPECT_EQ(std::count_if(script.begin(), script.end(),
                            [](const std::string& line) { return line.rfind("mkdir", 0) == 0; }),
              3);
    EXPECT_NE(std::find(script.begin(), script.end(),
                        "download \"Drive_A\\DATA\\X.BIN\" \"A:\\DATA\\X.BIN\""),
              script.end());
    const auto at = [&](const std::string& line) {
        return std::find(script.begin(), script.end(), line) - script.begin();
    };
    EXPECT_LT(at("mkdir \"A:\\DATA\\LOG\\\""),
              at("download \"Drive_A\\DATA\\LOG\\DAY1.TXT\" \"A:\\DATA\\LOG\\DAY1.TXT\""));
    EXPECT_LT(at("mkdir \"A:\\DATA\\\""), at("mkdir \"A:\\DATA\\LOG\\\""));
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(FolderCopyTest, FilesThatDidNotArriveWriteNoLineAndMakeTheCopyIncomplete) {
    // The PC already has a folder where DAY1.TXT should go: that upload fails.
    fs::create_directories(folder / "backup" / "DATA" / "LOG" / "DAY1.TXT");
    // A device name the PC must not take as a path.
    put(driveFolder('A') / "DATA" / "A\\B", "x");
    const CopyReport report = copyDrive(0, folder / "backup");
    EXPECT_FALSE(report.complete());
    EXPECT_EQ(report.failed, 1);
    EXPECT_EQ(report.unreadable, 0);
    EXPECT_EQ(report.skipped,
              (std::vector<SkippedEntry>{{"A:\\DATA\\A\\B", SkipReason::UnsafeName}}));
    EXPECT_EQ(report.copied, 3);
    for (const std::string& line : script) EXPECT_EQ(line.find("DAY1"), std::string::npos);
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_FALSE(fs::exists(folder / "backup" / "DATA" / "A\\B"));
}

TEST_F(FolderCopyTest, AListingCountsOnlyWhenTwoReadingsAgree) {
    // A listing has no checksum: one changed byte can hide a folder or rename a file.
    struct Case {
        const char* name;
        testing::LineChange change;
        int copied;
        int unreadable;
    };
    const Case cases[] = {
        {"the tree's first reading changed", {"tree a:", {1}, "DATA"}, 4, 0},
        {"a folder's first reading changed", {"dir \"A:\\DATA\\\"", {1}, "X.BI"}, 4, 0},
        {"no two readings of the tree agree", {"tree a:", {1, 2, 3, 4}, "DATA"}, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        change = c.change;
        view.messages.clear();
        const fs::path copy = folder / c.name;
        const CopyReport report = copyDrive(0, copy);
        EXPECT_EQ(report.copied, c.copied);
        EXPECT_EQ(report.unreadable, c.unreadable);
        EXPECT_EQ(report.failed, 0);
        if (c.unreadable == 0) {
            EXPECT_EQ(filesBelow(copy), filesBelow(driveFolder('A')));
        }
        EXPECT_EQ(view.messages.size(), size_t(c.unreadable));
    }
}

TEST_F(FolderCopyTest, ADamagedOrMissingDriveCopiesNothingAndSaysSo) {
    device.driveSizes = {1024, 0, 256};
    EXPECT_TRUE(copyDrive(1, folder / "b").complete());  // nothing there to copy
    EXPECT_FALSE(fs::exists(folder / "b"));
    // A folder listing that names another folder (the device refused the path).
    FolderCopy copy({monitor, view, device, ask, {}}, 57600);
    const CopyReport report = copy.CopyFolderToPc(0, folder / "none", "A:\\NONE\\", "", {});
    EXPECT_FALSE(report.complete());
    EXPECT_EQ(view.messages.size(), 1u);
}

}  // namespace
}  // namespace tarmix
