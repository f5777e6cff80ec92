// Batch scripts run against the simulated controller on the virtual clock.
#include "batch/batch_run.h"

#include <gtest/gtest.h>

#include "batch_bench.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using testing::BatchBench;
using Lines = std::vector<std::string>;

TEST(BatchRun, SetsUpDrivesFoldersClockAndCaps) {
    BatchBench bench;
    fs::create_directories(bench.drive('A') / "OLD");
    fs::create_directories(bench.drive('B'));
    std::ofstream(bench.drive('B') / "GONE.TXT") << "x";
    // Comments and blank lines are passed over.
    const BatchOutcome outcome = bench.run(
        "; c\r\n# c\r\n  ; c\r\n\r\n   \r\n\"\"\r\n"
        "init drives 1024 64 256\r\nformat a:\r\nmkdir \"A:\\LOG\\\"\r\n"
        "del B:\\GONE.TXT\r\nrtc init\r\nmodify rtc caps\r\nmodify rtc caps\r\n"
        "monitor  tell version\r\n  monitor \"tell\" drives\r\n");
    ASSERT_EQ(outcome.end, BatchEnd::Finished) << bench.lastMessage();
    // The record is read until two readings agree, written, and read back the same way;
    // the second "modify rtc caps" finds the flag set and sends nothing more. "monitor"
    // sends the rest of its line as it is, one blank after the word taken away.
    EXPECT_EQ(bench.sent.lines,
              Lines({"init drives 1024 64 256", "format a:", "mkdir \"A:\\LOG\\\"",
                     "del B:\\GONE.TXT", "rtc init mo 07.12.2026 08.30.05", "tell caps",
                     "tell caps", "init caps 1 0000 2000 1 0", "tell caps", "tell caps",
                     "tell caps", "tell caps", " tell version", "\"tell\" drives"}));
    EXPECT_TRUE(bench.view.messages.empty());
    EXPECT_TRUE(bench.downloads.empty());
    EXPECT_FALSE(fs::exists(bench.drive('A') / "OLD"));
    EXPECT_TRUE(fs::is_directory(bench.drive('A') / "LOG"));
    EXPECT_FALSE(fs::exists(bench.drive('B') / "GONE.TXT"));
    EXPECT_EQ(bench.shown[0], "A:[1024kB], B:[64kB], C:[256kB]");
}

TEST(BatchRun, FirstLineDecidesBetweenRomImageAndScript) {
    BatchBench bench;
    bench.downloadResult = 1;
    const BatchOutcome image = bench.run("S00600004844521B\r\nformat a:\r\n", "image.txt");
    EXPECT_EQ(image.end, BatchEnd::RomImage);
    EXPECT_EQ(image.downloadResult, 1);
    EXPECT_EQ(bench.downloads, Lines({(bench.folder / "image.txt").string()}));
    EXPECT_TRUE(bench.view.messages.empty());  // the download reports its own errors
    // An S1 line makes a script, whatever the name, and no command of one.
    EXPECT_EQ(bench.run("S1130000\r\nformat a:\r\n", "Reload.rom").end, BatchEnd::Refused);
    EXPECT_EQ(bench.lastMessage(), "Unknown command\n\nScript line 1: S1130000");
    EXPECT_EQ(bench.downloads.size(), 1u);
    EXPECT_TRUE(bench.sent.lines.empty());
}

// Lines refused before anything is sent: their message, and the run ends there.
TEST(BatchRun, RefusedLinesShowTheirHeadingAndStop) {
    const std::pair<std::string, std::string> cases[] = {
        {"start application zz\r\n", "<start application>\n\nFormat error"},
        {"monitor call 0xg\r\n", "<monitor>\n\nFormat error"},
        {"init drives 1 2\r\n", "<init drives>\n\nFormat error"},
        {"format d:\r\n", "<format>\n\nFormat error"},
        {"del\r\n", "<del>\n\nFormat error"},
        {"monitor\r\n", "<monitor>\n\nFormat error"},
        {"monitor call\r\n", "<monitor>\n\nFormat error"},
        {"change hardware oak\r\n", "<change hardware>\n\nFormat error"},
        {"init caps\r\n", "<init caps>\n\nnot supported"},
        {"download x\r\n", "<download>\n\nError\n\n"},
        // A carriage return, a backspace or a line that is too long would send another
        // command than the one written.
        {"monitor tell caps\rfill 0 10 0\r\n", "<monitor>\n\nFormat error"},
        {"del a:\\x\b\b\r\n", "<del>\n\nFormat error"},
        {"monitor " + std::string(300, 'x') + "\r\n", "<monitor>\n\nFormat error"},
        {"restoreeprom x.bin\r\n", "<restoreeprom>\n\nRestoring the EEPROM is not available"},
        {"upload A:\\X.TXT\r\n", "<upload>\n\nError\n\n"},
    };
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line);
        BatchBench bench;
        std::ofstream(bench.folder / "x.bin") << "eeprom";
        EXPECT_NE(bench.run(line + "mkdir \"A:\\NEXT\"\r\n").end, BatchEnd::Finished);
        ASSERT_EQ(bench.view.messages.size(), 1u);
        EXPECT_EQ(bench.view.messages[0].text.substr(0, message.size()), message);
        EXPECT_EQ(bench.view.messages[0].caption, "Batch handling");
        EXPECT_TRUE(bench.sent.lines.empty());
    }
}

TEST(BatchFiles, CopiesBothWaysNextToTheScript) {
    BatchBench bench;
    std::ofstream(bench.folder / "app.cfg", std::ios::binary) << "setting=1\r\n";
    fs::create_directories(bench.drive('A') / "CFG");
    EXPECT_EQ(bench
                  .run("download app.cfg \"A:\\CFG\\APP.CFG\"\r\n"
                       "upload A:\\CFG\\APP.CFG back\\app.cfg\r\n")
                  .end,
              BatchEnd::Refused);          // the folder "back" is not there
    EXPECT_TRUE(bench.transfers.empty());  // so not even the first copy runs
    fs::create_directories(bench.folder / "back");
    bench.transfers.clear();
    EXPECT_EQ(bench
                  .run("download app.cfg \"A:\\CFG\\APP.CFG\"\r\n"
                       "upload A:\\CFG\\APP.CFG back\\app.cfg\r\n")
                  .end,
              BatchEnd::Finished)
        << bench.lastMessage();
    EXPECT_EQ(bench.transfers,
              Lines({"download " + (bench.folder / "app.cfg").string() + " A:\\CFG\\APP.CFG",
                     "upload A:\\CFG\\APP.CFG " + (bench.folder / "back/app.cfg").string()}));
    std::ifstream back(bench.folder / "back" / "app.cfg", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(back), {}), "setting=1\r\n");
}

TEST(BatchFiles, OnlyWhatTheDeviceRefusedIsTriedAgain) {
    BatchBench bench;
    // The device file is not there: three attempts, then the run stops.
    EXPECT_EQ(bench.run("upload A:\\NONE.TXT none.txt\r\nmonitor tell version\r\n").end,
              BatchEnd::Stopped);
    EXPECT_EQ(bench.transfers.size(), 3u);
    EXPECT_EQ(bench.view.messages.size(), 3u);
    // A PC file that is missing is reported once, before any copy.
    bench.transfers.clear();
    bench.view.messages.clear();
    EXPECT_EQ(bench.run("download nothing.bin A:\\X.BIN\r\n").end, BatchEnd::Refused);
    EXPECT_TRUE(bench.transfers.empty());
    EXPECT_EQ(bench.view.messages.size(), 1u);
    // A No to replacing a PC file stops the run at once, and the file stays.
    std::ofstream(bench.drive('A') / "LOG.TXT") << "device";
    std::ofstream(bench.folder / "log.txt") << "mine";
    bench.transfers.clear();
    bench.view.answers = {false};
    EXPECT_EQ(bench.run("upload A:\\LOG.TXT log.txt\r\nmonitor tell version\r\n").end,
              BatchEnd::Stopped);
    EXPECT_EQ(bench.transfers.size(), 1u);
    EXPECT_EQ(bench.view.questions.size(), 1u);
    std::ifstream mine(bench.folder / "log.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(mine), {}), "mine");
}

TEST(BatchRun, WindowStateCommands) {
    BatchBench bench;
    bench.run("change hardware alder ext\r\n");
    EXPECT_EQ(bench.hardwareModel, 1);
    bench.run("change hardware \"alder ext\"\r\nstart application 0x120000\r\n");
    EXPECT_EQ(bench.hardwareModel, 12);
    EXPECT_EQ(bench.applicationStart, 0x120000u);
    bench.run("monitor call 1a0000zz\r\n");
    EXPECT_EQ(bench.applicationStart, 0x1a0000u);
    EXPECT_EQ(bench.applicationStarts, 2);
    EXPECT_TRUE(bench.sent.lines.empty());  // the window's action sends the call
}

TEST(BatchRun, MessagesJoinTheirWordsAndNoEndsTheRunSilently) {
    BatchBench bench;
    bench.view.answers = {true, false};
    EXPECT_EQ(bench
                  .run("message Saved   \"to  drive\" \xC4:\r\nmessageyesno Go on?\r\n"
                       "messageyesno Really?\r\nmonitor tell version\r\n")
                  .end,
              BatchEnd::Stopped);
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_EQ(bench.view.messages[0].text, "Saved to  drive \xC3\x84: ");
    EXPECT_EQ(bench.view.questions, Lines({"Go on? ", "Really? "}));
    EXPECT_TRUE(bench.sent.lines.empty());
}

TEST(BatchRetries, ALostCommandIsSentAgainUnchangedAndTheRunGoesOn) {
    BatchBench bench;
    bench.linesToLose = 2;
    EXPECT_EQ(bench.run("rtc init\r\nmonitor tell version\r\n").end, BatchEnd::Finished);
    const std::string rtc = "rtc init mo 07.12.2026 08.30.05";
    EXPECT_EQ(bench.sent.lines, Lines({rtc, rtc, rtc, "tell version"}));
    EXPECT_EQ(bench.timeReads, 1);  // every attempt sends the same moment
}

TEST(BatchRetries, ThreeFailuresShowTheErrorWithTheLastAnswer) {
    BatchBench bench;
    fs::create_directories(bench.drive('A') / "LOG");
    EXPECT_EQ(bench.run("mkdir \"a:\\LOG\"\r\nmonitor tell version\r\n").end, BatchEnd::Stopped);
    EXPECT_EQ(bench.sent.lines, Lines(3, "mkdir \"a:\\LOG\""));
    EXPECT_EQ(bench.lastMessage(),
              "<mkdir>\n\nError\n\nmkdir \"a:\\LOG\"\r\nDirectory exists\r\nBoot> "
              "\n\nScript line 1: mkdir \"a:\\LOG\"");
    EXPECT_EQ(bench.view.statuses.back(), "The script stopped at line 1");

    BatchBench silent;
    silent.linesToLose = 4;
    EXPECT_EQ(silent.run("init drives 1024 64 256\r\n").end, BatchEnd::Stopped);
    EXPECT_EQ(silent.lastMessage(),
              "<init drives>\n\nError\n\nScript line 1: init drives 1024 64 256");
    // A raw monitor command is tried once and stops without a message.
    EXPECT_EQ(silent.run("monitor tell version\r\nmonitor tell drives\r\n").end, BatchEnd::Stopped);
    EXPECT_EQ(silent.sent.lines.size(), 4u);
    EXPECT_EQ(silent.view.messages.size(), 1u);
}

// Scripts saved by other editors run as written, a file that is no script does not "run"
// without a command, and a refusal that ends with the prompt is no success.
TEST(BatchRun, LfLinesByteOrderMarkBinaryFilesAndRefusedDriveSizes) {
    BatchBench bench;
    EXPECT_EQ(bench.run("\xEF\xBB\xBFinit drives 1024 64 256\nformat a:").end, BatchEnd::Finished)
        << bench.lastMessage();
    EXPECT_EQ(bench.sent.lines, Lines({"init drives 1024 64 256", "format a:"}));

    BatchBench binary;
    EXPECT_EQ(binary
                  .run(std::string("\x7f"
                                   "ELF\x02\x01\0\0\0\r\nformat a:\r\n",
                                   22))
                  .end,
              BatchEnd::FileError);
    EXPECT_NE(binary.lastMessage().find("File read error\n"), std::string::npos);
    EXPECT_NE(binary.lastMessage().find(": Neither a ROM image nor a batch script"),
              std::string::npos)
        << binary.lastMessage();
    EXPECT_TRUE(binary.sent.lines.empty());

    BatchBench refused;
    EXPECT_EQ(refused.run("init drives -5 abc 99999999999\r\nformat a:\r\n").end,
              BatchEnd::Stopped);
    EXPECT_EQ(refused.sent.lines, Lines(3, "init drives -5 abc 99999999999"));
    const std::string message = refused.lastMessage();
    EXPECT_EQ(message.rfind("<init drives>\n\nError\n\ninit drives -5", 0), 0u) << message;
    EXPECT_NE(message.find("Syntax error"), std::string::npos) << message;
}

}  // namespace
}  // namespace tarmix
