// Download throughput through tarmix-sim with a paced line: wall time of a whole application
// download (baud change, erase, blocks, capability step, restore) divided by the wire's
// lower bound, the time the image's bytes alone need on the line (10 bit times per byte).
// The last line downloads an image whose second half is erased flash (0xFF): those blocks
// need not cross the line, so its ratio falls towards one half.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "bench_line.h"
#include "config/capability.h"
#include "flash/download.h"
#include "link/wire_trace.h"
#include "sim/image_maker.h"

namespace {

using namespace tarmix;
namespace fs = std::filesystem;

constexpr uint32_t kAlderApplicationStart = 0x110000;
// The fastest rate the model runs (its monitor has no 230400).
constexpr uint32_t kBaud = 115200;

// Seconds for one download of `image` at `baud`, or a negative number on failure.
double timeDownload(const std::string& image, uint32_t baud) {
    bench::SimulatedLine line;
    if (!line.start("alder")) return -1;
    // TARMIX_BENCH_TRACE=FILE keeps the wire trace of the last run, to see where time goes.
    std::ofstream traceFile;
    std::optional<WireTrace> trace;
    if (const char* path = std::getenv("TARMIX_BENCH_TRACE")) {
        traceFile.open(path, std::ios::trunc);
        trace.emplace(traceFile, systemClock().now());
        line.serial().setObserver(&*trace);
    }
    const DeviceDescription device = line.identify();

    bench::QuietView view;
    CParallel parallel{PortMap{}};
    DownloadFigures figures;
    DownloadOptions options;
    options.baudRate = baud;
    ApplicationDownload download(
        {line.monitor(), parallel, view, device, options, figures, ClearEepromDataLength});
    const auto start = std::chrono::steady_clock::now();
    const int result = download.DownloadApplication(image);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    line.serial().setObserver(nullptr);
    return result == 0 ? took.count() : -1;
}

// Prints the line of one download; false when it failed.
bool report(const std::string& name, const std::string& image, uint32_t size, uint32_t baud) {
    const double wall = timeDownload(image, baud);
    if (wall < 0) {
        std::printf("%s ratio=failed\n", name.c_str());
        return false;
    }
    const double wire = bench::WireSeconds(size, baud);
    std::printf(
        "%s ratio=%.3f wall=%.2fs wire_lower_bound=%.2fs "
        "(lower is better, 1.00 is the wire of the whole image)\n",
        name.c_str(), wall / wire, wall, wire);
    std::fflush(stdout);
    return true;
}

}  // namespace

int main() {
    const fs::path folder = bench::ScratchFolder("tarmix-bench-download");
    bool ok = true;
    std::string error;
    for (uint32_t size : {256u * 1024, 1024u * 1024}) {
        const std::string image = (folder / ("image-" + std::to_string(size) + ".rom")).string();
        if (sim::MakeRomImage(image, kAlderApplicationStart, size, {}, error) != 0) {
            std::fprintf(stderr, "bench: %s\n", error.c_str());
            return 1;
        }
        ok &= report("download_115200_" + std::to_string(size / 1024) + "KiB", image, size, kBaud);
    }
    constexpr uint32_t kHalfErasedSize = 1024 * 1024;
    std::vector<uint8_t> bytes = sim::MakeImageBytes(kAlderApplicationStart, kHalfErasedSize, {});
    std::fill(bytes.begin() + kHalfErasedSize / 2, bytes.end(), 0xFF);
    const std::string halfErased = (folder / "half-erased.rom").string();
    if (sim::WriteRomImage(halfErased, kAlderApplicationStart, bytes, {}, error) != 0) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 1;
    }
    ok &= report("download_115200_1024KiB_half_0xFF", halfErased, kHalfErasedSize, kBaud);
    fs::remove_all(folder);
    return ok ? 0 : 1;
}
