#include "ffs/device_path.h"

#include <gtest/gtest.h>

namespace tarmix {
namespace {

TEST(DevicePath, FolderAndFilePathsEndAsTheMonitorWantsThem) {
    EXPECT_EQ(DriveRootPath(0), "A:\\");
    EXPECT_EQ(SubFolderPath(SubFolderPath("A:\\", "DATA"), "LOG"), "A:\\DATA\\LOG\\");
    EXPECT_EQ(FilePathIn("C:\\BIN\\", "Application.exe"), "C:\\BIN\\Application.exe");
    EXPECT_EQ(QuotedCommand("dir", "B:\\"), "dir \"B:\\\"");
    EXPECT_EQ(DriveLetterLower(2), 'c');
}

TEST(DevicePath, TypedPathsInEveryAcceptedForm) {
    struct Case {
        const char* typed;
        int drive;
        const char* folder;
        const char* file;
    };
    const Case cases[] = {
        {"a:", 0, "A:\\", "A:\\"},
        {"A:\\", 0, "A:\\", "A:\\"},
        {"\"b:\\DATA\"", 1, "B:\\DATA\\", "B:\\DATA"},
        {"C:\\DATA\\LOG\\", 2, "C:\\DATA\\LOG\\", "C:\\DATA\\LOG"},
        {"A:DATA\\F\xFC.TXT", 0, "A:\\DATA\\F\xFC.TXT\\", "A:\\DATA\\F\xFC.TXT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const auto path = ParseDevicePath(c.typed);
        ASSERT_TRUE(path);
        EXPECT_EQ(path->drive, c.drive);
        EXPECT_EQ(path->folderPath(), c.folder);
        EXPECT_EQ(path->filePath(), c.file);
    }
    EXPECT_EQ(ParseDevicePath("A:\\DATA\\LOG")->parentFolderPath(), "A:\\DATA\\");
}

TEST(DevicePath, PathsThatWouldLeaveTheirFolderAreRefused) {
    for (const char* typed : {"", "A", "D:\\", "A:\\..\\X", "A:\\DATA\\\\X", "A:\\.", "A:\\a/b",
                              "A:\\a:b", "A:\\a\tb", "\"A:\\X"}) {
        SCOPED_TRACE(typed);
        EXPECT_FALSE(ParseDevicePath(typed));
    }
}

TEST(DevicePath, NewNamesAreCheckedBeforeAnythingIsSent) {
    EXPECT_EQ(CheckNewName("LOG"), NameProblem::None);
    EXPECT_EQ(CheckNewName("1234567890123456789"), NameProblem::None);
    EXPECT_EQ(CheckNewName("12345678901234567890"), NameProblem::TooLong);
    EXPECT_EQ(CheckNewName(""), NameProblem::Empty);
    EXPECT_EQ(CheckNewName(".."), NameProblem::Dots);
    EXPECT_EQ(CheckNewName("a\\b"), NameProblem::Separator);
    EXPECT_EQ(CheckNewName("a/b"), NameProblem::Separator);
    EXPECT_EQ(CheckNewName("a:"), NameProblem::Separator);
    EXPECT_EQ(CheckNewName("a\x1b"), NameProblem::Control);
}

}  // namespace
}  // namespace tarmix
