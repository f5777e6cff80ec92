// The production line: four stations programming the same 256 KiB image at once through
// paced simulated lines (tarmix-sim --count 4 --pace), against one station alone, both as
// the real tarmix process runs them. Prints the wall time of the gang over the wall time of
// the single station (the stations should not slow each other down), and the CPU share of
// the gang process (its CPU seconds over its wall time).
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_line.h"
#include "sim/image_maker.h"

namespace {

using namespace tarmix;
namespace fs = std::filesystem;

constexpr uint32_t kAlderApplicationStart = 0x110000;
constexpr uint32_t kImageSize = 256 * 1024;
constexpr int kStations = 4;

struct Run {
    double wall = -1;  // seconds; negative when the run failed
    double cpu = 0;    // the tarmix process's CPU seconds
};

// Starts tarmix-sim with `count` paced controllers; their devices. Empty on failure.
std::vector<std::string> startLine(int count, pid_t& simulator) {
    int out[2];
    if (pipe(out) != 0) return {};
    simulator = fork();
    if (simulator == 0) {
        dup2(out[1], STDOUT_FILENO);
        execl(TARMIX_SIM_PATH, TARMIX_SIM_PATH, "--count", std::to_string(count).c_str(), "--model",
              "alder", "--pace", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    FILE* lines = fdopen(out[0], "r");
    std::vector<std::string> devices;
    char line[256];
    while (int(devices.size()) < count && lines && std::fgets(line, sizeof line, lines)) {
        devices.emplace_back(line);
        devices.back().pop_back();  // the line end
    }
    return devices;
}

Run programme(int count, const std::string& image, const fs::path& folder) {
    pid_t simulator = -1;
    const std::vector<std::string> devices = startLine(count, simulator);
    Run run;
    if (int(devices.size()) == count) {
        std::vector<std::string> words{TARMIX_PATH, "--headless", "--gang", "--baud", "115200"};
        for (const std::string& device : devices) words.insert(words.end(), {"--port", device});
        words.insert(words.end(), {"/p", image});
        const auto start = std::chrono::steady_clock::now();
        const pid_t tarmix = fork();
        if (tarmix == 0) {
            setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
            setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
            freopen("/dev/null", "w", stderr);
            std::vector<char*> argv;
            for (std::string& word : words) argv.push_back(word.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        wait4(tarmix, &status, 0, &usage);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            run.wall = took.count();
            run.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        }
    }
    if (simulator > 0) {
        kill(simulator, SIGTERM);
        waitpid(simulator, nullptr, 0);
    }
    return run;
}

}  // namespace

int main() {
    const fs::path folder = bench::ScratchFolder("gang");
    fs::create_directories(folder / "config" / "tarmix");
    const std::string image = (folder / "app.rom").string();
    std::string error;
    if (sim::MakeRomImage(image, kAlderApplicationStart, kImageSize, {}, error) != 0) {
        std::fprintf(stderr, "gang bench: %s\n", error.c_str());
        return 1;
    }
    const Run alone = programme(1, image, folder);
    const Run gang = programme(kStations, image, folder);
    fs::remove_all(folder);
    if (alone.wall < 0 || gang.wall < 0) {
        std::printf("gang of %d stations, 256 KiB each: ratio=failed\n", kStations);
        return 1;
    }
    std::printf(
        "gang of %d stations, 256 KiB each at 115200: ratio=%.3f (target <= 1.15) "
        "gang=%.1fs one station=%.1fs; gang CPU share=%.1f%% of one core\n",
        kStations, gang.wall / alone.wall, gang.wall, alone.wall, 100.0 * gang.cpu / gang.wall);
    return 0;
}
