// tarmix --terminal as a person uses it: on a pseudo-terminal of its own (its keyboard and
// screen), against tarmix-sim on another.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/cli/simulator_launcher.h"
#include "support/port_holder.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class ConsoleTerminalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder = fs::temp_directory_path() /
                 ("tarmix_console_terminal_" + std::to_string(getpid()) + "_" + test);
        fs::remove_all(folder);
        fs::create_directories(folder / "config" / "tarmix");
        std::ofstream(folder / "config" / "tarmix" / "Tarmix.ini") << "[LANGUAGE]: 1\r\n";
        simulator.setExecutable(TARMIX_SIM_PATH);
    }
    // The simulated controller behind COM1: its device, or the link to it when it has one.
    void simulate(const std::string& model, std::vector<std::string> extra = {},
                  std::string link = "") {
        std::string error;
        ASSERT_TRUE(simulator.start(model, extra, error)) << error;
        com1 = link.empty() ? simulator.devicePath() : link;
    }
    void TearDown() override {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
        fs::remove_all(folder);
    }

    // Starts tarmix with the arguments on a new pseudo-terminal, as its controlling
    // terminal; keeps the terminal side open to look at its settings.
    void start(std::vector<std::string> arguments) {
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(tcgetattr(slave, &before), 0);
        arguments.insert(arguments.begin(), TARMIX_PATH);
        child = fork();
        if (child == 0) {
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            for (int fd : {0, 1, 2}) dup2(slave, fd);
            setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
            for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                unsetenv(variable);
            setenv("TARMIX_COM1", com1.c_str(), 1);
            if (!com2.empty()) setenv("TARMIX_COM2", com2.c_str(), 1);
            setenv("TARMIX_LPT1", (folder / "no-lpt").c_str(), 1);
            std::vector<char*> argv;
            for (std::string& word : arguments) argv.push_back(word.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }

    // Reads the screen until `text` has appeared (true) or `longest` has passed.
    bool waitFor(const std::string& text, std::chrono::milliseconds longest = 10s) {
        const auto end = std::chrono::steady_clock::now() + longest;
        while (screen.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) return false;
            pollfd ready{master, POLLIN, 0};
            if (poll(&ready, 1, 100) <= 0) continue;
            char buffer[1024];
            const ssize_t got = read(master, buffer, sizeof buffer);
            if (got <= 0) return false;
            screen.append(buffer, size_t(got));
        }
        return true;
    }
    void type(const std::string& keys) {
        ASSERT_EQ(write(master, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    // The exit code, waiting at most 10 seconds; -1 when it did not end.
    int exitCode() {
        for (int i = 0; i < 100; ++i) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                child = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            waitFor("\x01", 100ms);  // keeps reading the screen while it ends
        }
        return -1;
    }
    bool raw() {
        termios now{};
        tcgetattr(slave, &now);
        return !(now.c_lflag & (ICANON | ECHO | ISIG));
    }
    bool asBefore() {
        termios now{};
        tcgetattr(slave, &now);
        return now.c_lflag == before.c_lflag && now.c_iflag == before.c_iflag &&
               now.c_oflag == before.c_oflag;
    }

    fs::path folder;
    SimulatorLauncher simulator;
    std::string com1;
    std::string com2;  // empty: no COM2
    int master = -1, slave = -1;
    pid_t child = -1;
    termios before{};
    std::string screen;
};

TEST_F(ConsoleTerminalTest, TypedCommandIsAnsweredAndCtrlBracketRestoresTheTerminal) {
    simulate("alder");
    const fs::path log = folder / "received.log";
    start({"--terminal", "--log", log.string()});
    ASSERT_TRUE(waitFor("Ctrl-] quits")) << screen;
    EXPECT_NE(screen.find("COM1"), std::string::npos) << screen;
    EXPECT_TRUE(raw());

    type(
        "tell drivex\x7f"
        "s\r");  // a typing error mended with Backspace
    ASSERT_TRUE(waitFor("Drives: 1024 64 256\r\nBoot> ")) << screen;
    // Ctrl-C is a byte for the device, not the end of the terminal; the cursor keys are
    // swallowed by the monitor.
    type("\x03\x1b[A\x1b[D\r");
    ASSERT_TRUE(waitFor("Unknown command: \r\nBoot> ")) << screen;  // 0x03 is not shown

    type("\x1d");
    EXPECT_EQ(exitCode(), 0) << screen;
    EXPECT_TRUE(asBefore());
    std::ifstream saved(log, std::ios::binary);
    std::stringstream received;
    received << saved.rdbuf();
    EXPECT_NE(received.str().find("tell drivex\b \bs\r\nDrives: 1024 64 256\r\nBoot> "),
              std::string::npos)
        << received.str();
    EXPECT_NE(received.str().find("Unknown command: \x03\r\n"), std::string::npos);
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".received.log."), std::string::npos);
}

TEST_F(ConsoleTerminalTest, SigtermAndSighupRestoreTheTerminal) {
    simulate("alder");
    for (int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        screen.clear();
        start({"--terminal"});
        ASSERT_TRUE(waitFor("Ctrl-] quits")) << screen;
        ASSERT_TRUE(raw());
        kill(child, signal);
        EXPECT_EQ(exitCode(), 128 + signal);
        EXPECT_TRUE(asBefore());
        close(master);
        close(slave);
        master = slave = -1;
    }
}

TEST_F(ConsoleTerminalTest, ALogThatCannotBeWrittenStopsItBeforeTheTerminalChanges) {
    simulate("alder");
    start({"--terminal", "--log", (folder / "missing" / "received.log").string()});
    EXPECT_EQ(exitCode(), 64);
    EXPECT_TRUE(asBefore());
    EXPECT_TRUE(waitFor("cannot write the log file")) << screen;
}

TEST_F(ConsoleTerminalTest, TheReenumeratedUsbPortIsFoundAgainByItsName) {
    // The DMX610 restarts its USB port when it leaves the monitor: the device behind the
    // link goes away and a new one appears there.
    const std::string link = (folder / "usb-serial").string();
    simulate("dmx610", {"--usb", "--link", link, "--app-ms", "300"}, link);
    const fs::path log = folder / "received.log";
    start({"--terminal", "--log", log.string()});
    ASSERT_TRUE(waitFor("[tarmix: Terminal over COM1]")) << screen;
    screen.clear();
    type("run appl\r");
    ASSERT_TRUE(waitFor("[tarmix: Terminal without connection]")) << screen;
    ASSERT_TRUE(waitFor("[tarmix: Terminal over COM1]")) << screen;
    type("tell version\r");
    EXPECT_TRUE(waitFor("Version: ")) << screen;
    type("\x1d");
    EXPECT_EQ(exitCode(), 0);
    EXPECT_TRUE(asBefore());
    // The log marks where the line went away and where it came back, between what came.
    std::ifstream saved(log, std::ios::binary);
    const std::string received(std::istreambuf_iterator<char>(saved), {});
    const std::regex marked(R"([\s\S]*\r\n\[tarmix [0-9-]{10} [0-9:]{8}: )"
                            R"(the line went away\]\r\n[\s\S]*\r\n\[tarmix [0-9-]{10} )"
                            R"([0-9:]{8}: the line is back\]\r\n[\s\S]*Version: [\s\S]*)");
    EXPECT_TRUE(std::regex_match(received, marked)) << received;
}

// The rate goes on the line: at 115200 the monitor's 57600 answer is garbled. With time
// stamps and local echo, what is typed shows at once and each line starts with its time;
// Ctrl-T ? lists the keys, the quit key with them.
TEST_F(ConsoleTerminalTest, RateTimeStampsLocalEchoAndKeyHelp) {
    simulate("alder");
    start({"--terminal", "--timestamps", "--local-echo"});
    ASSERT_TRUE(waitFor("at 57600 baud")) << screen;
    type("\x14?");
    // The whole message, its closing bracket and line end too, before the screen is cleared.
    ASSERT_TRUE(waitFor("Ctrl-] quits the terminal.]\r\n")) << screen;
    EXPECT_NE(screen.find("Terminal keys: Ctrl-T, then\r\n  ?  this help\r\n"), std::string::npos)
        << screen;
    screen.clear();
    type("tell version\r");
    ASSERT_TRUE(waitFor("Boot> ")) << screen;
    const std::string stamp = R"(\[[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}\] )";
    EXPECT_TRUE(std::regex_match(
        screen, std::regex(stamp + "tell version\r\n" + stamp + "tell version\r\n" + stamp +
                           "Version: 30\r\n" + stamp + "Boot> ")))
        << screen;
    type("\x1d");
    EXPECT_EQ(exitCode(), 0);
    EXPECT_TRUE(asBefore());
    close(master);
    close(slave);
    master = slave = -1;

    screen.clear();
    start({"--terminal", "--baud", "115200"});
    ASSERT_TRUE(waitFor("at 115200 baud; Ctrl-] quits, Ctrl-T ? shows the keys")) << screen;
    type("tell version\r");
    EXPECT_FALSE(waitFor("Version: 30", 1500ms)) << screen;
    type("\x1d");
    EXPECT_EQ(exitCode(), 0);
}

// Typing goes to the port asked for or to none: with that port held by another program the
// terminal says so and ends with 13, although another controller is on COM2.
TEST_F(ConsoleTerminalTest, ABusyPortIsRefusedAndNoOtherTaken) {
    simulate("alder");
    SimulatorLauncher other;
    other.setExecutable(TARMIX_SIM_PATH);
    std::string error;
    ASSERT_TRUE(other.start("alder", {}, error)) << error;
    com2 = other.devicePath();
    testing::PortHolder holder(com1);
    ASSERT_TRUE(holder.held());
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--terminal"}, {"--terminal", "--port", com1}}) {
        SCOPED_TRACE(arguments.size());
        screen.clear();
        start(arguments);
        EXPECT_TRUE(waitFor(com1 + " is in use by another program.")) << screen;
        EXPECT_EQ(exitCode(), 13) << screen;
        EXPECT_EQ(screen.find("Ctrl-] quits"), std::string::npos) << screen;
        EXPECT_TRUE(asBefore());
        close(master);
        close(slave);
        master = slave = -1;
    }
}

}  // namespace
}  // namespace tarmix
