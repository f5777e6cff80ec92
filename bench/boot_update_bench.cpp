// Boot loader update throughput through tarmix-sim with a paced line: wall time of a whole
// update of the largest boot image (the VANTIX boot loader, 256 KiB typed as S-records at
// 57600 baud, then erase, program and restart) divided by the time the bytes the PC sent
// need on the wire (10 bit times per byte). A second update on a fresh controller reads the
// image back from RAM before the erase (--verify); its line gives its wall time against the
// same wire time and against the first update's wall time. A third one types the image at
// 115200 baud; its line gives its wall time against the wire time of its bytes at 57600 and
// against the first update's wall time, so that a loaded machine slows both alike.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "bench_line.h"
#include "flash/boot_loader_update.h"
#include "sim/boot_library.h"

namespace {

using namespace tarmix;

constexpr char kModel[] = "vantix";

struct Run {
    double wallSeconds = 0;
    size_t sent = 0;
};

// One whole update on a fresh simulated controller; nullopt when it failed.
std::optional<Run> update(const std::filesystem::path& library, bool verify,
                          uint32_t baudRate = CSerial::kLinkBaud) {
    bench::SimulatedLine line;
    if (!line.start(kModel)) return std::nullopt;
    DeviceDescription device = line.identify();
    bench::LineBytes bytes;
    line.serial().setObserver(&bytes);
    bench::QuietView view;
    BootLoaderUpdate update({line.monitor(), view, device, library, false, device.hardwareModel,
                             verify, false, baudRate});
    const auto start = std::chrono::steady_clock::now();
    const int result = update.UpdateBootLoader();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    line.serial().setObserver(nullptr);
    if (result != 0) return std::nullopt;
    return Run{wall.count(), bytes.sent};
}

}  // namespace

int main() {
    const auto folder = bench::ScratchFolder("tarmix-bench-boot-update");
    std::string error;
    const sim::ModelSpec& simulated = *sim::findModel(kModel);
    if (sim::MakeBootLibrary(simulated, simulated.firmware + 1, simulated.firmware, folder,
                             error) != 0) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 1;
    }
    const std::optional<Run> plain = update(folder, false);
    const std::optional<Run> verified = plain ? update(folder, true) : std::nullopt;
    const std::optional<Run> fast = verified ? update(folder, false, 115200) : std::nullopt;
    std::filesystem::remove_all(folder);
    if (!plain || !verified || !fast) {
        std::printf("boot_update_%s ratio=failed\n", kModel);
        return 1;
    }
    const double wire = bench::WireSeconds(plain->sent, CSerial::kLinkBaud);
    std::printf(
        "boot_update_%s_%zuB_sent ratio=%.3f wall=%.2fs wire=%.2fs "
        "(lower is better, 1.00 is the wire)\n",
        kModel, plain->sent, plain->wallSeconds / wire, plain->wallSeconds, wire);
    std::printf(
        "boot_update_%s_verify ratio=%.3f wall=%.2fs cost=%.3f "
        "(the read back before the erase; cost is its wall time over the update's without it)\n",
        kModel, verified->wallSeconds / wire, verified->wallSeconds,
        verified->wallSeconds / plain->wallSeconds);
    const double fastWire = bench::WireSeconds(fast->sent, CSerial::kLinkBaud);
    std::printf(
        "boot_update_%s_115200 ratio=%.3f wall=%.2fs wire_at_57600=%.2fs vs_57600=%.3f "
        "(the image typed at 115200; lower is better, target 0.6; vs_57600 is its wall time "
        "over the first update's, the same controller at 57600 in this run)\n",
        kModel, fast->wallSeconds / fastWire, fast->wallSeconds, fastWire,
        fast->wallSeconds / plain->wallSeconds);
    return 0;
}
