#include "bench_line.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "link/identify.h"
#include "platform/termios_port.h"

namespace tarmix::bench {

using namespace std::chrono_literals;

void QuietView::showMessage(const std::string& text, const std::string&, MessageIcon) {
    std::fprintf(stderr, "bench: message: %s\n", text.c_str());
}

std::filesystem::path ScratchFolder(const std::string& name) {
    const auto folder =
        std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool StartPacedSimulator(SimulatorLauncher& simulator, const std::string& model,
                         const std::vector<std::string>& simulatorArguments) {
    std::vector<std::string> arguments = {"--pace"};
    arguments.insert(arguments.end(), simulatorArguments.begin(), simulatorArguments.end());
    simulator.setExecutable(TARMIX_SIM_PATH);
    std::string error;
    if (simulator.start(model, arguments, error)) return true;
    std::fprintf(stderr, "bench: %s\n", error.c_str());
    return false;
}

bool SimulatedLine::start(const std::string& model,
                          const std::vector<std::string>& simulatorArguments) {
    if (!StartPacedSimulator(simulator_, model, simulatorArguments)) return false;
    PortMap map;
    map.setCom(0, {simulator_.devicePath(), false});
    serial_ = std::make_unique<CSerial>(termiosPortFactory(map), systemClock());
    monitor_ = std::make_unique<MonitorExchange>(*serial_);
    if (serial_->Open("COM1") == 0 && serial_->Configure(CSerial::kLinkBaud) == 0) return true;
    std::fprintf(stderr, "bench: cannot open %s\n", simulator_.devicePath().c_str());
    return false;
}

DeviceDescription SimulatedLine::identify() {
    const auto ask = [this](const std::string& command) {
        std::string answer;
        monitor_->CollectAnswer(command, answer, 999, Wait::Fixed(100ms));
        return answer;
    };
    DeviceDescription device;
    identifyModel(ask("please answer me"), device, "");
    applyVersion(device, parseVersionAnswer(ask("tell version")));
    applyDrives(device, parseDrivesAnswer(ask("tell drives")));
    device.deviceIdentified = true;
    return device;
}

void SimulatedLine::stop() {
    if (serial_) serial_->Close();
    simulator_.stop();
}

}  // namespace tarmix::bench
