#include "app/cli/port_listing.h"

#include <cstdio>

#include "app/json_event.h"
#include "app/port_problem.h"
#include "lang/catalog.h"
#include "lang/text_names.h"
#include "link/parallel.h"
#include "platform/serial_device_info.h"
#include "platform/termios_port.h"

namespace tarmix {

namespace {

struct PortLine {
    std::string name;
    std::string device;  // empty: not listed
    bool usb = false;
    bool available = false;
    std::string problem;  // why it cannot be opened, and how to fix it
    SerialDeviceInfo info;
};

std::string stateOf(const PortLine& port) {
    if (port.device.empty()) return LoadText(text::kPortNotListed);
    return LoadText(port.available ? text::kAvailable : text::kNotAvailable);
}

void print(const PortLine& port, std::ostream& out, bool json) {
    if (json) {
        out << JsonEvent("port")
                   .text("name", port.name)
                   .text("device", port.device)
                   .flag("usb", port.usb)
                   .flag("available", port.available)
                   .text("problem", port.problem)
                   .text("maker", port.info.maker)
                   .text("product", port.info.product)
                   .text("stableName", port.info.stableName)
                   .str()
            << "\n";
        return;
    }
    char text[512];
    std::snprintf(text, sizeof text, "%-5s %-28s %-4s %s\n", port.name.c_str(),
                  port.device.empty() ? "-" : port.device.c_str(), port.usb ? "usb" : "",
                  stateOf(port).c_str());
    out << text;
    const std::string adapter =
        port.info.maker.empty() ? port.info.product : port.info.maker + " " + port.info.product;
    if (!adapter.empty()) out << "      " << adapter << "\n";
    if (!port.info.stableName.empty()) out << "      " << port.info.stableName << "\n";
    if (!port.problem.empty()) out << "      " << port.problem << "\n";
}

// Fills in whether the port could be opened, and why not.
void noteOpenFailure(PortLine& port, OpenFailure failure) {
    port.available = failure == OpenFailure::None;
    port.problem = DescribeOpenFailure(failure, port.device);
}

}  // namespace

void ListPorts(const PortMap& map, std::ostream& out, bool json, const PortProbe& probe) {
    for (int i = 0; i < kComPortCount; ++i) {
        PortLine port;
        port.name = portName(i);
        if (const auto& device = map.com(i)) {
            port.device = device->path;
            port.usb = device->usb;
            port.info = DescribeSerialDevice(device->path);
            noteOpenFailure(port, probe(device->path));
        }
        print(port, out, json);
    }
    CParallel parallel(map);
    PortLine lpt;
    lpt.name = portName(kLptPortIndex);
    lpt.device = map.lpt();
    parallel.Open(lpt.name);
    parallel.Close();
    if (!lpt.device.empty()) noteOpenFailure(lpt, parallel.openFailure());
    print(lpt, out, json);
}

}  // namespace tarmix
