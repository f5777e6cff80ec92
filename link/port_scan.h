// Which of COM1 … COM6 can be used: the ports the system lists (afresh on every scan, so an
// adapter plugged in later appears), each tried with a trial open.
// A port whose trial open fails slowly (more than a second) is taken for a hanging driver,
// reported once and not tried again while the program runs.
#pragma once

#include <array>

#include "platform/clock.h"
#include "platform/port_backend.h"
#include "platform/port_map.h"
#include "platform/view.h"

namespace tarmix {

struct PortState {
    int selectedPort = -1;  // 0..5 COM1..COM6, 6 LPT1, -1 none
    std::array<bool, kComPortCount> available{};
    std::array<bool, kComPortCount> usb{};
    std::array<bool, kComPortCount> disabled{};
    // Why the last trial open of each port failed.
    std::array<OpenFailure, kComPortCount> openFailure{};
};

class PortScanner {
  public:
    // A trial open that fails after longer than this marks the port disabled.
    static constexpr Millis kSlowOpen{1000};

    // `map` is a handle: the scanner's new listings reach every copy of it.
    PortScanner(PortMap map, PortFactory factory, Clock& clock, View& view)
        : map_(std::move(map)), factory_(std::move(factory)), clock_(clock), view_(view) {}

    // Lists the ports afresh and marks them, then trial-opens every port but the selected one
    // (which this program holds open and counts as available).
    void ScanSerialPorts(PortState& state);
    // Trial-opens COM(index+1) unless it is disabled; index 0..5, others are ignored.
    void ProbePort(int index, PortState& state);

  private:
    PortMap map_;
    PortFactory factory_;
    Clock& clock_;
    View& view_;
};

}  // namespace tarmix
