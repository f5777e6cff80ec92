// The controller's boot area: the flash at the start of bank 1 that holds the boot monitor.
// A restart through the boot entry ("call 40" or "call 0") runs whatever it holds:
// - the factory boot loader, as long as nothing in the boot area was erased or written;
// - a demo boot loader image programmed by the boot loader update, which brings the
//   monitor version its marker names (sim/boot_library.h), when every byte of it is intact;
// - nothing: any other boot area never answers again.
// Models whose USB port re-enumerates take their port away at such a restart.
#include "sim/boot_library.h"
#include "sim/boot_update_table.h"
#include "sim/controller.h"

namespace tarmix::sim {

bool Controller::touchesBootArea(uint32_t start, uint32_t count) const {
    const MemoryArea boot{model_.flashBanks.front().start, model_.bootSize};
    return count && boot.size && start <= boot.end() && start + (count - 1) >= boot.start;
}

void Controller::noteFlashWrite(uint32_t start, uint32_t count) {
    if (touchesBootArea(start, count)) bootTouched_ = true;
}

bool Controller::bootAreaStarts() {
    if (!bootTouched_) return true;
    const std::vector<uint8_t> area =
        memory_.read(model_.flashBanks.front().start, model_.bootSize);
    const auto marker = ReadBootMarker(area);
    if (!marker || !ValidBootLoader(area, *marker)) return false;
    if (marker->code != model_.code && marker->code != VariantPartner(model_.code)) return false;
    firmware_ = marker->version;
    return true;
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

// The update's lines are taken only as they stand in the model's table for this monitor.
bool Controller::updateLineKnown(std::string_view line) const {
    const auto commands = BootUpdateCommandsFor(model_.code, firmware_);
    if (!commands) return false;
    for (const std::string& known :
         {commands->fill, commands->firstOffset, commands->secondOffset, commands->firstSector,
          commands->extraSector, commands->program})
        if (!known.empty() && line == known) return true;
    for (const std::string& known : commands->furtherSectors)
        if (line == known) return true;
    return false;
}

}  // namespace tarmix::sim
