// The tarmix program as a user runs it: headless, against tarmix-sim on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>

#include "app/cli/simulator_launcher.h"
#include "sim/image_maker.h"
#include "sim/memory.h"
#include "support/port_holder.h"
#include "support/special_files.h"
#include "tests/support/file_contents.h"

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

using testing::readFile;

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

    // Runs tarmix with the arguments, the test's own configuration and state folders and no
    // display; ends it if it takes longer than a minute. `whileRunning` is called every 10 ms
    // with the process id until it ends; `program` replaces tarmix.
    Outcome run(const std::vector<std::string>& arguments,
                const std::function<void(pid_t)>& whileRunning = {},
                const std::string& program = TARMIX_PATH,
                const std::vector<std::pair<std::string, std::string>>& environment = {}) {
        const fs::path out = folder / "stdout", err = folder / "stderr";
        std::vector<std::string> words{program};
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
            setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
            for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
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
            if (whileRunning) whileRunning(child);
            usleep(10000);
        }
        if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
        outcome.out = readFile(out);
        outcome.err = readFile(err);
        return outcome;
    }

    std::string errorsSoFar() { return readFile(folder / "stderr"); }

    fs::path folder;
};

TEST_F(CliTest, UnattendedDownloadWritesTheFlashAndEndsWithZero) {
    const fs::path state = folder / "device";
    const Outcome outcome = run({"--headless", "--simulate", "--sim-state", state.string(),
                                 "--json", "/p", image(), "COM1", "57600"});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_NE(outcome.err.find("Panel: Alder-Panel"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("exit code 0"), std::string::npos);
    EXPECT_NE(outcome.out.find(R"({"event":"status","text":"Download the application","ids":[)"),
              std::string::npos)
        << outcome.out;
    const size_t lastLine = outcome.out.rfind('\n', outcome.out.size() - 2);
    EXPECT_EQ(
        outcome.out.substr(lastLine + 1)
            .rfind(R"({"event":"result","exitCode":0,"reason":"no error detected","port":"COM1",)"
                   R"("device":"/dev/pts/)",
                   0),
        0u)
        << outcome.out;

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

// Command lines that cannot work are refused before anything is touched, with the reason.
TEST_F(CliTest, CommandLinesThatCannotWorkAreRefusedWithTheirReason) {
    const struct {
        std::vector<std::string> arguments;
        std::string said;
    } cases[] = {
        // Would wait for an operator for ever.
        {{"--headless", "--simulate", "/p", "app.rom", "COM1"}, "/p ROMFILE PORT BAUD"},
        {{"--headless", "/t", "3"}, "/u DEVPATH PCFILE PORT BAUD"},
        {{"--headless", "--simulate", "/p", "app.bin", "COM1", "57600"},
         "/p takes a ROM file whose name contains \".rom\", not \"app.bin\""},
        {{"--headless", "--simulate=nosuchmodel", "/p", "app.rom", "COM1", "57600"},
         "knows no model \"nosuchmodel\"; the models are:\n  alder\n"},
    };
    for (const auto& [arguments, said] : cases) {
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.exitCode, 64) << outcome.err;
        EXPECT_NE(outcome.err.find(said), std::string::npos) << outcome.err;
    }
    // The simulator's help, also asked for after a subcommand, is no error.
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"--help"}, {"make-image", "--help"}, {"make-library", "-h"}}) {
        const Outcome simulatorHelp = run(words, {}, TARMIX_SIM_PATH);
        EXPECT_EQ(simulatorHelp.exitCode, 0) << simulatorHelp.err;
        EXPECT_EQ(simulatorHelp.err, "");
        EXPECT_EQ(simulatorHelp.out.rfind("Usage: tarmix-sim", 0), 0u) << simulatorHelp.out;
    }
    const Outcome help = run({"--help"});
    EXPECT_NE(help.out.find((folder / "state" / "tarmix").string()), std::string::npos);
    EXPECT_NE(help.out.find("  143  terminated (SIGTERM)\n"), std::string::npos) << help.out;
}

// A mistyped image name ends the run with its reason before any wait for a controller (no
// controller here: waiting would end with 9).
TEST_F(CliTest, AMissingImageEndsTheRunBeforeItWaitsForAController) {
    const std::string missing = (folder / "nothere.rom").string();
    const Outcome outcome = run({"--headless", "/p", missing, "COM1", "57600"});
    EXPECT_EQ(outcome.exitCode, 7) << outcome.err;
    EXPECT_NE(outcome.err.find(missing + ": File not found"), std::string::npos) << outcome.err;
}

// The port and rate that are used instead of words that were not understood are named
// before the device is touched; a good download ends with what it did.
TEST_F(CliTest, UnrecognisedWordsAreNamedAndTheDownloadSummarised) {
    const Outcome outcome = run({"--headless", "--simulate", "/p", image(), "COM7", "12345"});
    EXPECT_EQ(outcome.exitCode, 2) << outcome.err;
    const size_t named = outcome.err.find(
        "COM7 not recognised; using COM1 from Tarmix.ini / 12345 not recognised; using 57600 "
        "from Tarmix.ini\n");
    ASSERT_NE(named, std::string::npos) << outcome.err;
    EXPECT_LT(named, outcome.err.find("Establishing connection"));
    EXPECT_NE(outcome.err.find("Downloaded " + std::to_string(kImageSize) + " bytes in "),
              std::string::npos)
        << outcome.err;
}

// SIGTERM in the middle of a paced download run by a script: the transfer ends between two
// blocks, the rate goes back to 57600, the settings are saved, and the code is 143.
TEST_F(CliTest, SigtermStopsBetweenBlocksRestoresTheRateAndSavesTheSettings) {
    std::ofstream(folder / "config" / "tarmix" / "Tarmix.ini")
        << "[LANGUAGE]: 1\r\n[BAUDRATE]: 115200\r\n";
    const std::string big = (folder / "big.rom").string();
    std::string error;
    ASSERT_EQ(sim::MakeRomImage(big, kAlderBankA, 0x10000, {}, error), 0) << error;
    const fs::path script = folder / "long.rom";
    std::ofstream(script, std::ios::binary) << "program big.rom\r\nmonitor tell version\r\n";

    const fs::path link = folder / "ttySIM";
    const pid_t simulator = fork();
    if (simulator == 0) {
        dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
        execl(TARMIX_SIM_PATH, TARMIX_SIM_PATH, "--model", "alder", "--pace", "--link",
              link.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 500 && !fs::exists(link); ++i) usleep(10000);
    ASSERT_TRUE(fs::exists(link));

    const fs::path trace = folder / "wire.trace";
    bool sent = false;
    const Outcome outcome =
        run({"--headless", "--trace", trace.string(), "/p", script.string(), "COM1", "57600"},
            [&](pid_t tarmix) {
                if (!sent && errorsSoFar().find("Download the application") != std::string::npos &&
                    readFile(trace).find("burn ") != std::string::npos) {
                    sent = true;
                    kill(tarmix, SIGTERM);
                }
            },
            TARMIX_PATH, {{"TARMIX_COM1", link.string()}});
    kill(simulator, SIGTERM);
    waitpid(simulator, nullptr, 0);

    ASSERT_TRUE(sent) << outcome.err;
    EXPECT_EQ(outcome.exitCode, 143) << outcome.err;
    EXPECT_NE(outcome.err.find("stopping once the device is between two steps"), std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("Download cut short: the flash holds an incomplete image"),
              std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("exit code 143 (terminated (SIGTERM))"), std::string::npos);
    const std::string wire = readFile(trace);
    const size_t raised = wire.find("PC> setbaudrate 115200\\r");
    ASSERT_NE(raised, std::string::npos);
    EXPECT_NE(wire.find("PC> setbaudrate 57600\\r", raised), std::string::npos);
    EXPECT_EQ(wire.find("PC> tell version\\r", raised), std::string::npos) << "the script stopped";
    // Saved on the way out: the program writes 16-bit characters.
    const std::string settings = readFile(folder / "config" / "tarmix" / "Tarmix.ini");
    EXPECT_EQ(settings.substr(0, 4), std::string("[\0L\0", 4));
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
    EXPECT_EQ(last.parent_path(), folder / "state" / "tarmix");
}

// With no display and no form the console only watches: it says so and which forms do
// work, and Ctrl-C ends it without the trace of a failed run.
TEST_F(CliTest, TheWatchingFormSaysWhatItDoesAndEndsOnCtrlC) {
    bool sent = false;
    const Outcome outcome = run({"--simulate"}, [&](pid_t tarmix) {
        if (!sent && errorsSoFar().find("Panel: Alder-Panel") != std::string::npos) {
            sent = true;
            kill(tarmix, SIGINT);
        }
    });
    ASSERT_TRUE(sent) << outcome.err;
    EXPECT_EQ(outcome.exitCode, 130) << outcome.err;
    for (const char* said : {"watching the link", "tarmix /p ROMFILE PORT BAUD", "tarmix --help"})
        EXPECT_NE(outcome.err.find(said), std::string::npos) << said << "\n" << outcome.err;
    EXPECT_EQ(outcome.err.find("wire trace of the last operation"), std::string::npos)
        << outcome.err;
    EXPECT_FALSE(fs::exists(folder / "state" / "tarmix"));
}

TEST_F(CliTest, ListPortsShowsTheSimulatedControllerAsCom1) {
    const Outcome outcome = run({"--simulate", "--list-ports"});
    EXPECT_EQ(outcome.exitCode, 0);
    EXPECT_EQ(outcome.out.rfind("COM1  /dev/pts/", 0), 0u) << outcome.out;
    EXPECT_NE(outcome.out.find("Available\nCOM2  -"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("LPT1  " + (folder / "no-lpt").string()), std::string::npos);
    // A printer port that is not there is said not to exist, not merely to be unavailable.
    EXPECT_NE(outcome.out.find("Not available\n      " + (folder / "no-lpt").string() +
                               " does not exist.\n"),
              std::string::npos)
        << outcome.out;
}

TEST_F(CliTest, FilesGoToTheControllerAndBackUnattended) {
    const fs::path state = folder / "device";
    fs::create_directories(state / "drives" / "A" / "LOG");
    std::ofstream(folder / "day1.txt", std::ios::binary) << "first day\r\n";
    const auto withDevice = [&](std::vector<std::string> words) {
        words.insert(words.begin(), {"--headless", "--simulate", "--sim-state", state.string()});
        words.insert(words.end(), {"COM1", "57600"});
        return run(words);
    };
    Outcome down = withDevice({"/d", (folder / "day1.txt").string(), "A:\\LOG\\DAY1.TXT"});
    EXPECT_EQ(down.exitCode, 0) << down.err;
    EXPECT_EQ(readFile(state / "drives" / "A" / "LOG" / "DAY1.TXT"), "first day\r\n");

    Outcome up = withDevice({"/u", "A:\\LOG\\DAY1.TXT", (folder / "copy.txt").string()});
    EXPECT_EQ(up.exitCode, 0) << up.err;
    EXPECT_EQ(readFile(folder / "copy.txt"), "first day\r\n");

    // An existing PC file is replaced only with --yes.
    std::ofstream(folder / "copy.txt", std::ios::binary) << "mine";
    up = withDevice({"/u", "A:\\LOG\\DAY1.TXT", (folder / "copy.txt").string()});
    EXPECT_EQ(up.exitCode, 6) << up.err;
    EXPECT_NE(up.err.find("--yes replaces it"), std::string::npos) << up.err;
    EXPECT_EQ(readFile(folder / "copy.txt"), "mine");
    up = withDevice({"--yes", "/u", "A:\\LOG\\DAY1.TXT", (folder / "copy.txt").string()});
    EXPECT_EQ(up.exitCode, 0) << up.err;
    EXPECT_EQ(readFile(folder / "copy.txt"), "first day\r\n");

    // A device file that is not there; a controller path that names no file.
    EXPECT_EQ(withDevice({"/u", "A:\\NONE.TXT", (folder / "none.txt").string()}).exitCode, 6);
    EXPECT_FALSE(fs::exists(folder / "none.txt"));
    EXPECT_EQ(withDevice({"/d", (folder / "day1.txt").string(), "A:\\LOG\\"}).exitCode, 4);
    EXPECT_EQ(withDevice({"/d", (folder / "missing.txt").string(), "A:\\X.TXT"}).exitCode, 5);
    // A name longer than the controller's listing shows.
    down = withDevice(
        {"/d", (folder / "day1.txt").string(), "A:\\LOG\\averyveryverylongfilename.txt"});
    EXPECT_EQ(down.exitCode, 5);
    EXPECT_NE(down.err.find("names of at most 20 characters"), std::string::npos) << down.err;
    EXPECT_FALSE(fs::exists(state / "drives" / "A" / "LOG" / "averyveryverylongfilename.txt"));
}

// A copy to a controller that goes away part-way: one that restarts and answers again
// keeps no new incomplete file; a line that is gone for good leaves the file named in the
// message, the status line and the run's summary.
TEST_F(CliTest, ACopyCutOffPartWayLeavesNoUnnamedIncompleteFile) {
    std::ofstream(folder / "big.bin", std::ios::binary) << std::string(100 * 1024, 'x');
    struct Case {
        const char* fault;
        const char* expected;
        bool fileLeft;
    };
    const Case cases[] = {
        {"reset@40000", "The incomplete file <A:\\BIG.BIN> was removed from the controller.",
         false},
        {"gone@40000", "The file <A:\\BIG.BIN> on the controller is incomplete.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        const fs::path state = folder / "device";
        fs::remove_all(state);
        fs::create_directories(state / "drives" / "A");
        SimulatorLauncher simulator;
        simulator.setExecutable(TARMIX_SIM_PATH);
        std::string error;
        ASSERT_TRUE(
            simulator.start("alder", {"--state", state.string(), "--faults", c.fault}, error))
            << error;
        const Outcome outcome =
            run({"--headless", "--port", simulator.devicePath(), "/d",
                 (folder / "big.bin").string(), "A:\\BIG.BIN", "COM1", "57600"});
        simulator.stop();
        EXPECT_EQ(outcome.exitCode, 5) << outcome.err;
        // The message and the status line name the file; the summary names a file left.
        const size_t summary = outcome.err.find("exit code 5 (");
        ASSERT_NE(summary, std::string::npos) << outcome.err;
        const size_t first = outcome.err.find(c.expected);
        ASSERT_LT(first, summary) << outcome.err;
        EXPECT_LT(outcome.err.find(c.expected, first + 1), summary) << outcome.err;
        EXPECT_EQ(outcome.err.find(c.expected, summary) != std::string::npos, c.fileLeft);
        EXPECT_EQ(fs::exists(state / "drives" / "A" / "BIG.BIN"), c.fileLeft);
    }
}

// Ctrl-C twice during a paced upload through a real pty: the run ends at once instead of
// at the end of the copy, says what state the controller may be in rather than that it
// went silent, leaves no PC file under its name, and ends with the SIGINT code.
TEST_F(CliTest, ASecondCtrlCAbandonsAnUploadAndSaysWhatStateTheControllerIsIn) {
    const fs::path state = folder / "device";
    fs::create_directories(state / "drives" / "A");
    // Paced, this takes far longer than the run may after the signals.
    std::ofstream(state / "drives" / "A" / "BIG.BIN", std::ios::binary)
        << std::string(200 * 1024, 'x');
    SimulatorLauncher simulator;
    simulator.setExecutable(TARMIX_SIM_PATH);
    std::string error;
    ASSERT_TRUE(simulator.start("alder", {"--state", state.string(), "--pace"}, error)) << error;
    const fs::path copy = folder / "big.bin";
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> started, signalled;
    const Outcome outcome =
        run({"--headless", "--port", simulator.devicePath(), "/u", "A:\\BIG.BIN", copy.string(),
             "COM1", "57600"},
            [&](pid_t tarmix) {
                if (!started && errorsSoFar().find("Upload <BIG.BIN>") != std::string::npos)
                    started = Clock::now();
                // A second into the copy: frames are under way.
                if (signalled || !started || Clock::now() - *started < 1s) return;
                signalled = Clock::now();
                kill(tarmix, SIGINT);
                usleep(20000);
                kill(tarmix, SIGINT);
            });
    const auto took = Clock::now() - signalled.value_or(Clock::now());
    simulator.stop();
    ASSERT_TRUE(signalled) << outcome.err;
    EXPECT_LT(took, 5s) << outcome.err;
    EXPECT_EQ(outcome.exitCode, 130) << outcome.err;
    EXPECT_NE(outcome.err.find("abandoning the operation at once"), std::string::npos)
        << outcome.err;
    EXPECT_NE(outcome.err.find("may need a restart"), std::string::npos) << outcome.err;
    for (const char* misleading : {"does not answer any more", "Baudrate change error"})
        EXPECT_EQ(outcome.err.find(misleading), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find("exit code 130 (interrupted (SIGINT))"), std::string::npos)
        << outcome.err;
    EXPECT_FALSE(fs::exists(copy));
}

// Neither an uploaded file nor the settings file is ever written onto a device or a pipe:
// the run names the file it left alone, and each node stays what it was. A link to a
// regular file with a second hard link is written in place, so both names see the upload.
TEST_F(CliTest, UploadsAndSettingsNeverReplaceDevicesOrPipes) {
    const fs::path state = folder / "device";
    fs::create_directories(state / "drives" / "A");
    std::ofstream(state / "drives" / "A" / "SMALL.TXT", std::ios::binary) << "small file\r\n";
    const auto upload = [&](const fs::path& to) {
        return run({"--headless", "--simulate", "--sim-state", state.string(), "--yes", "/u",
                    "A:\\SMALL.TXT", to.string(), "COM1", "57600"});
    };
    fs::create_directories(folder / "nodes");
    const fs::path settings = folder / "config" / "tarmix" / "Tarmix.ini";
    for (const testing::SpecialFile& special : testing::MakeSpecialFiles(folder / "nodes")) {
        if (special.kind != "named pipe" && special.kind != "character device") continue;
        SCOPED_TRACE(special.path);
        const fs::path link = folder / "link";
        fs::remove(link);
        fs::create_symlink(special.path, link);
        // The settings file too, where reading it cannot wait for a writer.
        const bool settingsLinked = special.kind == "character device";
        if (settingsLinked) fs::remove(settings), fs::create_symlink(special.path, settings);
        const testing::NodeSnapshot before(special.path);

        const Outcome outcome = upload(link);
        EXPECT_EQ(outcome.exitCode, 6) << outcome.err;
        EXPECT_NE(outcome.err.find(special.path.string() + ": "), std::string::npos) << outcome.err;
        if (settingsLinked) {  // the fixed text, then the file and the reason
            const size_t failed = outcome.err.find("Ini-File konnte nicht beschrieben werden!");
            ASSERT_NE(failed, std::string::npos) << outcome.err;
            EXPECT_NE(outcome.err.find(special.path.string() + ": ", failed), std::string::npos);
        }
        EXPECT_TRUE(testing::NodeSnapshot(special.path) == before);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::is_symlink(settings), settingsLinked);
    }

    std::ofstream(folder / "real.txt", std::ios::binary) << "old";
    fs::create_hard_link(folder / "real.txt", folder / "second.txt");
    fs::create_symlink("real.txt", folder / "to-real");
    const testing::NodeSnapshot before(folder / "real.txt");
    const Outcome outcome = upload(folder / "to-real");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.err;
    EXPECT_EQ(testing::NodeSnapshot(folder / "real.txt").status.st_ino, before.status.st_ino);
    EXPECT_EQ(readFile(folder / "second.txt"), "small file\r\n");
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
    // Data bytes, never faster than the line (a busy machine only makes it slower, so how
    // close it comes is for the benchmark to say).
    const double line = 115200.0 / 10;  // bytes per second: 10 bit times each
    EXPECT_LE(rates.back(), line * 1.02);
    EXPECT_GT(rates.back(), line / 4);
    EXPECT_LT(left.back(), left.front());
    for (size_t i = 1; i < left.size(); ++i) EXPECT_LE(left[i], left[i - 1] + 0.5);
}

TEST_F(CliTest, PortOptionRefusesDevicesThatCannotServe) {
    for (const std::string& path :
         {std::string("/nonexistent/ttyUSB7"), std::string("/dev/null")}) {
        const Outcome outcome = run({"--headless", "--port", path, "/p", image(), "COM1", "57600"});
        EXPECT_EQ(outcome.exitCode, 13) << path;
        EXPECT_NE(outcome.err.find(path), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(run({"--headless", "--port", "COM9=/dev/ttyS0", "--list-ports"}).exitCode, 64);
    EXPECT_EQ(run({"--simulate", "--port", "/dev/ttyS0", "--list-ports"}).exitCode, 64);
}

// An unattended run whose port is held by another program, or stands for an unplugged
// adapter, ends at once with 13 and names the port, its device and the reason; the
// controller on the next port is never touched. Once the port is free the same command
// works there, and names the device it used.
TEST_F(CliTest, APortThatCannotBeOpenedEndsTheRunAndLeavesTheNextControllerAlone) {
    const fs::path askedState = folder / "asked", otherState = folder / "other";
    fs::create_directories(askedState / "drives" / "A");
    fs::create_directories(otherState / "drives" / "A");
    SimulatorLauncher asked, other;
    std::string error;
    for (auto [simulator, state] : {std::pair{&asked, askedState}, std::pair{&other, otherState}}) {
        simulator->setExecutable(TARMIX_SIM_PATH);
        ASSERT_TRUE(simulator->start("alder", {"--state", state.string()}, error)) << error;
    }
    const std::string note = (folder / "note.txt").string();
    std::ofstream(note) << "note";
    const std::string device = asked.devicePath();
    const std::string unplugged = (folder / "ttyUSB9").string();
    const auto copyNote = [&](std::vector<std::string> options, const std::string& com1) {
        options.insert(options.begin(), {"--headless", "--json"});
        options.insert(options.end(), {"/d", note, "A:\\NOTE.TXT", "COM1", "57600"});
        return run(options, {}, TARMIX_PATH,
                   {{"TARMIX_COM1", com1}, {"TARMIX_COM2", other.devicePath()}});
    };

    // The "result" event of a run that tried COM1 at `com1`.
    const auto resultEvent = [](int code, const std::string& reason, const std::string& com1) {
        return "\"exitCode\":" + std::to_string(code) + ",\"reason\":\"" + reason +
               "\",\"port\":\"COM1\",\"device\":\"" + com1 + "\",\"ids\":[";
    };
    testing::PortHolder holder(device);
    ASSERT_TRUE(holder.held());
    const struct {
        std::vector<std::string> options;
        std::string com1;
        std::string said;
        bool result;  // the run reached the window, whose "result" event names the port
    } cases[] = {
        {{}, device, "COM1 / " + device + " is in use by another program.", true},
        {{}, unplugged, "COM1 / " + unplugged + " does not exist.", true},
        {{"--port", device},
         unplugged,
         "--port COM1=" + device + ": " + device + " is in use",
         false},
    };
    for (const auto& [options, com1, said, result] : cases) {
        SCOPED_TRACE(said);
        const Outcome outcome = copyNote(options, com1);
        EXPECT_EQ(outcome.exitCode, 13) << outcome.err;
        EXPECT_NE(outcome.err.find(said), std::string::npos) << outcome.err;
        if (result) {
            EXPECT_NE(
                outcome.out.find(resultEvent(
                    13, "the port could not be opened (missing, in use, no permission)", com1)),
                std::string::npos)
                << outcome.out;
        }
    }

    holder.release();
    const Outcome freed = copyNote({}, device);
    EXPECT_EQ(freed.exitCode, 0) << freed.err;
    EXPECT_NE(freed.err.find("Serial port COM1: " + device + "\n"), std::string::npos);
    EXPECT_NE(freed.out.find(resultEvent(0, "no error detected", device)), std::string::npos)
        << freed.out;
    asked.stop();
    other.stop();
    EXPECT_EQ(readFile(askedState / "drives" / "A" / "NOTE.TXT"), "note");
    EXPECT_FALSE(fs::exists(otherState / "drives" / "A" / "NOTE.TXT"));
}

// Mistakes in what a check is given end with a clear message, never with a crash or with a
// run that waits for a controller: an empty value is a usage error (64), a manifest that
// cannot be read or understood a failed check (10).
TEST_F(CliTest, ChecksGivenNothingOrAnUnreadableManifestSaySo) {
    const fs::path backup = folder / "backup";
    fs::create_directories(backup / "manifest.json");
    const fs::path typed = folder / "typed";
    fs::create_directories(typed);
    std::ofstream(typed / "manifest.json") << R"({"files":[{"path":"a","size":"12"}]})";
    std::ofstream(typed / "a") << "x";
    const struct {
        std::vector<std::string> arguments;
        int code;
        std::string said;
    } cases[] = {
        {{"--verify-backup", ""}, 64, "--verify-backup was given an empty value"},
        {{"--dry-run="}, 64, "--dry-run was given an empty value"},
        {{"--headless", "--wait", "", "/p", "a.rom", "COM1", "57600"}, 64, "--wait"},
        {{"--verify-backup", backup.string()},
         10,
         (backup / "manifest.json").string() + ": cannot be read"},
        {{"--verify-backup", typed.string()},
         10,
         (typed / "manifest.json").string() + ": not a backup manifest"},
    };
    for (const auto& [arguments, code, said] : cases) {
        SCOPED_TRACE(said);
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.exitCode, code) << outcome.err;
        EXPECT_NE((outcome.out + outcome.err).find(said), std::string::npos)
            << outcome.out << outcome.err;
    }
}

}  // namespace
}  // namespace tarmix
