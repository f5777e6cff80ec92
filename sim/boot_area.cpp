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
    const MemoryArea& bank = model_.flashBanks.front();
    const auto marker = ReadBootMarker(memory_.read(bank.start, model_.bootSize));
    // The extended variant's boot loader may reach beyond the plain variant's boot area.
    if (!marker || !bank.containsRange(bank.start, marker->length) ||
        !ValidBootLoader(memory_.read(bank.start, marker->length), *marker))
        return false;
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

// The update's lines are taken only as they stand in the table for this monitor, for the
// model or the other variant of its plain/extended pair (the same hardware).
bool Controller::updateLineKnown(std::string_view line) const {
    for (int code : {model_.code, VariantPartner(model_.code)}) {
        const auto commands = BootUpdateCommandsFor(code, firmware_);
        if (!commands) continue;
        for (const std::string& known :
             {commands->fill, commands->firstOffset, commands->secondOffset, commands->firstSector,
              commands->extraSector, commands->program})
            if (!known.empty() && line == known) return true;
        for (const std::string& known : commands->furtherSectors)
            if (line == known) return true;
    }
    return false;
}

}  // namespace tarmix::sim
