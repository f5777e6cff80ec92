// Download throughput through tarmix-sim with a paced line: wall time of a whole application
// download (baud change, erase, blocks, capability step, restore) divided by the wire's
// lower bound, the time the image's bytes alone need on the line (10 bit times per byte).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "app/simulator_launcher.h"
#include "flash/download.h"
#include "link/identify.h"
#include "link/wire_trace.h"
#include "platform/termios_port.h"
#include "sim/image_maker.h"

namespace {

using namespace tarmix;
using namespace std::chrono_literals;

class QuietView final : public View {
  public:
    void setStatus(const std::string&) override {}
    void setProgressRange(int, int) override {}
    void setProgress(int) override {}
    void showMessage(const std::string& text, const std::string&, MessageIcon) override {
        std::fprintf(stderr, "bench: message: %s\n", text.c_str());
    }
    bool askYesNo(const std::string&, const std::string&) override { return false; }
    void setWaitCursor(bool) override {}
};

constexpr uint32_t kAlderApplicationStart = 0x110000;

// Seconds for one download of `size` bytes at `baud`, or a negative number on failure.
double timeDownload(const std::string& image, uint32_t baud) {
    SimulatorLauncher simulator;
    simulator.setExecutable(TARMIX_SIM_PATH);
    std::string error;
    if (!simulator.start("alder", {"--pace"}, error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return -1;
    }
    PortMap map;
    map.setCom(0, {simulator.devicePath(), false});
    CSerial serial(termiosPortFactory(map), systemClock());
    CParallel parallel(map);
    if (serial.Open("COM1") != 0 || serial.Configure(CSerial::kLinkBaud) != 0) return -1;
    MonitorExchange monitor(serial);
    // TARMIX_BENCH_TRACE=FILE keeps the wire trace of the last run, to see where time goes.
    std::ofstream traceFile;
    std::optional<WireTrace> trace;
    if (const char* path = std::getenv("TARMIX_BENCH_TRACE")) {
        traceFile.open(path, std::ios::trunc);
        trace.emplace(traceFile, systemClock().now());
        serial.setObserver(&*trace);
    }

    DeviceDescription device;
    identifyModel(monitor.CollectAnswer("please answer me", 1000, 100ms), device, "");
    applyVersion(device, parseVersionAnswer(monitor.CollectAnswer("tell version", 1000, 100ms)));
    applyDrives(device, parseDrivesAnswer(monitor.CollectAnswer("tell drives", 1000, 100ms)));
    device.deviceIdentified = true;

    QuietView view;
    DownloadFigures figures;
    DownloadOptions options;
    options.baudRate = baud;
    ApplicationDownload download({monitor, parallel, view, device, options, figures});
    const auto start = std::chrono::steady_clock::now();
    const int result = download.DownloadApplication(image);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return result == 0 ? took.count() : -1;
}

}  // namespace

int main() {
    const auto folder = std::filesystem::temp_directory_path() / "tarmix-bench-download";
    std::filesystem::create_directories(folder);
    int status = 0;
    for (uint32_t size : {256u * 1024, 1024u * 1024}) {
        const std::string image = (folder / ("image-" + std::to_string(size) + ".rom")).string();
        std::string error;
        if (sim::MakeRomImage(image, kAlderApplicationStart, size, {}, error) != 0) {
            std::fprintf(stderr, "bench: %s\n", error.c_str());
            return 1;
        }
        for (uint32_t baud : {115200u, 230400u}) {
            const double wall = timeDownload(image, baud);
            const double wire = double(size) * 10 / baud;
            if (wall < 0) {
                std::printf("download_%u_%uKiB ratio=failed\n", baud, size / 1024);
                status = 1;
                continue;
            }
            std::printf(
                "download_%u_%uKiB ratio=%.3f wall=%.2fs wire_lower_bound=%.2fs "
                "(lower is better, 1.00 is the wire)\n",
                baud, size / 1024, wall / wire, wall, wire);
            std::fflush(stdout);
        }
    }
    std::filesystem::remove_all(folder);
    return status;
}
