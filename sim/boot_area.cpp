// The controller's boot area: the flash at the start of bank 1 that holds the boot monitor.
// A restart through the boot entry ("call 40" or "call 0") runs whatever it holds:
// - the factory boot loader, as long as no boot sector has been erased;
// - a demo boot loader image programmed by the boot loader update, which brings the
//   monitor version its marker names (sim/boot_library.h);
// - nothing: an erased or wrongly programmed boot area never answers again.
// Models whose USB port re-enumerates take their port away at such a restart.
#include "models/models.h"
#include "sim/boot_library.h"
#include "sim/controller.h"

namespace tarmix::sim {

void Controller::noteErased(const Sector& sector) {
    const MemoryArea& bank = model_.flashBanks.front();
    if (bank.contains(sector.start) && sector.start - bank.start < model_.bootSize)
        bootErased_ = true;
}

bool Controller::bootAreaStarts() {
    const uint32_t start = model_.flashBanks.front().start;
    const std::vector<uint8_t> head = memory_.read(start, kBootMarkerOffset + kBootMarkerLength);
    if (const auto marker = ReadBootMarker(head)) {
        if (!sameHardware(model_.code, marker->code)) return false;
        firmware_ = marker->version;
        return true;
    }
    return !bootErased_;
}

void Controller::restartFromBootArea() {
    if (!bootAreaStarts()) {
        // The line end of the command still went out; then nothing, ever.
        emit("\r\n");
        dead_ = true;
        return;
    }
    restart();
    if (usbLink_ && model_.usbReenumerates) reenumeration_ = true;
}

}  // namespace tarmix::sim
