#include "sim/boot_update_table.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace tarmix::sim {

namespace {

using enum UpdateProcedure;

constexpr std::array<BootUpdateRow, 19> kRows{{
    {0, "", "", "", kNone},
    {1, "alder", "Bootinit.rom", "Boot.rom", kGeneral},
    {2, "birch", "", "", kNone},
    {3, "alder177", "Bootinitb.rom", "Bootb.rom", kGeneral},
    {4, "kestrel", "BootinitKsb.rom", "BootKsb.rom", kGeneral},
    {5, "core510", "BootinitCore510.rom", "BootCore510.rom", kGeneral},
    {6, "heron", "BootinitHeron.rom", "BootHeron.rom", kGeneral},
    {7, "qrt", "BootinitQrt.rom", "BootQrt.rom", kGeneral},
    {8, "core540", "BootinitCore540.rom", "BootCore540.rom", kGeneral},
    {9, "small-alder", "BootinitSmallAlder.rom", "BootSmallAlder.rom", kGeneral},
    {10, "dispenser", "Bootinitm.rom", "Bootm.rom", kGeneral},
    {11, "dmx610", "Bootinitn.rom", "Bootn.rom", kGeneral},
    {12, "alder ext", "BootinitExt.rom", "BootExt.rom", kGeneral},
    {13, "small-alder ext", "BootinitSmallAlderExt.rom", "BootSmallAlderExt.rom", kGeneral},
    {14, "alder177 ext", "BootinitbExt.rom", "BootbExt.rom", kGeneral},
    {15, "fgh720", "BootinitFgh720.rom", "BootFgh720.rom", kGeneral},
    {16, "t_pq7xx", "", "", kNone},
    {17, "", "", "Bootp.rom", kRamBank},
    {18, "", "", "Bootq.rom", kRamBank},
}};

bool among(int code, std::initializer_list<int> codes) {
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

// The RAM fill and the two offsets: the RAM window the images go to.
struct RamWindow {
    const char* fill;
    const char* firstOffset;
    const char* secondOffset;
};

RamWindow ramWindow(int code, int version) {
    constexpr RamWindow kC20{"fill 00c20000 10000 ff", "s3offset ff3e0000", "s3offset fffe0000"};
    constexpr RamWindow kC10{"fill 00c10000 10000 ff", "s3offset ff3f0000", "s3offset ffff0000"};
    if (code == 1 || (code == 9 && version >= 25)) return kC20;
    if (code == 3) return {"fill b0300000 10000 ff", "s3offset efd00000", "s3offset fff00000"};
    if (code == 10) return {"fill 00c20000 20000 ff", "s3offset ff3e0000", "s3offset fffe0000"};
    if (code == 11) return {"fill AC100000 20000 ff", "s3offset f3f00000", "s3offset fff00000"};
    if (code == 12 || code == 13)
        return {"fill 00c20000 20000 ff", "s3offset ff3E0000", "s3offset fffE0000"};
    if (code == 14) return {"fill b0300000 20000 ff", "s3offset efd00000", "s3offset fff00000"};
    return kC10;  // 4, 5, 6, 7, 8, 15, and 9 before version 25
}

void setSectors(BootUpdateCommands& c, int code, int version) {
    const std::string erase = "flash erase sector ";
    if (version <= 8) {
        c.firstSector = erase + "8000";
        c.furtherSectors = {erase + "6000", erase + "4000", erase + "0"};
    } else if (among(code, {1, 4, 6, 12})) {
        c.firstSector = erase + "  108000";
        c.furtherSectors = {erase + "106000", erase + "104000", erase + "100000"};
        if (code == 12) c.extraSector = erase + "00110000";
    } else if (among(code, {3, 11, 14})) {
        c.firstSector = erase + "a0008000";
        c.furtherSectors = {erase + "a0006000", erase + "a0004000", erase + "a0000000"};
        if (code != 3) c.extraSector = erase + "a0010000";
    } else {
        c.firstSector = erase + "    8000";
        c.furtherSectors = {erase + "6000", erase + "4000", erase + "0"};
        if (code == 10 || code == 13) c.extraSector = erase + "00010000";
    }
}

std::string programCommand(int code, int version) {
    if (version <= 8) return "flash program 0 00c10000 10000";
    switch (code) {
        case 1:
            return "flash program   100000 00c20000 10000";
        case 3:
            return "flash program a0000000 b0300000 10000";
        case 4:
        case 6:
            return "flash program   100000 00c10000 10000";
        case 9:
            if (version >= 25) return "flash program        0 00c20000 10000";
            return "flash program        0 00c10000 10000";
        case 10:
        case 13:
            return "flash program        0 00c20000 20000";
        case 11:
            return "flash program a0000000 ac100000 20000";
        case 12:
            return "flash program   100000 00c20000 20000";
        case 14:
            return "flash program a0000000 b0300000 20000";
        default:
            return "flash program        0 00c10000 10000";  // 5, 7, 8, 15
    }
}

}  // namespace

std::span<const BootUpdateRow> BootUpdateRows() { return kRows; }

const BootUpdateRow* BootUpdateRowFor(int code) {
    return code >= 0 && size_t(code) < kRows.size() ? &kRows[size_t(code)] : nullptr;
}

int VariantPartner(int code) {
    for (const auto& [plain, extended] : {std::pair{1, 12}, {9, 13}, {3, 14}}) {
        if (code == plain) return extended;
        if (code == extended) return plain;
    }
    return 0;
}

std::optional<BootUpdateCommands> BootUpdateCommandsFor(int code, int version) {
    const BootUpdateRow* row = BootUpdateRowFor(code);
    if (row == nullptr || row->procedure == kNone) return std::nullopt;
    BootUpdateCommands c;
    if (row->procedure == kRamBank) {
        c.fill = "fill 83d00000 100000 ff";
        c.secondOffset = "s3offset fff00000";
        c.firstSector = "flash erase bootloader";
        c.program = "flash program 0 83d00000 40000";
        c.restart = "call 0";
        return c;
    }
    const RamWindow window = ramWindow(code, version);
    c.fill = window.fill;
    c.firstOffset = window.firstOffset;
    c.secondOffset = window.secondOffset;
    setSectors(c, code, version);
    c.program = programCommand(code, version);
    c.restart = among(code, {3, 11, 14}) ? "call 0" : "call 40";
    return c;
}

}  // namespace tarmix::sim
