// Boot loader update throughput through tarmix-sim with a paced line: wall time of a whole
// update of the largest boot image (the VANTIX boot loader, 256 KiB typed as S-records at
// 57600 baud, then erase, program and restart) divided by the time the bytes the PC sent
// need on the wire (10 bit times per byte).
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "bench_line.h"
#include "flash/boot_loader_update.h"
#include "sim/boot_library.h"

namespace {

using namespace tarmix;

constexpr char kModel[] = "vantix";

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
    bench::SimulatedLine line;
    if (!line.start(kModel)) return 1;
    DeviceDescription device = line.identify();
    bench::LineBytes bytes;
    line.serial().setObserver(&bytes);

    bench::QuietView view;
    BootLoaderUpdate update({line.monitor(), view, device, folder, false, device.hardwareModel});
    const auto start = std::chrono::steady_clock::now();
    const int result = update.UpdateBootLoader();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    line.serial().setObserver(nullptr);
    std::filesystem::remove_all(folder);
    if (result != 0) {
        std::printf("boot_update_%s ratio=failed\n", kModel);
        return 1;
    }
    const double wire = bench::WireSeconds(bytes.sent, CSerial::kLinkBaud);
    std::printf(
        "boot_update_%s_%zuB_sent ratio=%.3f wall=%.2fs wire=%.2fs "
        "(lower is better, 1.00 is the wire)\n",
        kModel, bytes.sent, wall.count() / wire, wall.count(), wire);
    return 0;
}
