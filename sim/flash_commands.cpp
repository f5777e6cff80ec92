// The monitor's flash commands: erasing the application area, single sectors and the boot
// loader, and "flash program", which copies memory into the flash.
#include <algorithm>

#include "sim/controller.h"
#include "sim/monitor_text.h"

namespace tarmix::sim {

namespace {

// Monitors up to this version address bank 1 of some models from 0.
constexpr int kLastOldMonitor = 8;
constexpr uint32_t kOldMonitorWindow = 0x300000;
// Uncached addresses: the flash address with these top bits set.
constexpr uint32_t kMappedBits = 0xA0000000;
constexpr uint32_t kMappedMask = 0xE0000000;

}  // namespace

uint32_t Controller::translated(uint32_t typed) const {
    const bool old = model_.oldMonitorFlashOffset && firmware_ <= kLastOldMonitor;
    return old && typed < kOldMonitorWindow ? typed + model_.oldMonitorFlashOffset : typed;
}

bool Controller::mappedAddress(uint32_t typed, uint32_t& address) const {
    if (model_.eraseForm == EraseForm::kPlain) {
        address = typed;
        return true;
    }
    if ((typed & kMappedMask) != kMappedBits) return false;
    address = typed & ~kMappedMask;
    return true;
}

bool Controller::flashTarget(uint32_t typed, uint32_t& address) const {
    address = translated(typed);
    if (memory_.flashBank(address)) return true;
    // The sector commands take the uncached form of an address too.
    address = typed & ~kMappedMask;
    return (typed & kMappedMask) == kMappedBits && memory_.flashBank(address);
}

MemoryArea Controller::applicationFlash() const {
    const MemoryArea& bank = model_.flashBanks.front();
    uint32_t end = bank.end();
    // On models that load the application straight into the flash, the file system's
    // drive C: takes the top of the bank.
    if (!model_.stagedFlash) end -= uint32_t(driveSizesKb_[2]) * 1024;
    const uint32_t start = bank.start + model_.bootSize;
    return {start, end - start + 1};
}

Millis Controller::flashTime(uint32_t bytes) const {
    constexpr int64_t kTimedSector = 0x10000;
    return std::max(Millis{1}, sectorTime_ * int64_t{bytes} / kTimedSector);
}

void Controller::eraseWithProgress(const std::vector<Sector>& sectors) {
    answerLine(format(model_.stagedFlash ? "Sectors(%4d):" : "Sectors(%3d):", int(sectors.size())));
    for (const Sector& sector : sectors) {
        memory_.erase(sector);
        noteFlashWrite(sector.start, sector.size);
        emit(".", flashTime(sector.size));
    }
    if (model_.stagedFlash)
        emit("erase done");
    else
        answerLine("erase done");
    prompt();
}

void Controller::eraseApplication(const Args& args, bool withWidth) {
    // Plain monitors up to version 8 know only the whole-area form, later ones only the
    // form with start and end; the other models always take their own form with addresses.
    const bool plain = model_.eraseForm == EraseForm::kPlain && !model_.stagedFlash;
    const bool oldPlain = plain && firmware_ <= kLastOldMonitor;
    if (args.empty() && !withWidth) {
        if (!oldPlain) return refuse(kSyntaxError);
        return eraseWholeApplication();
    }
    uint32_t typedFirst = 0, typedLast = 0, first = 0, last = 0;
    const bool widthForm = model_.eraseForm == EraseForm::kMappedWithWidth;
    if (withWidth != widthForm || oldPlain ||
        !parseHexFields(args, {&typedFirst, &typedLast}, kHex08))
        return refuse(kSyntaxError);
    if (!mappedAddress(typedFirst, first) || !mappedAddress(typedLast, last) || first > last)
        return refuse(kAddressError);
    const MemoryArea* bank = memory_.flashBank(first, last - first + 1);
    const bool bootArea =
        bank == &model_.flashBanks.front() && first - bank->start < model_.bootSize;
    if (!bank || bootArea) return refuse(kAddressError);
    eraseWithProgress(memory_.sectorsOverlapping(first, last));
}

void Controller::eraseWholeApplication() {
    const MemoryArea area = applicationFlash();
    const std::vector<Sector> sectors = memory_.sectorsOverlapping(area.start, area.end());
    Millis busy{0};
    for (const Sector& sector : sectors) {
        memory_.erase(sector);
        busy += flashTime(sector.size);
    }
    emit("\r\nerase done", busy);
    prompt();
}

void Controller::eraseSector(const Args& args) {
    uint32_t typed = 0, address = 0;
    // Single sectors are erased only by the boot loader update.
    if (!updateLineKnown(runningLine_) || !parseHexArgs(args, {&typed}))
        return refuse(kSyntaxError);
    if (!flashTarget(typed, address)) return refuse(kAddressError);
    const Sector sector = *memory_.sectorAt(address);
    memory_.erase(sector);
    noteFlashWrite(sector.start, sector.size);
    emit(format("\r\n Sector #%d", sector.index), flashTime(sector.size));
    prompt();
}

void Controller::eraseBootLoader() {
    if (!updateLineKnown(runningLine_)) return refuse(kSyntaxError);
    if (!model_.bootSize) return refuse(kAddressError);
    const uint32_t start = model_.flashBanks.front().start;
    eraseWithProgress(memory_.sectorsOverlapping(start, start + model_.bootSize - 1));
}

void Controller::programFlash(const Args& args) {
    uint32_t typedDestination = 0, source = 0, length = 0, destination = 0;
    if (!parseHexArgs(args, {&typedDestination, &source, &length})) return refuse(kSyntaxError);
    if (!flashTarget(typedDestination, destination) || !memory_.flashBank(destination, length))
        return refuse(kAddressError);
    // Over the boot area it copies only the update's RAM window, as the table has it.
    if (touchesBootArea(destination, length) && !updateLineKnown(runningLine_))
        return refuse(kAddressError);
    noteFlashWrite(destination, length);
    memory_.program(destination, memory_.read(source, length));
    answerLine(
        format("Programming from %08x to %08x Length %8u ...", source, typedDestination, length));
    emit("done", flashTime(length));
    prompt();
}

}  // namespace tarmix::sim
