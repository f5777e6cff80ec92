#include "models/models.h"

#include <algorithm>

namespace tarmix {
namespace {

// ---------------------------------------------------------------------------------------
// Flash sizes. A size text ends in CR LF (the start of the prompt) so that "80000" does
// not also match "800000".

constexpr std::array<FlashSize, 3> kAlderSizes{{
    {"80000\r\n", "512kB", {0x110000, 0x17FFFF}},
    {"100000\r\n", "1MB", {0x110000, 0x1FFFFF}},
    {"200000\r\n", "2MB", {0x110000, 0x2FFFFF}},
}};

constexpr std::array<FlashSize, 3> kAlderExtSizes{{
    {"80000\r\n", "512kB", {0x120000, 0x17FFFF}},
    {"100000\r\n", "1MB", {0x120000, 0x1FFFFF}},
    {"200000\r\n", "2MB", {0x120000, 0x2FFFFF}},
}};

constexpr std::array<FlashSize, 4> kAlder177Sizes{{
    {"80000\r\n", "512kB", {0x10000, 0x7FFFF}},
    {"100000\r\n", "1MB", {0x10000, 0xFFFFF}},
    {"200000\r\n", "2MB", {0x10000, 0x1FFFFF}},
    {"800000\r\n", "8MB", {0x10000, 0x7FFFFF}},
}};

constexpr std::array<FlashSize, 4> kAlder177ExtSizes{{
    {"80000\r\n", "512kB", {0x20000, 0x7FFFF}},
    {"100000\r\n", "1MB", {0x20000, 0xFFFFF}},
    {"200000\r\n", "2MB", {0x20000, 0x1FFFFF}},
    {"800000\r\n", "8MB", {0x20000, 0x7FFFFF}},
}};

// CORE-510, QRT, CORE-540, FGH720 and SMALL-ALDER.
constexpr std::array<FlashSize, 3> kFrom64kSizes{{
    {"80000\r\n", "512kB", {0x10000, 0x7FFFF}},
    {"100000\r\n", "1MB", {0x10000, 0xFFFFF}},
    {"200000\r\n", "2MB", {0x10000, 0x1FFFFF}},
}};

constexpr std::array<FlashSize, 3> kSmallAlderExtSizes{{
    {"80000\r\n", "512kB", {0x20000, 0x7FFFF}},
    {"100000\r\n", "1MB", {0x20000, 0xFFFFF}},
    {"200000\r\n", "2MB", {0x20000, 0x1FFFFF}},
}};

constexpr std::array<FlashSize, 1> kDispenserSizes{{
    {"200000\r\n", "2MB", {0x20000, 0x1FFFFF}},
}};

constexpr std::array<FlashSize, 1> kVantixSizes{{
    {"2000000", "32MB", {0x80000000, 0x82000000}},
}};

constexpr std::array<FlashSize, 1> kTpq7Sizes{{
    {"e000\r\n", "56kB", {0x0000, 0xDFFF}},
}};

// ---------------------------------------------------------------------------------------
// BIRCH flash layouts

constexpr AddressRange kNone{0, 0};
constexpr AddressRange kBank1_2M{0x14000000, 0x141FFFFF};
constexpr AddressRange kBank1_4M{0x14000000, 0x143FFFFF};
constexpr AddressRange kBank1_16M{0x14000000, 0x14FFFFFF};
constexpr AddressRange kBank2_1M{0x18000000, 0x180FFFFF};
constexpr AddressRange kBank2_2M{0x18000000, 0x181FFFFF};
constexpr AddressRange kBank2_8M{0x18000000, 0x187FFFFF};

constexpr std::array<BankLayout, 26> kBirchLayouts{{
    {"200000 0\r\n", "Bank1 2MB", kBank1_2M, kNone},
    {"400000 0\r\n", "Bank1 4MB", kBank1_4M, kNone},
    {"0 100000\r\n", "Bank2 1MB", kNone, kBank2_1M},
    {"0 200000\r\n", "Bank2 2MB", kNone, kBank2_2M},
    {"0 800000\r\n", "Bank2 8MB", kNone, kBank2_8M},
    {"400000 100000\r\n", "Bank1 4MB   Bank2 1MB", kBank1_4M, kBank2_1M},
    {"400000 200000\r\n", "Bank1 4MB   Bank2 2MB", kBank1_4M, kBank2_2M},
    {"400000 800000\r\n", "Bank1 4MB   Bank2 8MB", kBank1_4M, kBank2_8M},
    {"200000 100000\r\n", "Bank1 2MB   Bank2 1MB", kBank1_2M, kBank2_1M},
    {"200000 200000\r\n", "Bank1 2MB   Bank2 2MB", kBank1_2M, kBank2_2M},
    {"200000 800000\r\n", "Bank1 2MB   Bank2 8MB", kBank1_2M, kBank2_8M},

    {"200000 0 ", "Bank1 2MB", kBank1_2M, kNone, true},
    {"400000 0 ", "Bank1 4MB", kBank1_4M, kNone, true},
    {"1000000 0 ", "Bank1 16MB", kBank1_16M, kNone, true},
    {"0 100000 ", "Bank2 1MB", kNone, kBank2_1M, true},
    {"0 200000 ", "Bank2 2MB", kNone, kBank2_2M, true},
    {"0 800000 ", "Bank2 8MB", kNone, kBank2_8M, true},
    {"400000 100000 ", "Bank1 4MB   Bank2 1MB", kBank1_4M, kBank2_1M, true},
    {"400000 200000 ", "Bank1 4MB   Bank2 2MB", kBank1_4M, kBank2_2M, true},
    {"400000 800000 ", "Bank1 4MB   Bank2 8MB", kBank1_4M, kBank2_8M, true},
    {"200000 100000 ", "Bank1 2MB   Bank2 1MB", kBank1_2M, kBank2_1M, true},
    {"200000 200000 ", "Bank1 2MB   Bank2 2MB", kBank1_2M, kBank2_2M, true},
    {"200000 800000 ", "Bank1 2MB   Bank2 8MB", kBank1_2M, kBank2_8M, true},
    {"1000000 100000 ", "Bank1 16MB   Bank2 1MB", kBank1_16M, kBank2_1M, true},
    {"1000000 200000 ", "Bank1 16MB   Bank2 2MB", kBank1_16M, kBank2_2M, true},
    {"1000000 800000 ", "Bank1 16MB   Bank2 8MB", kBank1_16M, kBank2_8M, true},
}};

// ---------------------------------------------------------------------------------------
// RAM areas

constexpr AddressRange kRam1M{0x00800000, 0x008FFFFF};
constexpr AddressRange kRam4M{0x00800000, 0x00BFFFFF};
constexpr AddressRange kRam256k{0x00800000, 0x0083FFFF};
constexpr AddressRange kBirchRam{0x0C000000, 0x0C7FFFFF};
constexpr AddressRange kAlder177Ram{0x0C000000, 0x0C0FFFFF};
constexpr AddressRange kDmx610Ram{0x0C100000, 0x0C800000};
constexpr AddressRange kVantixRam{0x80000000, 0x82000000};
constexpr AddressRange kTpq7Ram{0x0000, 0x1000};

// ---------------------------------------------------------------------------------------
// Boot loader update commands

constexpr BootSectors kOldMonitorSectors{
    "flash erase sector 8000",
    {"flash erase sector 6000", "flash erase sector 4000", "flash erase sector 0"}};
constexpr std::string_view kOldMonitorProgram = "flash program 0 00c10000 10000";

// Newer monitors take the first address padded to eight places.
constexpr BootSectors kSectorsAt100000{
    "flash erase sector   108000",
    {"flash erase sector 106000", "flash erase sector 104000", "flash erase sector 100000"}};
constexpr BootSectors kSectorsAt0{
    "flash erase sector     8000",
    {"flash erase sector 6000", "flash erase sector 4000", "flash erase sector 0"}};
constexpr BootSectors kSectorsAtA0000000{
    "flash erase sector a0008000",
    {"flash erase sector a0006000", "flash erase sector a0004000", "flash erase sector a0000000"}};

constexpr RamSetup kRamC20Small{"fill 00c20000 10000 ff", "s3offset ff3e0000", "s3offset fffe0000"};
constexpr RamSetup kRamC10Small{"fill 00c10000 10000 ff", "s3offset ff3f0000", "s3offset ffff0000"};
constexpr RamSetup kRamB03Small{"fill b0300000 10000 ff", "s3offset efd00000", "s3offset fff00000"};
constexpr RamSetup kRamDispenser{"fill 00c20000 20000 ff", "s3offset ff3e0000",
                                 "s3offset fffe0000"};
constexpr RamSetup kRamC20Ext{"fill 00c20000 20000 ff", "s3offset ff3E0000", "s3offset fffE0000"};
constexpr RamSetup kRamDmx610{"fill AC100000 20000 ff", "s3offset f3f00000", "s3offset fff00000"};
constexpr RamSetup kRamB03Ext{"fill b0300000 20000 ff", "s3offset efd00000", "s3offset fff00000"};

constexpr GeneralUpdate kUpdateAlder{kRamC20Small, &kSectorsAt100000, "",
                                     "flash program   100000 00c20000 10000"};
constexpr GeneralUpdate kUpdateAlder177{kRamB03Small, &kSectorsAtA0000000, "",
                                        "flash program a0000000 b0300000 10000"};
// KSB and HERON.
constexpr GeneralUpdate kUpdateAt100000{kRamC10Small, &kSectorsAt100000, "",
                                        "flash program   100000 00c10000 10000"};
// CORE-510, QRT, CORE-540, FGH720, and SMALL-ALDER below monitor version 25.
constexpr GeneralUpdate kUpdateAt0{kRamC10Small, &kSectorsAt0, "",
                                   "flash program        0 00c10000 10000"};
constexpr GeneralUpdate kUpdateSmallAlder{kRamC20Small, &kSectorsAt0, "",
                                          "flash program        0 00c20000 10000"};
constexpr GeneralUpdate kUpdateDispenser{kRamDispenser, &kSectorsAt0, "flash erase sector 00010000",
                                         "flash program        0 00c20000 20000"};
constexpr GeneralUpdate kUpdateDmx610{kRamDmx610, &kSectorsAtA0000000,
                                      "flash erase sector a0010000",
                                      "flash program a0000000 ac100000 20000"};
constexpr GeneralUpdate kUpdateAlderExt{kRamC20Ext, &kSectorsAt100000,
                                        "flash erase sector 00110000",
                                        "flash program   100000 00c20000 20000"};
constexpr GeneralUpdate kUpdateSmallAlderExt{kRamC20Ext, &kSectorsAt0,
                                             "flash erase sector 00010000",
                                             "flash program        0 00c20000 20000"};
constexpr GeneralUpdate kUpdateAlder177Ext{kRamB03Ext, &kSectorsAtA0000000,
                                           "flash erase sector a0010000",
                                           "flash program a0000000 b0300000 20000"};

// SMALL-ALDER monitors from this version on use the larger RAM window.
constexpr int32_t kSmallAlderNewRamVersion = 25;

constexpr RamBankUpdate kRamBankUpdate{"fill 83d00000 100000 ff", "s3offset fff00000",
                                       "flash erase bootloader", "flash program 0 83d00000 40000"};

constexpr std::string_view kCall40 = "call 40";
constexpr std::string_view kCall0 = "call 0";

// ---------------------------------------------------------------------------------------
// Baud rates

constexpr BaudCapabilities kBaudCapped{Allow115200::Yes, BaudChoiceChange::Cap230400To115200,
                                       ExtendedFlag::Clear};
constexpr BaudCapabilities kBaudCappedExt{Allow115200::Yes, BaudChoiceChange::Cap230400To115200,
                                          ExtendedFlag::Set};
constexpr BaudCapabilities kBaudKept{Allow115200::Yes, BaudChoiceChange::None, ExtendedFlag::Clear};
constexpr BaudCapabilities kBaudKeptExt{Allow115200::Yes, BaudChoiceChange::None,
                                        ExtendedFlag::Set};
constexpr BaudCapabilities kBaudVantix{Allow115200::Yes, BaudChoiceChange::None,
                                       ExtendedFlag::Clear, true};
constexpr BaudCapabilities kBaudForced115200{Allow115200::Yes, BaudChoiceChange::Force115200,
                                             ExtendedFlag::Unchanged};
constexpr BaudCapabilities kBaudBirch{Allow115200::WithFastClock, BaudChoiceChange::Force57600,
                                      ExtendedFlag::Unchanged};
constexpr BaudCapabilities kBaudSlow{Allow115200::No, BaudChoiceChange::None,
                                     ExtendedFlag::Unchanged};

// ---------------------------------------------------------------------------------------
// The table, indexed by code

constexpr std::array<ModelInfo, kModelCount> kModels{{
    {.code = 0, .panelText = "???"},
    {.code = 1,
     .keyword = "alder",
     .panelText = "Alder-Panel",
     .identification = {"ALDER   ", 39, kRam1M, SizeRule::Listed, kAlderSizes},
     .bootInitImage = "Bootinit.rom",
     .bootLoaderImage = "Boot.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateAlder,
     .restart = kCall40,
     .variantPartner = 12,
     .baud = kBaudCapped,
     .erase = EraseKind::MappedBankRange,
     .oldMonitorFlash = {0x100000, 0x3FFFFF},
     .eeprom = EepromForm::BelowEnd,
     .housing = Housing::Panel,
     .accent = 0x266EC4},
    {.code = 2,
     .keyword = "birch",
     .panelText = "Birch-Panel",
     .identification = {"BIRCH", 39, kBirchRam, SizeRule::BirchBankTable, {}},
     .baud = kBaudBirch,
     .erase = EraseKind::MappedRange,
     .imageStartsAnywhere = true,
     .housing = Housing::WidePanel,
     .accent = 0x2E8C57},
    {.code = 3,
     .keyword = "alder177",
     .panelText = "Birch177-Panel",
     .identification = {"ALDER177", 39, kAlder177Ram, SizeRule::Listed, kAlder177Sizes},
     .bootInitImage = "Bootinitb.rom",
     .bootLoaderImage = "Bootb.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateAlder177,
     .restart = kCall0,
     .variantPartner = 14,
     .baud = kBaudKept,
     .eeprom = EepromForm::BelowEnd,
     .housing = Housing::WidePanel,
     .accent = 0x00858C},
    {.code = 4,
     .keyword = "kestrel",
     .panelText = "Kestrel-Board",
     .identification = {"KSB     ", 39, kRam1M, SizeRule::Listed, kAlderSizes},
     .bootInitImage = "BootinitKsb.rom",
     .bootLoaderImage = "BootKsb.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateAt100000,
     .restart = kCall40,
     .baud = kBaudCapped,
     .housing = Housing::Board,
     .accent = 0xC8A028},
    {.code = 5,
     .keyword = "core510",
     .panelText = "CORE-510",
     .identification = {"CORE510 ", 39, kRam4M, SizeRule::Listed, kFrom64kSizes},
     .bootInitImage = "BootinitCore510.rom",
     .bootLoaderImage = "BootCore510.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateAt0,
     .restart = kCall40,
     .baud = kBaudForced115200,
     .housing = Housing::Board,
     .accent = 0xB4B4BA},
    {.code = 6,
     .keyword = "heron",
     .panelText = "HERON-Board",
     .identification = {"HERON   ", 39, kRam1M, SizeRule::Listed, kAlderSizes},
     .bootInitImage = "BootinitHeron.rom",
     .bootLoaderImage = "BootHeron.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateAt100000,
     .restart = kCall40,
     .baud = kBaudCapped,
     .housing = Housing::Board,
     .accent = 0xC8A028},
    {.code = 7,
     .keyword = "qrt",
     .panelText = "QRT",
     .identification = {"QRT     ", 39, kRam1M, SizeRule::Listed, kFrom64kSizes},
     .bootInitImage = "BootinitQrt.rom",
     .bootLoaderImage = "BootQrt.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateAt0,
     .restart = kCall40,
     .baud = kBaudCapped,
     .housing = Housing::Board,
     .accent = 0xB4B4BA},
    {.code = 8,
     .keyword = "core540",
     .panelText = "CORE-540",
     .identification = {"CORE540 ", 39, kRam256k, SizeRule::Listed, kFrom64kSizes},
     .bootInitImage = "BootinitCore540.rom",
     .bootLoaderImage = "BootCore540.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateAt0,
     .restart = kCall40,
     .baud = kBaudForced115200,
     .housing = Housing::Board,
     .accent = 0xB4B4BA},
    {.code = 9,
     .keyword = "small-alder",
     .panelText = "SMALL-ALDER",
     .identification = {"SMALL-ALDER", 42, kRam1M, SizeRule::Listed, kFrom64kSizes},
     .bootInitImage = "BootinitSmallAlder.rom",
     .bootLoaderImage = "BootSmallAlder.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateSmallAlder,
     .generalUpdateBefore25 = &kUpdateAt0,
     .restart = kCall40,
     .variantPartner = 13,
     .baud = kBaudCapped,
     .extendedNeedsMonitor = 25,
     .eeprom = EepromForm::BelowEnd,
     .housing = Housing::SmallPanel,
     .accent = 0x266EC4},
    {.code = 10,
     .keyword = "dispenser",
     .panelText = "DISPENSER",
     .identification = {"DISPENSER", 48, kRam1M, SizeRule::Listed, kDispenserSizes},
     .bootInitImage = "Bootinitm.rom",
     .bootLoaderImage = "Bootm.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateDispenser,
     .restart = kCall40,
     .baud = kBaudCapped,
     .erase = EraseKind::MappedRange,
     .housing = Housing::Cabinet,
     .accent = 0xC83C32},
    {.code = 11,
     .keyword = "dmx610",
     .panelText = "Birch +",
     .identification = {"DMX610   ", 39, kDmx610Ram, SizeRule::Listed, kAlder177ExtSizes},
     .bootInitImage = "Bootinitn.rom",
     .bootLoaderImage = "Bootn.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateDmx610,
     .restart = kCall0,
     .baud = kBaudKept,
     .usbReenumerates = true,
     .eeprom = EepromForm::BelowEnd,
     .housing = Housing::WidePanel,
     .accent = 0x7648AA},
    {.code = 12,
     .keyword = "alder ext",
     .panelText = "Alder-Panel Ext",
     .identification = {"ALDER EXT", 40, kRam1M, SizeRule::Listed, kAlderExtSizes},
     .bootInitImage = "BootinitExt.rom",
     .bootLoaderImage = "BootExt.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateAlderExt,
     .restart = kCall40,
     .variantPartner = 1,
     .extendedVariant = true,
     .baud = kBaudCappedExt,
     .eeprom = EepromForm::BelowEnd,
     .housing = Housing::Panel,
     .accent = 0x266EC4},
    {.code = 13,
     .keyword = "small-alder ext",
     .panelText = "SMALL-ALDER EXT",
     .identification = {"SMALL-ALDER EXT", 46, kRam1M, SizeRule::Listed, kSmallAlderExtSizes},
     .bootInitImage = "BootinitSmallAlderExt.rom",
     .bootLoaderImage = "BootSmallAlderExt.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateSmallAlderExt,
     .restart = kCall40,
     .variantPartner = 9,
     .extendedVariant = true,
     .baud = kBaudCappedExt,
     .erase = EraseKind::MappedRange,
     .eeprom = EepromForm::BelowEnd,
     .housing = Housing::SmallPanel,
     .accent = 0x266EC4},
    {.code = 14,
     .keyword = "alder177 ext",
     .panelText = "Birch177-Panel Ext",
     .identification = {"ALDER177 EXT", 43, kAlder177Ram, SizeRule::Listed, kAlder177ExtSizes},
     .bootInitImage = "BootinitbExt.rom",
     .bootLoaderImage = "BootbExt.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateAlder177Ext,
     .restart = kCall0,
     .variantPartner = 3,
     .extendedVariant = true,
     .baud = kBaudKeptExt,
     .eeprom = EepromForm::BelowEnd,
     .housing = Housing::WidePanel,
     .accent = 0x00858C},
    {.code = 15,
     .keyword = "fgh720",
     .panelText = "FGH720",
     .identification = {"FGH720  ", 39, kRam256k, SizeRule::Listed, kFrom64kSizes},
     .bootInitImage = "BootinitFgh720.rom",
     .bootLoaderImage = "BootFgh720.rom",
     .update = UpdateKind::General,
     .generalUpdate = &kUpdateAt0,
     .restart = kCall40,
     .baud = kBaudForced115200,
     .erase = EraseKind::None,
     .housing = Housing::Board,
     .accent = 0xC8A028},
    {.code = 16,
     .keyword = "t_pq7xx",
     .panelText = "T-PQ7xx",
     .identification = {"T-PQ7", 38, kTpq7Ram, SizeRule::ListedOrKeep, kTpq7Sizes},
     .baud = kBaudSlow,
     .erase = EraseKind::None,
     .blockLimit = 256,
     .startsByReset = true,
     .backupOnAnyMonitor = true,
     .wholeFlashBackup = 0xE000,
     .housing = Housing::Board,
     .accent = 0xB4B4BA},
    {.code = 17,
     .panelText = "VANTIX",
     .identification = {"VANTIX   ", 39, kVantixRam, SizeRule::Listed, kVantixSizes},
     .bootLoaderImage = "Bootp.rom",
     .update = UpdateKind::RamBank,
     .restart = kCall0,
     .baud = kBaudVantix,
     .stagedDownload = true,
     .usbReenumerates = true,
     .backupOnAnyMonitor = true,
     .eeprom = EepromForm::FixedStart,
     .housing = Housing::WidePanel,
     .accent = 0xD66E14},
    {.code = 18,
     .panelText = "VANTIX+",
     .identification = {"VANTIX+  ", 39, kVantixRam, SizeRule::Listed, kVantixSizes},
     .bootLoaderImage = "Bootq.rom",
     .update = UpdateKind::RamBank,
     .restart = kCall0,
     .baud = kBaudVantix,
     .stagedDownload = true,
     .usbReenumerates = true,
     .backupOnAnyMonitor = true,
     .eeprom = EepromForm::FixedStart,
     .housing = Housing::WidePanel,
     .accent = 0xD66E14},
}};

// A text that begins with another model's text must be tried first: "ALDER177 EXT" before
// "ALDER177", "SMALL-ALDER EXT" before "SMALL-ALDER". ("ALDER   " carries its blanks, so it
// does not match "ALDER177".)
constexpr std::array<const ModelInfo*, kModelCount - 1> kIdentificationOrder{
    &kModels[1],  &kModels[12], &kModels[2],  &kModels[14], &kModels[3],  &kModels[4],
    &kModels[5],  &kModels[6],  &kModels[7],  &kModels[13], &kModels[9],  &kModels[8],
    &kModels[10], &kModels[11], &kModels[17], &kModels[18], &kModels[15], &kModels[16],
};

}  // namespace

std::span<const BankLayout> birchBankLayouts() { return kBirchLayouts; }

const ModelInfo* findModel(int32_t code) {
    if (code < 0 || code >= kModelCount) return nullptr;
    return &kModels[static_cast<size_t>(code)];
}

const ModelInfo& modelRow(int32_t code) {
    const ModelInfo* model = findModel(code);
    return model != nullptr ? *model : kModels[0];
}

bool isOldMonitor(int32_t monitorVersion) { return monitorVersion <= kLastOldMonitorVersion; }

uint32_t monitorAddress(int32_t code, int32_t monitorVersion, uint32_t address) {
    const AddressRange& seenFromZero = modelRow(code).oldMonitorFlash;
    if (seenFromZero.high == 0 || !isOldMonitor(monitorVersion) || address < seenFromZero.low ||
        address > seenFromZero.high)
        return address;
    return address - seenFromZero.low;
}

int32_t modelByKeyword(std::string_view keyword) {
    if (keyword.empty()) return 0;
    const auto it = std::find_if(kModels.begin(), kModels.end(),
                                 [&](const ModelInfo& m) { return m.keyword == keyword; });
    return it == kModels.end() ? 0 : it->code;
}

std::span<const ModelInfo* const> identificationOrder() { return kIdentificationOrder; }

int32_t updateVariant(int32_t code, bool extended) {
    const ModelInfo* model = findModel(code);
    if (model == nullptr || model->variantPartner == 0) return code;
    return model->extendedVariant == extended ? code : model->variantPartner;
}

std::string_view updateAvailabilityFile(int32_t code, bool extended) {
    const ModelInfo* model = findModel(updateVariant(code, extended));
    if (model == nullptr) return {};
    switch (model->update) {
        case UpdateKind::General:
            return model->bootInitImage;
        case UpdateKind::RamBank:
            return model->bootLoaderImage;
        case UpdateKind::NotSupported:
            break;
    }
    return {};
}

std::optional<GeneralUpdateSteps> generalUpdateSteps(int32_t code, int32_t monitorVersion) {
    const ModelInfo* model = findModel(code);
    if (model == nullptr || model->update != UpdateKind::General) return std::nullopt;

    const GeneralUpdate* update = model->generalUpdate;
    if (model->generalUpdateBefore25 != nullptr && monitorVersion < kSmallAlderNewRamVersion) {
        update = model->generalUpdateBefore25;
    }
    if (isOldMonitor(monitorVersion)) {
        return GeneralUpdateSteps{
            update->ram, kOldMonitorSectors, {}, kOldMonitorProgram, model->restart};
    }
    return GeneralUpdateSteps{update->ram, *update->sectors, update->extraSector, update->program,
                              model->restart};
}

const RamBankUpdate& ramBankUpdate() { return kRamBankUpdate; }

bool sameHardware(int32_t code, int32_t other) {
    const ModelInfo* model = findModel(code);
    return model != nullptr &&
           (code == other || (model->variantPartner != 0 && model->variantPartner == other));
}

}  // namespace tarmix
