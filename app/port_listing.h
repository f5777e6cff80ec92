// --list-ports: which device stands behind COM1 … COM6 and LPT1, whether it is a USB
// adapter, and whether it can be opened now.
#pragma once

#include <ostream>

#include "platform/port_map.h"

namespace tarmix {

// One line per port ("COM1  /dev/ttyUSB0  usb  available"), or with `json` one JSON
// object per port ({"event":"port","name":"COM1","device":…,"usb":…,"available":…}).
void ListPorts(const PortMap& map, std::ostream& out, bool json);

}  // namespace tarmix
