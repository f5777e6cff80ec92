// tarmix: connects to the controller on COM1 and shows what the link sees.
//
//   tarmix [--simulate[=KEYWORD]]
#include <iostream>
#include <string>

#include "app/simulator_launcher.h"
#include "link/monitor_exchange.h"
#include "link/serial.h"
#include "link/wire_trace.h"
#include "platform/port_map.h"
#include "platform/termios_port.h"

namespace {

using namespace tarmix;

constexpr size_t kAnswerCapacity = 1000;
constexpr Millis kQueryTimeout{100};

int showDevice(const PortMap& map) {
    CSerial serial(termiosPortFactory(map), systemClock());
    WireTrace trace(std::cout, systemClock().now());
    serial.setObserver(&trace);
    if (serial.Open("COM1") != 0 || serial.Configure(CSerial::kLinkBaud) != 0) {
        std::cerr << "tarmix: cannot open COM1 (" << map.resolve("COM1") << ")\n";
        return 1;
    }
    MonitorExchange monitor(serial);
    for (const char* query : {"please answer me", "tell version", "tell drives"})
        monitor.CollectAnswer(query, kAnswerCapacity, monitor.scaled(kQueryTimeout));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    SimulatorLauncher simulator;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.rfind("--simulate", 0) != 0) {
            std::cerr << "usage: tarmix [--simulate[=KEYWORD]]\n";
            return 2;
        }
        const std::string model = word.size() > 11 ? word.substr(11) : "alder";
        std::string error;
        if (!simulator.start(model, {}, error)) {
            std::cerr << "tarmix: " << error << "\n";
            return 1;
        }
    }
    PortMap map = PortMap::fromSystem();
    if (!simulator.devicePath().empty()) map.setCom(0, {simulator.devicePath(), false});
    return showDevice(map);
}
