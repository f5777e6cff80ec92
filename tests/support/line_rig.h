// A rig for the production line's tests: a line of simulated controllers (tarmix-sim
// --count, with a control pipe to unplug and plug them) and the real tarmix process, with
// the test's own settings and state folders. Every wait is bounded.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/image_maker.h"
#include "sim/memory.h"
#include "sim/sim_models.h"
#include "tests/support/file_contents.h"

namespace tarmix::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class LineRig : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string test = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        folder =
            fs::temp_directory_path() / ("tarmix_line_" + std::to_string(getpid()) + "_" + test);
        fs::remove_all(folder);
        fs::create_directories(folder / "config" / "tarmix");
        std::ofstream(folder / "config" / "tarmix" / "Tarmix.ini") << "[LANGUAGE]: 1\r\n";
    }
    void TearDown() override {
        stopSimulator();
        fs::remove_all(folder);
    }

    // An image of `size` bytes for the Alder-Panel's application area.
    std::string makeImage(const std::string& name, uint32_t size) {
        const std::string path = (folder / name).string();
        std::string error;
        EXPECT_EQ(sim::MakeRomImage(path, kAlderStart, size, {}, error), 0) << error;
        return path;
    }

    // Starts `count` controllers; their devices land in `devices`, followed by the second
    // devices of the `twins` controllers that answer on two.
    void startSimulator(size_t count, const std::vector<std::string>& arguments, size_t twins = 0) {
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        std::vector<std::string> words{
            TARMIX_SIM_PATH,           "--count",   std::to_string(count),        "--state",
            (folder / "sim").string(), "--control", (folder / "control").string()};
        words.insert(words.end(), arguments.begin(), arguments.end());
        simulator_ = fork();
        if (simulator_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            std::vector<char*> argv;
            for (std::string& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        simulatorOut_ = out[0];
        count_ = count;
        devices.clear();
        for (size_t i = 0; i < count + twins; ++i) {
            const std::string device = simulatorLine(10s);
            ASSERT_FALSE(device.empty()) << "tarmix-sim named no device";
            devices.push_back(device);
        }
    }

    // The next line the simulator prints; empty when none comes in time.
    std::string simulatorLine(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (simulatorPending_.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd wait{simulatorOut_, POLLIN, 0};
            if (left.count() <= 0 || poll(&wait, 1, int(left.count())) <= 0) return "";
            char buffer[256];
            const ssize_t got = read(simulatorOut_, buffer, sizeof buffer);
            if (got <= 0) return "";
            simulatorPending_.append(buffer, size_t(got));
        }
        const size_t end_ = simulatorPending_.find('\n');
        std::string line = simulatorPending_.substr(0, end_);
        simulatorPending_.erase(0, end_ + 1);
        return line;
    }
    // Waits until the simulator has printed every one of `lines`, in any order.
    bool waitForSimulator(std::vector<std::string> lines) {
        for (std::string got; !lines.empty() && !(got = simulatorLine(30s)).empty();)
            std::erase(lines, got);
        return lines.empty();
    }
    // One line into the simulator's control pipe ("unplug 2", "plug 2").
    void control(const std::string& line) {
        const int fd = open((folder / "control").c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        const std::string text = line + "\n";
        EXPECT_EQ(write(fd, text.data(), text.size()), ssize_t(text.size()));
        close(fd);
    }
    // Stops the simulator; it saves every controller's state.
    void stopSimulator() {
        if (simulator_ <= 0) return;
        kill(simulator_, SIGTERM);
        waitpid(simulator_, nullptr, 0);
        close(simulatorOut_);
        simulator_ = -1;
    }
    // The first `size` bytes of controller `unit`'s application area, as last saved.
    std::vector<uint8_t> flash(int unit, const char* model, uint32_t size = 0x8000) {
        const fs::path state = count_ > 1 ? folder / "sim" / std::to_string(unit) : folder / "sim";
        sim::Memory memory(*sim::findModel(model));
        std::string error;
        memory.loadFlash(state / "memory.srec", error);
        return memory.read(kAlderStart, size);
    }

    // Starts tarmix with the arguments and the test's folders; stdout and stderr go to files.
    pid_t startTarmix(const std::vector<std::string>& arguments,
                      const std::vector<std::pair<std::string, std::string>>& environment = {}) {
        std::vector<std::string> words{TARMIX_PATH};
        words.insert(words.end(), arguments.begin(), arguments.end());
        const pid_t child = fork();
        if (child == 0) {
            setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
            setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
            for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                unsetenv(variable);
            for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
            dup2(open((folder / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDOUT_FILENO);
            dup2(open((folder / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
            std::vector<char*> argv;
            for (std::string& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        return child;
    }
    Outcome finishTarmix(pid_t child, std::chrono::milliseconds limit) {
        Outcome outcome;
        int status = 0;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                ADD_FAILURE() << "tarmix did not end";
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
        if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
        outcome.out = readFile(folder / "out");
        outcome.err = readFile(folder / "err");
        return outcome;
    }

    static bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
    // Waits for a line of tarmix's stdout that holds both texts.
    bool waitForOutput(const std::string& first, const std::string& second,
                       std::chrono::milliseconds limit) {
        return waitFor(
            [&] {
                std::istringstream lines(readFile(folder / "out"));
                for (std::string line; std::getline(lines, line);)
                    if (line.find(first) != std::string::npos &&
                        line.find(second) != std::string::npos)
                        return true;
                return false;
            },
            limit);
    }

    // The JSON events of one name, in order.
    static std::vector<nlohmann::json> events(const std::string& out, const std::string& name) {
        std::vector<nlohmann::json> found;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            const auto event = nlohmann::json::parse(line, nullptr, false);
            if (event.is_object() && event.value("event", "") == name) found.push_back(event);
        }
        return found;
    }
    // The record's lines; a line that is not JSON fails the test.
    static std::vector<nlohmann::json> recordLines(const std::string& path) {
        std::vector<nlohmann::json> lines;
        std::istringstream text(readFile(path));
        for (std::string line; std::getline(text, line);) {
            lines.push_back(nlohmann::json::parse(line, nullptr, false));
            EXPECT_TRUE(lines.back().is_object()) << line;
        }
        return lines;
    }

    static constexpr uint32_t kAlderStart = 0x110000;
    fs::path folder;
    std::vector<std::string> devices;

  private:
    pid_t simulator_ = -1;
    int simulatorOut_ = -1;
    std::string simulatorPending_;
    size_t count_ = 0;
};

}  // namespace tarmix::testing
