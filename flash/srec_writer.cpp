#include "flash/srec_writer.h"

#include <cassert>

namespace tarmix {

size_t SrecAddressBytes(char type) {
    switch (type) {
        case '0':
        case '1':
        case '5':
        case '9':
            return 2;
        case '2':
        case '6':
        case '8':
            return 3;
        case '3':
        case '7':
            return 4;
        default:
            return 0;
    }
}

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

void FormatRecord(std::string& line, char type, uint32_t address, std::span<const uint8_t> data) {
    const size_t addressBytes = SrecAddressBytes(type);
    assert(data.size() + addressBytes + 1 <= 255);
    const auto byteCount = static_cast<uint8_t>(addressBytes + data.size() + 1);
    unsigned sum = 0;
    const auto put = [&](uint8_t byte) {
        sum += byte;
        line += kHexDigits[byte >> 4];
        line += kHexDigits[byte & 0x0F];
    };
    line.assign({'S', type});
    line.reserve(4 + 2 * (addressBytes + data.size() + 1));
    put(byteCount);
    for (size_t i = addressBytes; i-- > 0;) put(static_cast<uint8_t>(address >> (8 * i)));
    for (uint8_t byte : data) put(byte);
    put(static_cast<uint8_t>(0xFF - (sum & 0xFF)));
}

void FormatDataRecord(std::string& line, std::span<const uint8_t> data, size_t& offset,
                      uint32_t baseAddress, size_t count) {
    FormatRecord(line, '3', baseAddress + static_cast<uint32_t>(offset),
                 data.subspan(offset, count));
    offset += count;
}

void FormatCountRecord(std::string& line, uint32_t recordCount) {
    FormatRecord(line, '5', recordCount & 0xFFFF, {});
}

void FormatEndRecord(std::string& line, uint32_t address) { FormatRecord(line, '7', address, {}); }

}  // namespace tarmix
