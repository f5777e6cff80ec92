#include "ffs/listing_parse.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tarmix {
namespace {

std::vector<std::string> Paths(const FolderTable& folders) {
    std::vector<std::string> paths;
    for (const FolderEntry& entry : folders) paths.push_back(entry.path);
    return paths;
}

TEST(ListingParse, AnswerBodyLiesBetweenEchoAndPrompt) {
    EXPECT_EQ(AnswerBody("tree a:\r\nA:\r\n+---X\r\nBoot> ", 7), "A:\r\n+---X");
    EXPECT_EQ(AnswerBody("tree a:\r\nBoot> ", 7), "");
    EXPECT_EQ(AnswerBody("tr", 7), "");
    EXPECT_TRUE(ReportsFileSystemError("tree a:\r\n[FFS-Error]\r\nBoot> "));
}

TEST(TreeParse, FoldersTakeTheirPathsFromTheirAncestors) {
    const TreeParse parse = ParseTree(
        "A:\r\n+---DATA\r\n|   +---LOG\r\n|   |   +---OLD\r\n"
        "|   +---TMP\r\n+---BIN",
        "A:\\");
    EXPECT_EQ(Paths(parse.folders),
              (std::vector<std::string>{"A:\\", "A:\\DATA\\", "A:\\DATA\\LOG\\",
                                        "A:\\DATA\\LOG\\OLD\\", "A:\\DATA\\TMP\\", "A:\\BIN\\"}));
    EXPECT_EQ(parse.folders[4].parent, 1);
    EXPECT_EQ(parse.folders[5].depth, 1);
    EXPECT_EQ(parse.skipped, 0);
}

TEST(TreeParse, UnsafeLinesNeverActOnAnotherFolder) {
    struct Case {
        const char* name;
        const char* body;
        std::vector<std::string> paths;
        int skipped;
    };
    const Case cases[] = {
        {"plus and bar in names are names",
         "+---A+B|C\r\n|   +---D|",
         {"A:\\", "A:\\A+B|C\\", "A:\\A+B|C\\D|\\"},
         0},
        {"a jump of two levels goes one level deeper",
         "+---A\r\n|   |   |   +---B",
         {"A:\\", "A:\\A\\", "A:\\A\\B\\"},
         0},
        {"an unsafe name is skipped with its sub-folders",
         "+---..\r\n|   +---X\r\n+---OK\r\n+---a\\b",
         {"A:\\", "A:\\OK\\"},
         3},
        {"headings, blank lines and spacers add nothing", "A:\r\n\r\n|\r\n+---", {"A:\\"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TreeParse parse = ParseTree(c.body, "A:\\");
        EXPECT_EQ(Paths(parse.folders), c.paths);
        EXPECT_EQ(parse.skipped, c.skipped);
    }
}

TEST(TreeParse, ThirtyLevelsDeepStayInOrder) {
    std::string body;
    std::string prefix;
    std::string path = "A:\\";
    for (int level = 0; level < 30; ++level) {
        const std::string name = "L" + std::to_string(level);
        body += prefix + "+---" + name + "\r\n";
        prefix += "|   ";
        path += name + "\\";
    }
    const TreeParse parse = ParseTree(body, "A:\\");
    ASSERT_EQ(parse.folders.size(), 31u);
    EXPECT_EQ(parse.folders.back().path, path);
    EXPECT_EQ(parse.folders.back().parent, 29);
}

// A row as the monitor lays it out: name in columns 0-19, size right-aligned in 20-28, the
// date from column 30.
std::string Row(const std::string& name, const std::string& size, const std::string& date) {
    char row[128];
    std::snprintf(row, sizeof row, "%-20s%9s %s", name.c_str(), size.c_str(), date.c_str());
    return row;
}

TEST(DirParse, RowsInFixedColumns) {
    const std::string body =
        "Directory of A:\\DATA\\\r\n"
        "Name                Size      Created\r\n" +
        Row("LOG", "<DIR>    ", "22.10.2002 07:40:22") + "\r\n" +
        Row("12345678901234567890", "1234", "23.10.2002 08:00:00") + "\r\n" +
        Row("Application.exe", "", "") + "\r\n" + Row("application.exe", "7", "") + "\r\n" +
        Row("M\xFCll.txt", "0", "01.01.2020 00:00:00");
    const DirParse parse = ParseDir(body, "A:\\DATA\\");
    ASSERT_TRUE(parse.headerMatches);
    ASSERT_EQ(parse.rows.size(), 5u);
    EXPECT_TRUE(parse.rows[0].isFolder);
    EXPECT_EQ(parse.rows[0].sizeText(), "<DIR>");
    EXPECT_EQ(parse.rows[0].icon(), FsIcon::Folder);
    EXPECT_EQ(parse.rows[1].name, "12345678901234567890");
    EXPECT_EQ(parse.rows[1].sizeText(), "1234");
    EXPECT_EQ(parse.rows[1].created, "23.10.2002 08:00:00");
    EXPECT_EQ(parse.rows[2].sizeText(), "?");
    EXPECT_EQ(parse.rows[2].icon(), FsIcon::Application);
    EXPECT_EQ(parse.rows[3].icon(), FsIcon::File);
    EXPECT_EQ(DisplayName(parse.rows[4].name), "M\u00fcll.txt");
    EXPECT_EQ(parse.skipped, 0);
}

TEST(DirParse, MalformedRowsAreSkippedAndNamed) {
    const std::string body = "Directory of A:\\\r\n\r\n" +
                             Row("A_NAME_LONGER_THAN_TWENTY", "12", "01.01.2020") + "\r\n" +
                             Row("..", "<DIR>    ", "") + "\r\n" + Row("GOOD", "12", "") + "\r\n";
    const DirParse parse = ParseDir(body, "A:\\");
    ASSERT_EQ(parse.rows.size(), 1u);
    EXPECT_EQ(parse.rows[0].name, "GOOD");
    EXPECT_EQ(parse.rows[0].size, 12u);
    EXPECT_EQ(parse.skippedEntries,
              (std::vector<SkippedEntry>{
                  {"A:\\A_NAME_LONGER_THAN_TWENTY       12 01.01.2020", SkipReason::UnreadableLine},
                  {"A:\\..", SkipReason::UnsafeName, true},
                  {"A:\\", SkipReason::UnreadableLine}}));  // the empty last row
    EXPECT_EQ(parse.skipped, 3);
}

// A device name holding a line break splits its listing line in two; the parts are one
// entry again, named and skipped, and the second part never passes for an entry of its own.
TEST(ListingParse, ANameWithALineBreakIsOneSkippedEntry) {
    const std::string header = "Directory of A:\\\r\nName\r\n";
    struct Case {
        const char* name;
        std::string dirRow;   // the row the device prints for the name
        std::string skipped;  // the entry's path
    };
    const Case cases[] = {
        {"before a file name", Row("AB\r\nX.TXT", "123", "22.10.2002 07:40:22"), "A:\\AB\r\nX.TXT"},
        {"at the end of the name columns",
         Row("ABCDEFGHIJKLMNOPQR\r\n", "5", "22.10.2002 07:40:22"), "A:\\ABCDEFGHIJKLMNOPQR\r\n"},
        {"a whole fake row after it",
         Row("Z\r\n" + Row("FAKE.TXT", "5", "01.01.2020 00:00:00"), "9", "22.10.2002 07:40:22"),
         "A:\\Z\r\nFAKE.TXT"},
        {"without a date", Row("AB\r\nX.TXT", "123", ""), "A:\\AB\r\nX.TXT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DirParse parse =
            ParseDir(header + c.dirRow + "\r\n" + Row("GOOD", "1", "01.01.2020 00:00:00"), "A:\\");
        ASSERT_EQ(parse.rows.size(), 1u);
        EXPECT_EQ(parse.rows[0].name, "GOOD");
        ASSERT_EQ(parse.skippedEntries.size(), 1u);
        EXPECT_EQ(parse.skippedEntries[0], (SkippedEntry{c.skipped, SkipReason::UnsafeName}));
    }
    const TreeParse tree = ParseTree("A:\r\n+---AB\r\nX\r\n|   +---IN\r\n+---OK", "A:\\");
    EXPECT_EQ(Paths(tree.folders), (std::vector<std::string>{"A:\\", "A:\\OK\\"}));
    EXPECT_EQ(
        tree.skippedEntries,
        (std::vector<SkippedEntry>{{"A:\\AB\r\nX\\", SkipReason::UnsafeName, true},
                                   {"A:\\AB\r\nX\\IN\\", SkipReason::InsideSkippedFolder, true}}));
    EXPECT_EQ(ShownDeviceText("A:\\B\x07\r\n\xE4\x7F"), "A:\\B\\x07\\r\\n\u00e4\\x7F");
}

TEST(DirParse, AnotherFoldersListingIsNotTaken) {
    EXPECT_FALSE(
        ParseDir("Directory of A:\\X\\\r\n\r\nF                  1", "A:\\DATA\\").headerMatches);
    EXPECT_FALSE(ParseDir("", "A:\\").headerMatches);
}

}  // namespace
}  // namespace tarmix
