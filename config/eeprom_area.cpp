#include "config/eeprom_area.h"

#include "lang/text_names.h"
#include "models/models.h"

namespace tarmix {

namespace {

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = uint8_t(value >> (8 * i));
}

uint32_t Get32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

}  // namespace

std::array<uint8_t, kEepromHeaderSize> EncodeEepromHeader(const EepromHeader& header) {
    std::array<uint8_t, kEepromHeaderSize> bytes{};
    Put32(bytes.data(), header.start);
    Put32(bytes.data() + 4, header.dataLength);
    Put32(bytes.data() + 8, header.end);
    return bytes;
}

EepromHeader DecodeEepromHeader(std::span<const uint8_t, kEepromHeaderSize> bytes) {
    return {Get32(bytes.data()), Get32(bytes.data() + 4), Get32(bytes.data() + 8)};
}

std::optional<EepromRule> EepromRuleFor(int32_t hardwareModel) {
    switch (modelRow(hardwareModel).eeprom) {
        case EepromForm::FixedStart:
            return EepromRule{10, 0x200, false, text::kEepromSaveNeedsFirmware10};
        case EepromForm::BelowEnd:
            return EepromRule{33, 0x100, true, text::kEepromSaveNeedsFirmware33};
        case EepromForm::None:
            break;
    }
    return std::nullopt;
}

std::optional<EepromHeader> EepromArea(const EepromRule& rule, uint32_t dataLength, uint32_t end,
                                       int32_t driveBKb) {
    EepromHeader area{rule.fixedStart, dataLength, end};
    if (rule.belowEndWithDriveB && driveBKb != 0) {
        if (dataLength > end) return std::nullopt;
        area.start = end - dataLength;
    }
    if (area.start > area.end) return std::nullopt;
    return area;
}

uint16_t EepromChecksum(std::span<const uint8_t> bytes) {
    uint16_t sum = 0;
    for (uint8_t byte : bytes) sum = uint16_t(sum + byte);
    return uint16_t(~sum);
}

}  // namespace tarmix
