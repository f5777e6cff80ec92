#include "app/port_listing.h"

#include <cstdio>

#include "app/json_event.h"
#include "link/parallel.h"
#include "platform/termios_port.h"

namespace tarmix {

namespace {

struct PortLine {
    std::string name;
    std::string device;  // empty: not listed
    bool usb = false;
    bool available = false;
};

void print(const PortLine& port, std::ostream& out, bool json) {
    if (json) {
        out << JsonEvent("port")
                   .text("name", port.name)
                   .text("device", port.device)
                   .flag("usb", port.usb)
                   .flag("available", port.available)
                   .str()
            << "\n";
        return;
    }
    const char* state = port.device.empty() ? "not listed"
                        : port.available    ? "available"
                                            : "cannot be opened";
    char text[512];
    std::snprintf(text, sizeof text, "%-5s %-28s %-4s %s\n", port.name.c_str(),
                  port.device.empty() ? "-" : port.device.c_str(), port.usb ? "usb" : "", state);
    out << text;
}

}  // namespace

void ListPorts(const PortMap& map, std::ostream& out, bool json) {
    TermiosPort trial(map);
    for (int i = 0; i < kComPortCount; ++i) {
        PortLine port;
        port.name = portName(i);
        if (const auto& device = map.com(i)) {
            port.device = device->path;
            port.usb = device->usb;
            port.available = trial.open(port.name);
            trial.close();
        }
        print(port, out, json);
    }
    CParallel parallel(map);
    PortLine lpt;
    lpt.name = portName(kLptPortIndex);
    lpt.device = map.lpt();
    lpt.available = parallel.Open(lpt.name) == 0;
    parallel.Close();
    print(lpt, out, json);
}

}  // namespace tarmix
