// Batch scripts run unattended ("/p") by the real tarmix process against tarmix-sim, with
// the exit code that tells how the script ended.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tarmix {
namespace {

namespace fs = std::filesystem;

// Not found from __FILE__: with ccache's base folder that path is relative to the build.
const fs::path kExamples = fs::path(TARMIX_SOURCE_ROOT) / "examples";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string quoted(const std::string& word) {
    std::string text = "'";
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

class CliBatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::remove_all(folder);
        fs::create_directories(folder / "config" / "tarmix");
        std::ofstream(folder / "config" / "tarmix" / "Tarmix.ini") << "[LANGUAGE]: 1\r\n";
    }
    void TearDown() override { fs::remove_all(folder); }

    // tarmix headless on a simulated alder controller that keeps its state in folder/device:
    // /p SCRIPT. The exit code, or -1 when it did not end within a minute.
    int run(const fs::path& script, const char* answer = "--no") {
        const std::string command =
            "env -u TARMIX_COM1 XDG_CONFIG_HOME=" + quoted((folder / "config").string()) +
            " TARMIX_LPT1=" + quoted((folder / "no-lpt").string()) + " timeout 60 " +
            quoted(TARMIX_PATH) + " --headless --simulate --sim-state " +
            quoted((folder / "device").string()) + " " + answer + " /p " + quoted(script.string()) +
            " COM1 57600 2>" + quoted((folder / "err").string());
        const int status = std::system(command.c_str());
        err = readFile(folder / "err");
        // A failed run leaves the wire trace of its last operation behind.
        const std::string marker = "wire trace of the last operation: ";
        if (const size_t at = err.find(marker); at != std::string::npos)
            fs::remove(err.substr(at + marker.size(), err.find('\n', at) - at - marker.size()));
        return WIFEXITED(status) && WEXITSTATUS(status) != 124 ? WEXITSTATUS(status) : -1;
    }

    fs::path folder = fs::temp_directory_path() / ("tarmix_cli_batch_" + std::to_string(getpid()));
    std::string err;
};

TEST_F(CliBatchTest, ExampleSetupScriptRunsToItsEndWithCodeZero) {
    EXPECT_EQ(run(kExamples / "setup-alder.rom"), 0) << err;
    EXPECT_NE(err.find("The alder controller is set up."), std::string::npos) << err;
    EXPECT_TRUE(fs::is_directory(folder / "device" / "drives" / "A" / "LOG" / "2026"));
    EXPECT_NE(readFile(folder / "device" / "memory.srec").find("S3"), std::string::npos);
    EXPECT_EQ(readFile(folder / "device" / "caps.txt"), "1\n0\n256\n1\n0\n");  // clock flag set
}

TEST_F(CliBatchTest, ScriptStoppedByTheOperatorsNoIsAFailure) {
    const fs::path script = folder / "ask.rom";
    std::ofstream(script, std::ios::binary) << "messageyesno Format A:?\r\nmkdir \"A:\\NEW\"\r\n";
    EXPECT_EQ(run(script, "--no"), 7) << err;
    EXPECT_NE(err.find("question: Format A:?  -> No"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(folder / "device" / "drives" / "A" / "NEW"));

    EXPECT_EQ(run(script, "--yes"), 0) << err;
    EXPECT_TRUE(fs::is_directory(folder / "device" / "drives" / "A" / "NEW"));
}

}  // namespace
}  // namespace tarmix
