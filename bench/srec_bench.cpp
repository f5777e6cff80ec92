// Reading a 16 MiB application image the way a download does (extent scan, then block
// assembly), against the srecord package's srec_cat reading the same file. Prints:
//   srec_read ratio=X.XX ours=N.NMB/s srec_cat=N.NMB/s (ratio = ours / srec_cat, higher is better)
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "flash/rom_image.h"
#include "sim/image_maker.h"

extern char** environ;

namespace {

using Seconds = std::chrono::duration<double>;

constexpr uint32_t kLoadAddress = 0x100000;
constexpr uint32_t kImageBytes = 16u << 20;
constexpr int kRuns = 3;  // the best run counts: the others saw a busier machine

class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarmix_bench_XXXXXX");
        if (::mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

template <typename Run>
double BestSeconds(Run&& run) {
    double best = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!run()) return -1;
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

bool ReadAsDownload(const std::string& path) {
    tarmix::ImageExtent extent;
    if (!tarmix::ScanImageExtent(path, extent).ok()) return false;
    uint64_t bytes = 0;
    const auto result =
        tarmix::AssembleBlocks(path, extent.lowest, tarmix::kSerialBlockLimit, false,
                               [&bytes](uint32_t, std::span<const uint8_t> block) {
                                   bytes += block.size() + block[0];  // touch the data
                                   return 0;
                               });
    return result.ok() && bytes >= kImageBytes;
}

bool RunSrecCat(const std::string& path) {
    std::string program = "srec_cat", out = "-o", sink = "/dev/null", file = path;
    char* argv[] = {program.data(), file.data(), out.data(), sink.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "srec_cat", nullptr, nullptr, argv, environ) != 0) return false;
    int status = 0;
    return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main() {
    TempDir dir;
    if (dir.path().empty()) {
        std::fprintf(stderr, "srec_read: cannot create a temporary folder\n");
        return 1;
    }
    const std::string image = (dir.path() / "bench.rom").string();
    std::string error;
    if (tarmix::sim::MakeRomImage(image, kLoadAddress, kImageBytes, {}, error) != 0) {
        std::fprintf(stderr, "srec_read: %s\n", error.c_str());
        return 1;
    }
    const double megabytes = static_cast<double>(std::filesystem::file_size(image)) / 1e6;
    const double ours = BestSeconds([&] { return ReadAsDownload(image); });
    const double theirs = BestSeconds([&] { return RunSrecCat(image); });
    if (ours <= 0) {
        std::fprintf(stderr, "srec_read: reading the image failed\n");
        return 1;
    }
    if (theirs <= 0) {
        std::printf("srec_read ratio=n/a ours=%.1fMB/s srec_cat=unavailable\n", megabytes / ours);
        return 1;
    }
    std::printf(
        "srec_read ratio=%.2f ours=%.1fMB/s srec_cat=%.1fMB/s "
        "(ratio = our throughput / srec_cat's, higher is better; %.1f MB file)\n",
        theirs / ours, megabytes / ours, megabytes / theirs, megabytes);
    return 0;
}
