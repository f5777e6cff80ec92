// --list-ports: which device stands behind COM1 … COM6 and LPT1, whether it is a USB
// adapter, and whether it can be opened now.
#pragma once

#include <functional>
#include <ostream>
#include <string>

#include "platform/port_map.h"
#include "platform/termios_port.h"

namespace tarmix {

// One line per port ("COM1  /dev/ttyUSB0  usb  available"), or with `json` one JSON
// object per port ({"event":"port","name":"COM1","device":…,"usb":…,"available":…}).
// `probe` says whether a serial device can be opened now, and why not (tests replace it).
using PortProbe = std::function<OpenFailure(const std::string& path)>;
void ListPorts(const PortMap& map, std::ostream& out, bool json,
               const PortProbe& probe = ProbeSerialPath);

}  // namespace tarmix
