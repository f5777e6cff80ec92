// The boot loader update as the controller knows it: per model the images of the folder
// "Library", the procedure, and the exact command lines the monitor takes for it. The monitor
// acts on these lines only in these widths, cases and paddings, only on the models and
// monitor versions listed, and only for the model's own RAM window.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarmix::sim {

enum class UpdateProcedure { kNone, kGeneral, kRamBank };

struct BootUpdateRow {
    int code = 0;
    const char* keyword = "";     // the "change hardware" keyword; empty for 0, 17 and 18
    const char* bootInit = "";    // empty: no boot-init image
    const char* bootLoader = "";  // empty: no update
    UpdateProcedure procedure = UpdateProcedure::kNone;
};

// The rows of codes 0 to 18, in code order.
std::span<const BootUpdateRow> BootUpdateRows();
const BootUpdateRow* BootUpdateRowFor(int code);

// The other code of a plain/extended pair (1/12, 9/13, 3/14); 0 for the others.
int VariantPartner(int code);

// The lines of one update, in the order they are typed. The RAM-bank procedure has no
// first offset and erases with "flash erase bootloader" (firstSector) alone.
struct BootUpdateCommands {
    std::string fill;
    std::string firstOffset;   // before the boot-init image
    std::string secondOffset;  // before the boot loader image
    std::string firstSector;
    std::vector<std::string> furtherSectors;
    std::string extraSector;  // empty: none
    std::string program;
    std::string restart;
};

// The update of model `code` as the monitor of version `version` takes it; nullopt for
// models without one.
std::optional<BootUpdateCommands> BootUpdateCommandsFor(int code, int version);

}  // namespace tarmix::sim
