// 200 downloads in a row through one running tarmix (a batch script of 200 "program"
// lines, headless, against its simulated controller), with the process's resident memory
// and open descriptors sampled all along: neither may grow.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/image_maker.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

constexpr int kDownloads = 200;
constexpr int kSampleMs = 100;
constexpr int kGiveUpMs = 15 * 60 * 1000;

struct Sample {
    long rssKb = 0;
    long descriptors = 0;
};

std::optional<Sample> sample(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    Sample taken;
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) taken.rssKb = std::stol(line.substr(6));
    DIR* fds = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    if (!fds || taken.rssKb == 0) {
        if (fds) closedir(fds);
        return std::nullopt;
    }
    while (const dirent* entry = readdir(fds)) taken.descriptors += entry->d_name[0] != '.';
    closedir(fds);
    return taken;
}

// The largest figure among the samples in [from, to).
long peak(const std::vector<Sample>& samples, size_t from, size_t to, long Sample::*figure) {
    long most = 0;
    for (size_t i = from; i < to; ++i) most = std::max(most, samples[i].*figure);
    return most;
}

bool sanitized() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

TEST(Soak, TwoHundredDownloadsInOneProgramNeitherGrowMemoryNorDescriptors) {
    const fs::path folder = fs::temp_directory_path() / ("tarmix_soak_" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "config" / "tarmix");
    std::ofstream(folder / "config" / "tarmix" / "Tarmix.ini") << "[LANGUAGE]: 1\r\n";
    std::string error;
    ASSERT_EQ(sim::MakeRomImage((folder / "app.rom").string(), 0x110000, 2048, {}, error), 0)
        << error;
    {
        std::ofstream script(folder / "soak.rom", std::ios::binary);
        for (int i = 0; i < kDownloads; ++i) script << "program app.rom\r\n";
    }

    const fs::path err = folder / "stderr";
    const pid_t child = fork();
    if (child == 0) {
        setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        setenv("TMPDIR", folder.c_str(), 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), STDERR_FILENO);
        dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
        const std::string script = (folder / "soak.rom").string();
        const std::string state = (folder / "device").string();
        execl(TARMIX_PATH, TARMIX_PATH, "--headless", "--simulate", "--sim-state", state.c_str(),
              "/p", script.c_str(), "COM1", "57600", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::vector<Sample> samples;
    int status = 0;
    for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; waited += kSampleMs) {
        if (waited > kGiveUpMs) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            FAIL() << "tarmix did not finish the script";
        }
        if (const std::optional<Sample> taken = sample(child)) samples.push_back(*taken);
        usleep(kSampleMs * 1000);
    }
    std::stringstream log;
    log << std::ifstream(err).rdbuf();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << log.str();
    size_t downloads = 0;
    for (size_t at = 0; (at = log.str().find("Download the application", at)) != std::string::npos;
         ++at)
        ++downloads;
    EXPECT_EQ(downloads, size_t(kDownloads));

    // The first third includes the start-up; the last third must not exceed it.
    ASSERT_GE(samples.size(), 30u);
    const size_t third = samples.size() / 3;
    const size_t end = samples.size();
    EXPECT_LE(peak(samples, end - third, end, &Sample::descriptors),
              peak(samples, 0, third, &Sample::descriptors));
    if (!sanitized()) {  // the sanitizer's quarantine holds freed memory for a while
        constexpr long kNoiseKb = 1024;
        EXPECT_LE(peak(samples, end - third, end, &Sample::rssKb),
                  peak(samples, 0, third, &Sample::rssKb) + kNoiseKb);
    }
    std::cout << "soak: " << samples.size() << " samples; RSS first third "
              << peak(samples, 0, third, &Sample::rssKb) << " kB, last third "
              << peak(samples, end - third, end, &Sample::rssKb) << " kB; descriptors "
              << peak(samples, 0, third, &Sample::descriptors) << " / "
              << peak(samples, end - third, end, &Sample::descriptors) << "\n";
    fs::remove_all(folder);
}

}  // namespace
}  // namespace tarmix
