// Listing throughput through tarmix-sim with a paced line at 57600 baud, where listings run:
// wall time of reading a folder of 2000 files ("dir", collected and parsed) divided by the
// wire time of its answer (10 bit times per byte received).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench_line.h"
#include "ffs/drive_listing.h"

namespace {

using namespace tarmix;

constexpr int kFiles = 2000;

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path state = bench::ScratchFolder("tarmix-bench-listing");
    const fs::path folder = state / "drives" / "A" / "BIG";
    fs::create_directories(folder);
    for (int i = 0; i < kFiles; ++i)
        std::ofstream(folder / ("FILE" + std::to_string(i) + ".DAT")) << i;

    bench::SimulatedLine line;
    if (!line.start("alder", {"--state", state.string()})) return 1;
    bench::LineBytes counter;
    line.serial().setObserver(&counter);
    MonitorExchange& monitor = line.monitor();

    const auto start = std::chrono::steady_clock::now();
    const FolderListing listing = ReadFolder(monitor, "A:\\BIG\\");
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    line.serial().setObserver(nullptr);
    line.stop();
    fs::remove_all(state);
    if (listing.collected != Collected::Complete || listing.parse.rows.size() != size_t(kFiles)) {
        std::printf("listing_57600_%d_files ratio=failed (%zu rows)\n", kFiles,
                    listing.parse.rows.size());
        return 1;
    }
    const double wire = bench::WireSeconds(counter.received, CSerial::kLinkBaud);
    std::printf(
        "listing_57600_%d_files ratio=%.3f wall=%.2fs wire=%.2fs answer=%zu bytes "
        "(lower is better, 1.00 is the wire)\n",
        kFiles, took.count() / wire, took.count(), wire, counter.received);
    return 0;
}
