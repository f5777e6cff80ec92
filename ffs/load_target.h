// What a copy to the device asks before "file load": whether the file fits on the drive,
// and whether a file of its name is there already. "file load" empties or creates the
// device file at once, so a copy that fails part-way leaves it incomplete: a file that was
// not there before is removed again, one that was can only be named to the user.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/monitor_exchange.h"

namespace tarmix {

struct LoadTarget {
    // A file of this name may be there already; true whenever the folder's listing could
    // not tell (a file that may be the user's is never removed).
    bool existed = true;
    // The bytes the file may take: the drive's free blocks and blocks to erase, and those of
    // the file it replaces. nullopt when the drive's figures could not be read.
    std::optional<uint64_t> roomBytes;
};

// Reads the listing of the folder of `devicePath` and the drive's "finfo".
LoadTarget InspectLoadTarget(MonitorExchange& monitor, const std::string& devicePath);

}  // namespace tarmix
