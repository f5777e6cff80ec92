// The batch script format: lines, words and file names.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "batch/script_paths.h"
#include "batch/script_reader.h"
#include "batch/script_words.h"

namespace tarmix {
namespace {

using Words = std::vector<std::string>;

// The lines the reader makes of these bytes.
Words ReadLines(const std::string& bytes) {
    const auto path =
        std::filesystem::temp_directory_path() / ("tarmix_lines_" + std::to_string(getpid()));
    std::ofstream(path, std::ios::binary) << bytes;
    ScriptReader reader;
    EXPECT_TRUE(reader.Open(path.string()));
    Words lines;
    while (auto line = reader.NextLine()) lines.push_back(*line);
    std::filesystem::remove(path);
    return lines;
}

TEST(ScriptReader, LinesLoseTheirLineEndsAreCutAndEndAtNul) {
    EXPECT_EQ(ReadLines("format a:\r\nmkdir x\r\n"), Words({"format a:", "mkdir x"}));
    // LF-only line ends, and a last line without any, keep their whole text; a byte-order
    // mark before the first command is no part of it.
    EXPECT_EQ(ReadLines("init drives 1024 64 256\nrtc init"),
              Words({"init drives 1024 64 256", "rtc init"}));
    EXPECT_EQ(ReadLines("\xEF\xBB\xBF"
                        "format a:\r\nx\r"),
              Words({"format a:", "x"}));
    EXPECT_EQ(ReadLines("a\xEF\xBB\xBF\r\n"), Words({"a\xEF\xBB\xBF"}));
    const std::string longest(ScriptReader::kLineLimit, 'x');
    EXPECT_EQ(ReadLines(longest + "y\r\n" + std::string(10000, 'z') + "\r\nnext\r\n"),
              Words({longest, std::string(ScriptReader::kLineLimit, 'z'), "next"}));
    EXPECT_EQ(ReadLines(std::string("format a:\0junk\r\n", 16)), Words({"format a:"}));
}

TEST(ScriptWords, BlanksSeparateAndQuotesHoldWords) {
    EXPECT_EQ(SplitScriptWords("init  drives 1\t2"), Words({"init", "drives", "1\t2"}));
    EXPECT_EQ(SplitScriptWords("message a   \"b  c\" \"\""), Words({"message", "a", "b  c", ""}));
    // After the closing quote (and quotes right after it) the next word begins at once.
    EXPECT_EQ(SplitScriptWords("\"a\"\"\"b del\"x"), Words({"a", "b", "del\"x"}));
    EXPECT_EQ(SplitScriptWords("restoreeprom \"EEPROM\\Eeprom.bin"),
              Words({"restoreeprom", "EEPROM\\Eeprom.bin"}));
    EXPECT_EQ(SplitScriptWords("   "), Words({""}));
    EXPECT_EQ(SplitScriptWords("mkdir   "), Words({"mkdir"}));
    EXPECT_EQ(SplitScriptWords("message \"" + std::string(300, 'w') + "\" x")[1].size(),
              kMaxScriptWordLength);
    EXPECT_EQ(SplitScriptWords("1 2 3 4 5 6 7 8 9 10 11").back(), "10");
}

TEST(ScriptPaths, RelativeNamesLiveBesideTheScript) {
    const std::string folder = ScriptFolder("/home/op/backup/Reload.rom");
    EXPECT_EQ(ScriptFileToPcPath("Flash\\Application.rom", folder),
              "/home/op/backup/Flash/Application.rom");
    EXPECT_EQ(ScriptFileToPcPath("\\srv\\app.rom", folder), "/srv/app.rom");
    EXPECT_EQ(ScriptFileToPcPath("C:\\x\\app.rom", folder), "C:/x/app.rom");
    EXPECT_EQ(ScriptFileToPcPath("M\xFC"
                                 "ll.rom",
                                 ScriptFolder("Reload.rom")),
              "M\xC3\xBC"
              "ll.rom");
}

}  // namespace
}  // namespace tarmix
