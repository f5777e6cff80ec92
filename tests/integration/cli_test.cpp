// The tarmix program as a user runs it: headless, against tarmix-sim on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/simulator_launcher.h"
#include "sim/image_maker.h"
#include "sim/memory.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uint32_t kAlderBankA = 0x110000;
constexpr uint32_t kImageSize = 0x4000;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder =
            fs::temp_directory_path() / ("tarmix_cli_" + std::to_string(getpid()) + "_" + test);
        fs::remove_all(folder);
        fs::create_directories(folder / "config" / "tarmix");
        // English texts; the settings file may be plain text.
        std::ofstream(folder / "config" / "tarmix" / "Tarmix.ini") << "[LANGUAGE]: 1\r\n";
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string image(uint32_t start = kAlderBankA) {
        const fs::path path = folder / "app.rom";
        std::string error;
        EXPECT_EQ(sim::MakeRomImage(path.string(), start, kImageSize, {}, error), 0) << error;
        return path.string();
    }

    // Runs tarmix with the arguments, the test's own configuration folder and no display;
    // ends it if it takes longer than a minute.
    Outcome run(const std::vector<std::string>& arguments) {
        const fs::path out = folder / "stdout", err = folder / "stderr";
        std::vector<std::string> words{TARMIX_PATH};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);

        const pid_t child = fork();
        if (child == 0) {
            setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
            for (const char* variable :
                 {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TARMIX_COM1", "TARMIX_LPT1"})
                unsetenv(variable);
            setenv("TARMIX_LPT1", (folder / "no-lpt").c_str(), 1);
            dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        Outcome outcome;
        int status = 0;
        for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; waited += 10) {
            if (waited > 60000) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                ADD_FAILURE() << "tarmix did not end";
                break;
            }
            usleep(10000);
        }
        if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
        outcome.out = readFile(out);
        outcome.err = readFile(err);
        return outcome;
    }

    fs::path folder;
};

TEST_F(CliTest, UnattendedDownloadWritesTheFlashAndEndsWithZero) {
    const fs::path state = folder / "device";
    const Outcome outcome = run({"--headless", "--simulate", "--sim-state", state.string(),
                                 "--json", "/p", image(), "COM1", "57600"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("Panel: Alder-Panel"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("exit code 0"), std::string::npos);
    EXPECT_NE(outcome.out.find(R"({"event":"status","text":"Download the application"})"),
              std::string::npos)
        << outcome.out;
    const size_t lastLine = outcome.out.rfind('\n', outcome.out.size() - 2);
    EXPECT_EQ(outcome.out.substr(lastLine + 1),
              R"({"event":"result","exitCode":0,"reason":"no error detected"})"
              "\n");

    sim::Memory memory(*sim::findModel("alder"));
    std::string error;
    ASSERT_TRUE(memory.loadFlash(state / "memory.srec", error)) << error;
    EXPECT_EQ(memory.read(kAlderBankA, kImageSize),
              sim::MakeImageBytes(kAlderBankA, kImageSize, {}));
    EXPECT_TRUE(fs::exists(folder / "config" / "tarmix" / "Tarmix.ini"));
}

TEST_F(CliTest, WordsThatAreNotUnderstoodGiveTheirCodes) {
    EXPECT_EQ(run({"--headless", "--simulate", "/x", "a", "b", "COM1", "57600"}).exitCode, 3);
    // The download itself still runs; the code reports the word.
    const Outcome mixedCase = run({"--headless", "--simulate", "/p", image(), "Com1", "57600"});
    EXPECT_EQ(mixedCase.exitCode, 1) << mixedCase.err;
    EXPECT_NE(mixedCase.err.find("Download the application"), std::string::npos);
    EXPECT_EQ(run({"--headless", "--frobnicate"}).exitCode, 64);
}

TEST_F(CliTest, FailedDownloadIsNotASuccessAndKeepsItsTrace) {
    const fs::path trace = folder / "wire.trace";
    const Outcome outcome = run({"--headless", "--simulate", "--trace", trace.string(), "/p",
                                 image(0x200000), "COM1", "57600"});
    EXPECT_EQ(outcome.exitCode, 7) << outcome.err;
    EXPECT_NE(outcome.err.find("do not match"), std::string::npos) << outcome.err;
    EXPECT_NE(readFile(trace).find("PC> please answer me\\r"), std::string::npos);

    const std::string marker = "wire trace of the last operation: ";
    const size_t at = outcome.err.find(marker);
    ASSERT_NE(at, std::string::npos) << outcome.err;
    const fs::path last =
        outcome.err.substr(at + marker.size(), outcome.err.find('\n', at) - at - marker.size());
    EXPECT_NE(readFile(last).find("PC> please answer me\\r"), std::string::npos);
    fs::remove(last);
}

TEST_F(CliTest, ListPortsShowsTheSimulatedControllerAsCom1) {
    const Outcome outcome = run({"--simulate", "--list-ports"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out.rfind("COM1  /dev/pts/", 0), 0u) << outcome.out;
    EXPECT_NE(outcome.out.find("available\nCOM2  -"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("LPT1  " + (folder / "no-lpt").string()), std::string::npos);
    EXPECT_NE(outcome.out.find("cannot be opened\n"), std::string::npos);
}

// A device chosen with --port for this run, on a line paced like a real cable: the JSON
// events carry the transfer's figures, at about the line's rate, with the time left falling.
TEST_F(CliTest, PortOptionChoosesTheDeviceAndProgressCarriesRateAndTimeLeft) {
    std::ofstream(folder / "config" / "tarmix" / "Tarmix.ini")
        << "[LANGUAGE]: 1\r\n[BAUDRATE]: 115200\r\n";
    SimulatorLauncher simulator;
    simulator.setExecutable(TARMIX_SIM_PATH);
    std::string error;
    ASSERT_TRUE(
        simulator.start("alder", {"--pace", "--state", (folder / "device").string()}, error))
        << error;
    const Outcome outcome = run({"--headless", "--json", "--port", simulator.devicePath(), "/p",
                                 image(), "COM1", "115200"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.err;

    const std::regex transfer(
        R"re(\{"event":"transfer","done":(\d+),"total":(\d+),"bytesPerSecond":([0-9.e+]+)(?:,"secondsLeft":([0-9.e+-]+))?\})re");
    std::vector<double> rates, left;
    uint64_t lastDone = 0;
    for (auto match = std::sregex_iterator(outcome.out.begin(), outcome.out.end(), transfer);
         match != std::sregex_iterator(); ++match) {
        EXPECT_EQ(std::stoull((*match)[2]), kImageSize);
        lastDone = std::stoull((*match)[1]);
        rates.push_back(std::stod((*match)[3]));
        if ((*match)[4].matched) left.push_back(std::stod((*match)[4]));
    }
    ASSERT_GE(left.size(), 2u) << outcome.out;
    EXPECT_EQ(lastDone, kImageSize);
    // Never faster than the line; the block commands and answers share it with the data.
    const double line = 115200.0 / 10;  // bytes per second: 10 bit times each
    EXPECT_LE(rates.back(), line * 1.02);
    EXPECT_GE(rates.back(), line * 0.70);
    EXPECT_LT(left.back(), left.front());
    for (size_t i = 1; i < left.size(); ++i) EXPECT_LE(left[i], left[i - 1] + 0.5);
}

TEST_F(CliTest, PortOptionRefusesDevicesThatCannotServe) {
    for (const std::string& path :
         {std::string("/nonexistent/ttyUSB7"), std::string("/dev/null")}) {
        const Outcome outcome = run({"--headless", "--port", path, "/p", image(), "COM1", "57600"});
        EXPECT_EQ(outcome.exitCode, 64) << path;
        EXPECT_NE(outcome.err.find(path), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(run({"--headless", "--port", "COM9=/dev/ttyS0", "--list-ports"}).exitCode, 64);
    EXPECT_EQ(run({"--simulate", "--port", "/dev/ttyS0", "--list-ports"}).exitCode, 64);
}

}  // namespace
}  // namespace tarmix
