#include "app/cli/simulator_launcher.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>

#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/clock.h"
#include "platform/program_folder.h"

namespace tarmix {

namespace {

constexpr char kSimulatorName[] = "tarmix-sim";
// How long the simulator may take to name its device, and to stop.
constexpr Millis kStartTimeout{10000};
constexpr Millis kStopTimeout{5000};
// How long making the demo images may take.
constexpr Millis kMakeLibraryTimeout{20000};

// Waits for the child to end, killing it after `timeout`; its exit status, -1 when killed.
int waitForChild(pid_t child, Millis timeout) {
    const Millis deadline = systemClock().now() + timeout;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (systemClock().now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            return -1;
        }
        systemClock().sleep(Millis{10});
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads the next line the child prints, before the deadline.
bool readLine(int fd, std::string& line, Millis deadline) {
    line.clear();
    char c;
    while (true) {
        const Millis left = deadline - systemClock().now();
        if (left.count() <= 0) return false;
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, int(left.count())) <= 0) continue;
        ssize_t got = read(fd, &c, 1);
        if (got <= 0) return false;
        if (c == '\n') return !line.empty();
        line += c;
    }
}

// Starts the simulator with `words` (the program first), its standard output into a pipe
// whose reading end `output` receives. The child's id; -1 when it could not be started.
pid_t startChild(std::vector<std::string> words, int& output) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return -1;
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    output = pipeEnds[0];
    if (child < 0) close(output);
    return child;
}

std::string simulatorProgram(const std::string& executable) {
    return executable.empty() ? findSimulator(executableFolder().string()) : executable;
}

}  // namespace

std::vector<std::string> SimulatorModels(const std::string& executable) {
    int output = -1;
    const pid_t child = startChild({simulatorProgram(executable), "--list-models"}, output);
    if (child < 0) return {};
    std::vector<std::string> models;
    const Millis deadline = systemClock().now() + kStartTimeout;
    for (std::string line; readLine(output, line, deadline);) models.push_back(line);
    close(output);
    waitForChild(child, kStopTimeout);
    return models;
}

std::string findSimulator(const std::string& folder) {
    const std::filesystem::path beside = std::filesystem::path(folder) / kSimulatorName;
    return access(beside.c_str(), X_OK) == 0 ? beside.string() : kSimulatorName;
}

std::string SimulatorLauncher::executable() const {
    return executable_.empty() ? findSimulator(executableFolder().string()) : executable_;
}

bool SimulatorLauncher::start(const std::string& model,
                              const std::vector<std::string>& extraArguments, std::string& error) {
    stop();
    std::vector<std::string> words{executable(), "--model", model};
    words.insert(words.end(), extraArguments.begin(), extraArguments.end());
    int output = -1;
    child_ = startChild(words, output);
    if (child_ < 0) {
        error = FormatText(text::kCannotStart, std::strerror(errno));
        return false;
    }
    std::string line;
    const bool named = readLine(output, line, systemClock().now() + kStartTimeout);
    close(output);
    if (!named) {
        error = FormatText(text::kDidNotStart, words[0]);
        stop();
        return false;
    }
    devicePath_ = line;
    return true;
}

void SimulatorLauncher::stop() {
    if (child_ <= 0) return;
    kill(child_, SIGTERM);
    waitForChild(child_, kStopTimeout);
    child_ = -1;
    devicePath_.clear();
}

DemoLibrary::~DemoLibrary() {
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
}

bool DemoLibrary::make(const std::string& executable, const std::string& model,
                       std::string& error) {
    std::string root = (std::filesystem::temp_directory_path() / "tarmix-library-XXXXXX").string();
    if (mkdtemp(root.data()) == nullptr) {
        error = FormatText(text::kNoDemoFolder, std::strerror(errno));
        return false;
    }
    root_ = root;
    const std::filesystem::path folder = root_ / "Library";
    std::vector<std::string> words{executable, "make-library", "--model",
                                   model,      "-o",           folder.string()};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (child < 0 || waitForChild(child, kMakeLibraryTimeout) != 0) {
        error = FormatText(text::kNoDemoImages, model);
        return false;
    }
    folder_ = folder;
    return true;
}

}  // namespace tarmix
