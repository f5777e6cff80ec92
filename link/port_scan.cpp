#include "link/port_scan.h"

#include <cstdio>

#include "lang/catalog.h"
#include "lang/text_names.h"
#include "link/serial.h"

namespace tarmix {

namespace {

bool anyListed(const PortMap& map) {
    for (int i = 0; i < kComPortCount; ++i)
        if (map.com(i)) return true;
    return false;
}

}  // namespace

void PortScanner::ScanSerialPorts(PortState& state) {
    map_.relist();
    if (!anyListed(map_)) {
        // Nothing listed at all: the system has no serial ports to offer.
        if (state.selectedPort == -1) state.disabled.fill(false);
    } else {
        for (int i = 0; i < kComPortCount; ++i) {
            if (i != state.selectedPort) state.available[i] = false;
            const auto& device = map_.com(i);
            if (!device) continue;
            state.available[i] = true;
            state.usb[i] = device->usb;
            if (device->usb) state.disabled[i] = false;
        }
    }
    for (int i = 0; i < kComPortCount; ++i) {
        if (i == state.selectedPort)
            state.available[i] = true;
        else
            ProbePort(i, state);
    }
}

void PortScanner::ProbePort(int index, PortState& state) {
    if (index < 0 || index >= kComPortCount || state.disabled[index]) return;
    const Millis start = clock_.now();
    CSerial trial(factory_, clock_);
    const bool opened = trial.Open(portName(index)) == 0;
    state.available[index] = opened;
    state.openFailure[index] = trial.LastOpenFailure();
    trial.Close();
    if (opened || clock_.now() <= start + kSlowOpen) return;
    state.disabled[index] = true;
    char text[512];
    std::snprintf(text, sizeof text, "COM%d\n\n%s", index + 1,
                  LoadText(text::kSerialLineDisabled).c_str());
    view_.showMessage(text, "", MessageIcon::Error);
}

}  // namespace tarmix
