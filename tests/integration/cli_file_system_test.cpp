// The file-system forms of the command line, as a user runs them: tarmix headless against
// tarmix-sim on a pseudo-terminal, the simulated drives kept in a state folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/options/command_line.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

class CliFileSystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(folder);
        fs::create_directories(folder / "config" / "tarmix");
        std::ofstream(folder / "config" / "tarmix" / "Tarmix.ini") << "[LANGUAGE]: 1\r\n";
        fs::create_directories(drive() / "DATA" / "LOG");
        std::ofstream(drive() / "DATA" / "DAY1.TXT") << "12345";
        std::ofstream(drive() / "DATA" / "M\u00fcll.txt") << "x";
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path drive() const { return folder / "device" / "drives" / "A"; }

    // tarmix --headless --simulate with the options; the exit code (-1 when it hung).
    int run(const std::string& options) {
        const std::string command =
            "env -u TARMIX_COM1 -u DISPLAY -u WAYLAND_DISPLAY XDG_CONFIG_HOME=" +
            Quoted((folder / "config").string()) +
            " TARMIX_LPT1=" + Quoted((folder / "no-lpt").string()) + " timeout 60 " +
            Quoted(TARMIX_PATH) + " --headless --simulate --sim-state " +
            Quoted((folder / "device").string()) + " " + options + " >" +
            Quoted((folder / "out").string()) + " 2>" + Quoted((folder / "err").string());
        const int status = std::system(command.c_str());
        out = ReadAll(folder / "out");
        err = ReadAll(folder / "err");
        return WIFEXITED(status) && WEXITSTATUS(status) != 124 ? WEXITSTATUS(status) : -1;
    }

    fs::path folder = fs::temp_directory_path() / ("tarmix_cli_ffs_" + std::to_string(getpid()));
    std::string out;
    std::string err;
};

TEST_F(CliFileSystemTest, ListingsInPlainTextAndJson) {
    ASSERT_EQ(run("--ls 'a:\\DATA'"), 0) << err;
    EXPECT_NE(out.find("LOG                       <DIR>  "), std::string::npos) << out;
    EXPECT_NE(out.find("DAY1.TXT                      5  "), std::string::npos) << out;
    EXPECT_NE(out.find("M\u00fcll.txt"), std::string::npos) << out;

    ASSERT_EQ(run("--tree A: --json"), 0) << err;
    EXPECT_NE(out.find(R"({"event":"folder","path":"A:\\DATA\\LOG\\","depth":2})"),
              std::string::npos)
        << out;

    ASSERT_EQ(run("--df"), 0) << err;
    EXPECT_NE(out.find("A:\\  size 1024 kB  block 4096 bytes"), std::string::npos) << out;
}

TEST_F(CliFileSystemTest, CommandsChangeTheDriveAndFailuresHaveTheirCodes) {
    EXPECT_EQ(run("--mkdir 'A:\\DATA\\NEW\\'"), 0) << err;
    EXPECT_TRUE(fs::is_directory(drive() / "DATA" / "NEW"));
    EXPECT_EQ(run("--rm 'A:\\DATA\\DAY1.TXT'"), 0) << err;
    EXPECT_FALSE(fs::exists(drive() / "DATA" / "DAY1.TXT"));
    EXPECT_EQ(run("--rmdir 'A:\\DATA\\NEW'"), 0) << err;
    EXPECT_FALSE(fs::exists(drive() / "DATA" / "NEW"));

    EXPECT_EQ(run("--rmdir 'A:\\DATA'"), kResultCommandFailed) << err;  // not empty
    EXPECT_NE(err.find("Directory not empty"), std::string::npos) << err;
    EXPECT_EQ(run("--ls 'A:\\NONE'"), kResultNoSuchPath) << err;
    EXPECT_EQ(run("--mkdir 'A:\\..'"), 64) << err;
    EXPECT_EQ(run("--mkdir 'A:\\12345678901234567890'"), 64) << err;

    EXPECT_EQ(run("--format A:"), kResultCommandFailed) << err;  // the console answers No
    EXPECT_TRUE(fs::exists(drive() / "DATA"));
    EXPECT_EQ(run("--format a: --yes"), 0) << err;
    EXPECT_TRUE(fs::is_empty(drive()));
}

}  // namespace
}  // namespace tarmix
