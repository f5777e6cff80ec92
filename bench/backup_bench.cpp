// Whole-controller backup through tarmix-sim with a paced line at 115200: the application
// (1 MiB) read back into Application.rom, 2 MiB of files in folders on drive A: copied, the
// EEPROM saved, Reload.rom and the manifest written. The wall time is divided by the wire time of
// every byte that crossed the line in either direction (10 bit times per byte), and also shown
// against the payload alone.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "batch/device_backup.h"
#include "bench_line.h"
#include "sim/image_maker.h"

namespace {

using namespace tarmix;
namespace fs = std::filesystem;

constexpr uint32_t kApplicationStart = 0x110000;
constexpr uint32_t kApplicationSize = 1024 * 1024;
constexpr uint32_t kBaud = 115200;
constexpr size_t kEepromArea = 0x2000 - 0x100;
constexpr size_t kFileSize = 128 * 1024;
constexpr int kFolders = 4, kFilesPerFolder = 4;  // 2 MiB of files in all

// A populated alder controller: the application in flash, files on drive A:, EEPROM data in
// use.
bool populate(const fs::path& state) {
    fs::create_directories(state);
    std::string error;
    if (sim::MakeRomImage((state / "memory.srec").string(), kApplicationStart, kApplicationSize, {},
                          error) != 0) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return false;
    }
    std::ofstream(state / "firmware.txt") << "40\n";
    std::ofstream(state / "drives.txt") << "3072\n0\n0\n";
    std::string contents(kFileSize, '\0');
    for (size_t i = 0; i < contents.size(); ++i) contents[i] = char(i * 7 + (i >> 9));
    for (int folder = 0; folder < kFolders; ++folder) {
        const fs::path path = state / "drives" / "A" / ("LOG" + std::to_string(folder));
        fs::create_directories(path);
        for (int file = 0; file < kFilesPerFolder; ++file)
            std::ofstream(path / ("DAY" + std::to_string(file) + ".BIN"), std::ios::binary)
                << contents;
    }
    std::ofstream(state / "caps.txt") << "1\n1024\n8192\n0\n0\n";
    std::ofstream(state / "eeprom.bin", std::ios::binary) << std::string(8192, '\x5a');
    return true;
}

}  // namespace

int main() {
    // A folder of this run's own: other runs may be under way on the same machine.
    const fs::path folder = bench::ScratchFolder("tarmix-bench-backup");
    if (!populate(folder / "state")) return 1;
    bench::SimulatedLine line;
    if (!line.start("alder", {"--state", (folder / "state").string()})) return 1;
    MonitorExchange& monitor = line.monitor();
    DeviceDescription device = line.identify();

    bench::QuietView view(true);
    BaudSwitch baud(monitor, view, kBaud);
    bench::LineBytes wire;
    line.serial().setObserver(&wire);
    const auto start = std::chrono::steady_clock::now();
    bool askBeforeOverwrite = false;
    DeviceBackup backup({monitor, view, baud, device, kBaud, askBeforeOverwrite});
    const bool done =
        backup.CheckController() && backup.Run(folder / "backup") == BackupEnd::Completed;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    line.serial().setObserver(nullptr);
    line.stop();
    fs::remove_all(folder);
    if (!done) {
        std::printf("backup_%u_1MiB_app_2MiB_files ratio=failed\n", kBaud);
        return 1;
    }
    const double wireTime = bench::WireSeconds(wire.both(), kBaud);
    const size_t files = kFileSize * kFolders * kFilesPerFolder;
    const double payloadTime = bench::WireSeconds(kApplicationSize + files + kEepromArea, kBaud);
    std::printf(
        "backup_%u_1MiB_app_2MiB_files ratio=%.3f wall=%.2fs wire=%.2fs (%zu bytes both ways) "
        "payload_only=%.2fs (lower is better, 1.00 is the wire)\n",
        kBaud, took.count() / wireTime, took.count(), wireTime, wire.both(), payloadTime);
    return 0;
}
