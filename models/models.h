// The hardware model table: everything the program knows per hardware model code, in one
// place. Code 0 means "no model known"; 1..18 are the controllers of the family. Operations
// read their per-model behaviour from here instead of testing model numbers themselves.
//
// The table covers how a model introduces itself in the "here I am" answer (and which
// memory areas that gives), its keyword in batch scripts, the boot images kept in the
// folder "Library" and the monitor commands of the boot loader update, the baud rates it
// may be driven at, what its monitor needs in a download, a backup and an EEPROM save, and
// how the window pictures it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "models/device.h"

namespace tarmix {

inline constexpr int32_t kModelCount = 19;  // codes 0..18

// ---------------------------------------------------------------------------------------
// Identification

// One flash size a model can report, and the application area (bank A) it gives.
struct FlashSize {
    std::string_view field{};      // the size text; compared over its own length
    std::string_view flashText{};  // what the Flash field shows
    AddressRange bankA{};
};

// How a model's size field is read.
enum class SizeRule {
    Listed,          // one of `sizes`; anything else gives Flash "???" and bank A 0..0
    ListedOrKeep,    // one of `sizes`; anything else keeps the Flash text and bank A
    BirchBankTable,  // both flash banks and the clock: see birchBankLayouts()
};

struct IdentificationRow {
    std::string_view modelText{};  // compared at kModelTextPosition over its own length
    size_t sizeAt = 0;             // position of the size field in the answer
    AddressRange bankC{};          // the RAM area
    SizeRule sizeRule = SizeRule::Listed;
    std::span<const FlashSize> sizes{};
};

// The model text starts right after "please answer me\r\nhere I am : ".
inline constexpr size_t kModelTextPosition = 30;

// One flash layout of the BIRCH panel (model 2): the size field names both banks, "0" for
// a bank that is not fitted. Fields that end in a blank are followed by the clock in Hz.
struct BankLayout {
    std::string_view field{};
    std::string_view flashText{};
    AddressRange bankA{};
    AddressRange bankB{};
    bool clockFollows = false;
};

// The BIRCH layouts in the order they are tried: all forms ending in CR LF, then all forms
// ending in a blank.
std::span<const BankLayout> birchBankLayouts();

// ---------------------------------------------------------------------------------------
// Baud rates

enum class Allow115200 {
    No,
    Yes,
    WithFastClock,  // only at a clock of 7372800 or 9216000 Hz
};

// What happens to the operator's chosen rate when the model is identified.
enum class BaudChoiceChange {
    None,
    Cap230400To115200,  // 230400 becomes 115200
    Force57600,
    Force115200,  // 230400 becomes 57600, then 57600 becomes 115200
};

// What identification does to the "Extended Firmware" check box.
enum class ExtendedFlag { Unchanged, Clear, Set };

struct BaudCapabilities {
    Allow115200 allow115200 = Allow115200::No;
    BaudChoiceChange change = BaudChoiceChange::None;
    ExtendedFlag extended = ExtendedFlag::Unchanged;
    // Faster rates also with monitors up to kLastSlowMonitorVersion.
    bool fastOnAnyMonitor = false;
};

// Monitors up to this version run at 57600 only, unless the model says otherwise.
inline constexpr int32_t kLastSlowMonitorVersion = 14;

// ---------------------------------------------------------------------------------------
// Boot loader update

enum class UpdateKind {
    NotSupported,
    General,  // boot-init and boot loader typed into RAM, then "flash program"
    RamBank,  // the VANTIX procedure: image into a RAM bank, "flash erase bootloader"
};

// The RAM fill and the two "s3offset" commands of the general procedure.
struct RamSetup {
    std::string_view fill{};
    std::string_view bootInitOffset{};
    std::string_view bootLoaderOffset{};
};

// The boot sectors: the first erase command, and the three sent after it when its answer
// reports a sector number other than 0.
struct BootSectors {
    std::string_view first{};
    std::array<std::string_view, 3> further{};
};

// The per-model part of the general procedure for monitors above version 8.
struct GeneralUpdate {
    RamSetup ram{};
    const BootSectors* sectors = nullptr;
    std::string_view extraSector{};  // erased after the others; empty for most models
    std::string_view program{};
};

// Monitors up to this version are the old ones: they erase the application area only as a
// whole (EraseKind::RangeOrWhole), and the boot sectors alike on every model.
inline constexpr int32_t kLastOldMonitorVersion = 8;
bool isOldMonitor(int32_t monitorVersion);

// Every command of one run of the general procedure, resolved for a code and a monitor
// version.
struct GeneralUpdateSteps {
    RamSetup ram{};
    BootSectors sectors{};
    std::string_view extraSector{};  // empty: none
    std::string_view program{};
    std::string_view restart{};
};

// The commands of the RAM-bank procedure (codes 17 and 18): one RAM bank filled, the
// boot loader image typed into it, the boot area erased as a whole and programmed from it.
struct RamBankUpdate {
    std::string_view fill{};
    std::string_view offset{};
    std::string_view erase{};
    std::string_view program{};
};

// How the monitor erases the application area before "burn".
enum class EraseKind {
    RangeOrWhole,     // "flash erase application" (monitors up to 8) or with start and end
    MappedRange,      // start and end as their uncached aliases
    MappedBankRange,  // "flash %2d erase application" with the bank width and the aliases
    None,             // the monitor programs without an erase
};

// How the monitor saves and restores the EEPROM (config/eeprom_area.cpp has the figures).
enum class EepromForm {
    None,        // no EEPROM save
    FixedStart,  // from a fixed start up to the end address (the VANTIX monitors)
    BelowEnd,    // with a drive B:, the data length below the end address
};

// The housing the window draws for the model (gui/model_picture.cpp).
enum class Housing { None, Panel, WidePanel, SmallPanel, Board, Cabinet };

// ---------------------------------------------------------------------------------------
// Where a staged model's application image lies in RAM, and where the flash keeps it.
inline constexpr uint32_t kStagingRam = 0x80000000;
inline constexpr uint32_t kStagedFlashBase = 0x100000;

// The row of one model
struct ModelInfo {
    int32_t code = 0;
    std::string_view keyword{};          // of the batch command "change hardware"; empty: none
    std::string_view panelText{};        // what the Panel field shows
    IdentificationRow identification{};  // empty model text for code 0

    std::string_view bootInitImage{};  // file names in "Library"; empty: none
    std::string_view bootLoaderImage{};
    UpdateKind update = UpdateKind::NotSupported;
    const GeneralUpdate* generalUpdate = nullptr;
    // Code 9 only: the commands for monitors below version 25.
    const GeneralUpdate* generalUpdateBefore25 = nullptr;
    std::string_view restart{};  // restarts the controller after the update

    // The other code of a plain/extended pair (1/12, 9/13, 3/14); 0 for other models.
    int32_t variantPartner = 0;
    bool extendedVariant = false;

    // Absent for code 0: identification leaves the rates alone.
    std::optional<BaudCapabilities> baud{};

    EraseKind erase = EraseKind::RangeOrWhole;

    // The application goes into RAM first and is then programmed with "flash program": the
    // image's byte at kStagingRam + x lands in the flash at kStagedFlashBase + x.
    bool stagedDownload = false;
    // The controller's USB port re-enumerates when it leaves the monitor, so a USB serial
    // adapter must be reopened after a restart.
    bool usbReenumerates = false;

    // A download may start anywhere in the flash banks, not only at the start of bank A or
    // of the RAM (the BIRCH panel's two banks).
    bool imageStartsAnywhere = false;
    // Old monitors see this part of the flash from address 0: a block for an address in it
    // is sent relative to its start (monitorAddress). 0..0: none.
    AddressRange oldMonitorFlash{};
    // The most bytes its monitor takes in one "burn" block or sends for one read; 0: the
    // line's own limits.
    uint32_t blockLimit = 0;
    // The application is started with "reset", not with "call" and its start address.
    bool startsByReset = false;
    // The extended firmware can go only onto a monitor of at least this version; 0: any.
    int32_t extendedNeedsMonitor = 0;

    // A backup is made whatever the monitor version, also below the one that reports its
    // application area in full.
    bool backupOnAnyMonitor = false;
    // A backup reads this many bytes of flash from address 0, whatever "tell appl" says
    // (the whole flash of the small controller); 0: the area "tell appl" reports.
    uint32_t wholeFlashBackup = 0;
    EepromForm eeprom = EepromForm::None;

    Housing housing = Housing::None;
    uint32_t accent = 0;  // 0xRRGGBB: the title bar of the pictured screen
};

// The row of `code`; nullptr outside 0..18.
const ModelInfo* findModel(int32_t code);
// The row of `code`; the row of code 0 (no model, nothing special) outside 0..18.
const ModelInfo& modelRow(int32_t code);

// The address the monitor of `code` at `monitorVersion` takes for the image address
// `address` (see oldMonitorFlash).
uint32_t monitorAddress(int32_t code, int32_t monitorVersion, uint32_t address);

// The code of a "change hardware" keyword ("alder", "alder ext", …), compared exactly;
// 0 for a word that is not in the table. Only codes 1..16 have keywords.
int32_t modelByKeyword(std::string_view keyword);

// The models in the order their model texts are tried against the "here I am" answer
// (longer texts before the texts they begin with).
std::span<const ModelInfo* const> identificationOrder();

// The code the boot loader update runs as: the extended partner of a plain code when
// `extended` is set, the plain partner of an extended code when it is clear; every other
// code as it is.
int32_t updateVariant(int32_t code, bool extended);

// The "Library" file whose presence enables the boot loader update: the boot-init image of
// the variant chosen by `extended` for the general procedure, the boot loader image for the
// RAM-bank procedure. Empty when the model has no update.
std::string_view updateAvailabilityFile(int32_t code, bool extended);

// The commands of the general procedure for `code` with monitor version `monitorVersion`;
// empty for codes without it. Monitors up to version 8 erase and program the boot sectors
// with the same commands for every model.
std::optional<GeneralUpdateSteps> generalUpdateSteps(int32_t code, int32_t monitorVersion);

// The commands of the RAM-bank procedure; the same for every model that uses it.
const RamBankUpdate& ramBankUpdate();

// The same controller: equal codes, or the plain and extended variant of one model.
bool sameHardware(int32_t code, int32_t other);

}  // namespace tarmix
