// The simulated monitor's listings, drive figures and rmdir, byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "sim_bench.h"

namespace tarmix::sim {
namespace {

namespace fs = std::filesystem;

struct FileSystemBench : Bench {
    FileSystemBench() : Bench("alder") {
        setenv("TZ", "UTC", 1);
        tzset();
        fs::remove_all(state);
        std::string error;
        EXPECT_TRUE(controller.loadState(state, error)) << error;
    }
    ~FileSystemBench() { fs::remove_all(state); }

    fs::path drive(char letter) const { return state / "drives" / std::string(1, letter); }
    // A file written on 22.10.2002 at 07:40:22 UTC.
    void file(const fs::path& path, size_t size) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << std::string(size, 'x');
        const auto when = std::chrono::sys_seconds{std::chrono::seconds{1035272422}};
        fs::last_write_time(path, fs::file_time_type::clock::from_sys(when));
    }

    fs::path state = fs::temp_directory_path() / ("tarmix_sim_ffs_" + std::to_string(getpid()));
};

TEST(SimFileSystem, TreeListsFoldersDepthFirstWithTheirPrefixes) {
    FileSystemBench bench;
    fs::create_directories(bench.drive('A') / "DATA" / "LOG" / "OLD");
    fs::create_directories(bench.drive('A') / "DATA" / "TMP");
    fs::create_directories(bench.drive('A') / "BIN");
    bench.file(bench.drive('A') / "DATA" / "X.TXT", 1);
    EXPECT_EQ(bench.exchange("tree a:"),
              "tree a:\r\nA:\r\n+---BIN\r\n+---DATA\r\n|   +---LOG\r\n|   |   +---OLD\r\n"
              "|   +---TMP\r\nBoot> ");
    EXPECT_EQ(bench.exchange("tree b:"), "tree b:\r\nB:\r\nBoot> ");
    EXPECT_EQ(bench.exchange("tree a"), "tree a\r\nSyntax error\r\nBoot> ");
}

TEST(SimFileSystem, DirRowsInFixedColumnsWithLatin1Names) {
    FileSystemBench bench;
    fs::create_directories(bench.drive('A') / "DATA" / "LOG");
    fs::last_write_time(bench.drive('A') / "DATA" / "LOG",
                        fs::file_time_type::clock::from_sys(
                            std::chrono::sys_seconds{std::chrono::seconds{1035272422}}));
    bench.file(bench.drive('A') / "DATA" / "M\u00fcll.txt", 1234);
    bench.file(bench.drive('A') / "DATA" / "\u65e5.txt", 1);  // no ISO 8859-1 name: not shown
    const std::string rows =
        std::string(
            "\r\nDirectory of A:\\DATA\\\r\nName                Size      Created\r\n"
            "LOG                 <DIR>     22.10.2002 07:40:22\r\n") +
        "M\xFCll.txt" + std::string(12, ' ') + "     1234 22.10.2002 07:40:22\r\nBoot> ";
    EXPECT_EQ(bench.exchange("dir \"A:\\DATA\\\""), "dir \"A:\\DATA\\\"" + rows);
    EXPECT_EQ(bench.exchange("dir \"a:\\DATA\""), "dir \"a:\\DATA\"" + rows);
    EXPECT_EQ(bench.exchange("dir \"A:\\NONE\\\""),
              "dir \"A:\\NONE\\\"\r\nPath not found\r\nBoot> ");
    EXPECT_EQ(
        bench.exchange("dir \"C:\\\""),
        "dir \"C:\\\"\r\nDirectory of C:\\\r\nName                Size      Created\r\nBoot> ");
}

TEST(SimFileSystem, FinfoCountsBlocksInUseAndWaitingForErase) {
    FileSystemBench bench;                      // alder: A: 1024 kB in 4 kB blocks
    bench.file(bench.drive('A') / "F1", 5000);  // 2 blocks
    bench.file(bench.drive('A') / "F2", 100);   // 1 block
    EXPECT_EQ(bench.exchange("finfo a"),
              "finfo a\r\nDrive A:\r\n Size      = 00100000\r\n BlockSize = 00001000\r\n"
              " free      = 253\r\n to erase  = 0\r\nBoot> ");
    EXPECT_EQ(bench.exchange("del A:\\F1"), "del A:\\F1\r\nBoot> ");
    EXPECT_NE(bench.exchange("finfo a").find(" free      = 253\r\n to erase  = 2\r\n"),
              std::string::npos);
    EXPECT_EQ(bench.exchange("format a:"), "format a:\r\n Drive formatiert\r\nBoot> ");
    EXPECT_NE(bench.exchange("finfo a").find(" free      = 256\r\n to erase  = 0\r\n"),
              std::string::npos);
    EXPECT_EQ(bench.exchange("finfo a:"), "finfo a:\r\nSyntax error\r\nBoot> ");
}

TEST(SimFileSystem, RmdirRemovesOnlyEmptyFolders) {
    FileSystemBench bench;
    bench.file(bench.drive('A') / "FULL" / "X", 1);
    fs::create_directories(bench.drive('A') / "EMPTY");
    EXPECT_EQ(bench.exchange("rmdir \"A:\\FULL\""),
              "rmdir \"A:\\FULL\"\r\nDirectory not empty\r\nBoot> ");
    EXPECT_EQ(bench.exchange("rmdir \"A:\\FULL\\X\""),
              "rmdir \"A:\\FULL\\X\"\r\nNo directory\r\nBoot> ");
    // The folder is named without the backslash that ends a folder path.
    for (const std::string trailing : {"rmdir \"A:\\EMPTY\\\"", "rmdir A:\\EMPTY\\"})
        EXPECT_EQ(bench.exchange(trailing), trailing + "\r\nPath error\r\nBoot> ");
    EXPECT_TRUE(fs::exists(bench.drive('A') / "EMPTY"));
    EXPECT_EQ(bench.exchange("rmdir \"A:\\EMPTY\""), "rmdir \"A:\\EMPTY\"\r\nBoot> ");
    EXPECT_FALSE(fs::exists(bench.drive('A') / "EMPTY"));
    EXPECT_EQ(bench.exchange("rmdir \"A:\\..\\drives\""),
              "rmdir \"A:\\..\\drives\"\r\nPath error\r\nBoot> ");
}

TEST(SimFileSystem, DamagedDriveAnswersTheErrorUntilFormatted) {
    FileSystemBench bench;
    bench.controller.drives().setDamaged(0, true);
    for (const std::string command :
         {"tree a:", "dir \"A:\\\"", "finfo a", "mkdir \"A:\\X\"", "del A:\\X", "rmdir \"A:\\X\""})
        EXPECT_EQ(bench.exchange(command), command + "\r\n[FFS-Error]\r\nBoot> ");
    EXPECT_EQ(bench.exchange("tree b:"), "tree b:\r\nB:\r\nBoot> ");
    EXPECT_EQ(bench.exchange("format a:"), "format a:\r\n Drive formatiert\r\nBoot> ");
    EXPECT_EQ(bench.exchange("tree a:"), "tree a:\r\nA:\r\nBoot> ");
}

// A paced line on a busy machine gets a dump frame out later than its line rate promises: the
// PC's answer is then awaited from the moment the frame's last byte left, and the dump goes on.
TEST(SimFileSystem, ADumpFrameThatLeftTheLineLateIsStillAnswered) {
    FileSystemBench bench;
    bench.file(bench.drive('A') / "D.BIN", 2000);
    bench.serial.SendLine("file dump \"A:\\D.BIN\"");
    std::string first, next;
    bench.serial.ReceiveText(first, 5000, 5000, 2000ms);
    ASSERT_NE(first.find('Z'), std::string::npos) << first;
    bench.clock.advance(Controller::kBlockTimeout);
    bench.controller.outputLeft(bench.clock.now());
    bench.clock.advance(Controller::kBlockTimeout - 500ms);
    const uint8_t good = '.';
    bench.serial.WriteBytes(&good, 1);
    bench.serial.ReceiveText(next, 5000, 5000, 2000ms);
    ASSERT_FALSE(next.empty());
    EXPECT_EQ(next[0], 'Z') << next;
}

}  // namespace
}  // namespace tarmix::sim
