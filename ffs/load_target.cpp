#include "ffs/load_target.h"

#include <algorithm>

#include "ffs/device_path.h"
#include "ffs/drive_listing.h"
#include "ffs/fs_commands.h"

namespace tarmix {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c; }

// The device may not tell names apart by case: "DATA.TXT" and "data.txt" count as one file.
bool SameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return Lower(x) == Lower(y); });
}

}  // namespace

LoadTarget InspectLoadTarget(MonitorExchange& monitor, const std::string& devicePath) {
    LoadTarget target;
    const std::optional<DevicePath> path = ParseDevicePath(devicePath);
    if (!path || path->names.empty()) return target;

    uint64_t replaced = 0;
    const FolderListing listing = ReadFolder(monitor, path->parentFolderPath());
    if (listing.collected == Collected::Complete && !listing.damaged &&
        listing.parse.skipped == 0) {
        // A folder that is not there holds no file either (the device will refuse the copy).
        target.existed = false;
        for (const FileRow& row : listing.parse.rows) {
            if (!SameName(row.name, path->names.back())) continue;
            target.existed = true;
            replaced = row.size.value_or(0);
        }
    }

    DriveFigures figures;
    if (ReadDriveFigures(monitor, path->drive, figures) == FiguresRead::Ok &&
        figures.blockSize != 0) {
        const uint64_t replacedBlocks = (replaced + figures.blockSize - 1) / figures.blockSize;
        target.roomBytes = (figures.free + figures.toErase + replacedBlocks) * figures.blockSize;
    }
    return target;
}

}  // namespace tarmix
