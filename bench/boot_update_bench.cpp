// Boot loader update throughput through tarmix-sim with a paced line: wall time of a whole
// update of the largest boot image (the VANTIX boot loader, 256 KiB typed as S-records at
// 57600 baud, then erase, program and restart) divided by the time the bytes the PC sent
// need on the wire (10 bit times per byte).
#include <chrono>
#include <cstdio>
#include <filesystem>

#include "app/simulator_launcher.h"
#include "flash/boot_loader_update.h"
#include "link/identify.h"
#include "platform/termios_port.h"
#include "sim/boot_library.h"

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

struct SentBytes final : WireObserver {
    void onSent(Millis, const uint8_t*, size_t count) override { sent += count; }
    void onReceived(Millis, const uint8_t*, size_t) override {}
    size_t sent = 0;
};

constexpr char kModel[] = "vantix";

}  // namespace

int main() {
    const auto folder = std::filesystem::temp_directory_path() / "tarmix-bench-boot-update";
    std::filesystem::remove_all(folder);
    std::string error;
    const sim::ModelSpec& spec = *sim::findModel(kModel);
    if (sim::MakeBootLibrary(spec, spec.firmware + 1, spec.firmware, folder, error) != 0) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 1;
    }
    SimulatorLauncher simulator;
    simulator.setExecutable(TARMIX_SIM_PATH);
    if (!simulator.start(kModel, {"--pace"}, error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 1;
    }
    PortMap map;
    map.setCom(0, {simulator.devicePath(), false});
    CSerial serial(termiosPortFactory(map), systemClock());
    if (serial.Open("COM1") != 0 || serial.Configure(CSerial::kLinkBaud) != 0) return 1;
    SentBytes bytes;
    serial.setObserver(&bytes);
    MonitorExchange monitor(serial);
    DeviceDescription device;
    identifyModel(monitor.CollectAnswer("please answer me", 1000, 100ms), device, "");
    applyVersion(device, parseVersionAnswer(monitor.CollectAnswer("tell version", 1000, 100ms)));
    device.deviceIdentified = true;
    bytes.sent = 0;

    QuietView view;
    BootLoaderUpdate update({monitor, view, device, folder, false, device.hardwareModel});
    const auto start = std::chrono::steady_clock::now();
    const int result = update.UpdateBootLoader();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::filesystem::remove_all(folder);
    if (result != 0) {
        std::printf("boot_update_%s ratio=failed\n", kModel);
        return 1;
    }
    const double wire = double(bytes.sent) * 10 / CSerial::kLinkBaud;
    std::printf(
        "boot_update_%s_%zuB_sent ratio=%.3f wall=%.2fs wire=%.2fs "
        "(lower is better, 1.00 is the wire)\n",
        kModel, bytes.sent, wall.count() / wire, wall.count(), wire);
    return 0;
}
