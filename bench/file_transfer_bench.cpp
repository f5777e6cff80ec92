// File transfer throughput through tarmix-sim with a paced line at 115200: 1 MiB to the
// device and back, each divided by the wire's lower bound for what crossed the line. The
// floor counts every byte both ways (command, frames with their lengths and checksums, the
// acknowledgements, the prompt), since each frame waits for its answer before the next.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "bench_line.h"
#include "ffs/file_transfer.h"
#include "link/baud_switch.h"

namespace {

using namespace tarmix;
namespace fs = std::filesystem;

constexpr uint32_t kBaud = 115200;
constexpr size_t kFileSize = 1024 * 1024;

void report(const char* name, double wall, size_t lineBytes) {
    const double wire = bench::WireSeconds(lineBytes, kBaud);
    std::printf(
        "%s_%u_%zuKiB ratio=%.3f wall=%.2fs wire_lower_bound=%.2fs "
        "(lower is better, 1.00 is the wire)\n",
        name, kBaud, kFileSize / 1024, wall / wire, wall, wire);
    std::fflush(stdout);
}

}  // namespace

int main() {
    const fs::path folder = bench::ScratchFolder("tarmix-bench-files");
    {
        std::ofstream out(folder / "one.bin", std::ios::binary);
        for (size_t i = 0; i < kFileSize; ++i) out.put(char((i * 131 + i / 509) & 0xff));
    }
    bench::SimulatedLine simulated;
    if (!simulated.start("alder", {"--state", (folder / "state").string()})) return 1;
    MonitorExchange& monitor = simulated.monitor();
    const DeviceDescription device = simulated.identify();

    bench::QuietView view(true);
    bool ask = false;
    FileTransfer transfer({monitor, view, device, ask, {}});
    BaudSwitch baud(monitor, view, kBaud);
    RaisedBaudRate raised(baud);
    bench::LineBytes line;
    simulated.serial().setObserver(&line);

    int status = 0;
    const auto timed = [&](const char* name, auto&& run) {
        line.clear();
        const auto start = std::chrono::steady_clock::now();
        const int result = run();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        if (result != 0) {
            std::printf("%s_%u_%zuKiB ratio=failed\n", name, kBaud, kFileSize / 1024);
            status = 1;
            return;
        }
        report(name, took.count(), line.both());
    };
    timed("file_to_device",
          [&] { return transfer.DownloadFile((folder / "one.bin").string(), "A:\\", "ONE.BIN"); });
    timed("file_from_device", [&] {
        const int result = transfer.UploadFile((folder / "back.bin").string(), "A:\\ONE.BIN");
        std::ifstream one(folder / "one.bin", std::ios::binary),
            back(folder / "back.bin", std::ios::binary);
        const bool same = std::equal(std::istreambuf_iterator<char>(one), {},
                                     std::istreambuf_iterator<char>(back), {});
        return result == 0 && same ? 0 : 1;
    });
    simulated.serial().setObserver(nullptr);
    fs::remove_all(folder);
    return status;
}
