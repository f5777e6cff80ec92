// Which part of the controller's EEPROM a save covers, and the layout of the EEPROM image
// file that holds it.
//
// The image file is little-endian: the start address, the EEPROM data length (value 2 of
// the capability record at the time of the save) and the end address (value 3, just past
// the last byte), each 32 bits unsigned; then the EEPROM contents from the start address
// to the end address.
//
// The area by hardware model:
//   17, 18                      from 0x200                            firmware 10 or higher
//   1, 3, 9, 11, 12, 13, 14     from 0x100; with a drive B: only the   firmware 33 or higher
//                               data length below the end address
//   every other model           no EEPROM save
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tarmix {

inline constexpr size_t kEepromHeaderSize = 12;
// The most the monitor's EEPROM block commands carry at once.
inline constexpr uint32_t kEepromBlockLength = 0xF00;

struct EepromHeader {
    uint32_t start = 0;
    uint32_t dataLength = 0;
    uint32_t end = 0;
    // The contents' size: end - start.
    uint32_t size() const { return end - start; }
    friend bool operator==(const EepromHeader&, const EepromHeader&) = default;
};

std::array<uint8_t, kEepromHeaderSize> EncodeEepromHeader(const EepromHeader& header);
EepromHeader DecodeEepromHeader(std::span<const uint8_t, kEepromHeaderSize> bytes);

// How a model saves its EEPROM; nullopt for the models without an EEPROM save.
struct EepromRule {
    int32_t firstFirmware;    // older monitors lack the block commands
    uint32_t fixedStart;      // the start address
    bool belowEndWithDriveB;  // with a drive B: the area is the data length below the end
    int firmwareWarningText;  // the catalogue text that says which firmware is needed
};
std::optional<EepromRule> EepromRuleFor(int32_t hardwareModel);

// The area a save of this model covers, from the capability record's data length and end
// address and the size of drive B: in kB. nullopt when the figures make no area (a data
// length above the end address, or a start above the end): nothing may then be read or
// written.
std::optional<EepromHeader> EepromArea(const EepromRule& rule, uint32_t dataLength, uint32_t end,
                                       int32_t driveBKb);

// The 16-bit checksum of a block: the ones' complement of the sum of its bytes.
uint16_t EepromChecksum(std::span<const uint8_t> bytes);

}  // namespace tarmix
