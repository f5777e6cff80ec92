#include "sim/srec.h"

namespace tarmix::sim {

namespace {

size_t addressBytes(char type) {
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
            return 0;  // no such type
    }
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::optional<Srecord> DecodeSrecord(std::string_view line) {
    if (line.size() < 2 || line[0] != 'S' || line.size() % 2) return std::nullopt;
    const size_t width = addressBytes(line[1]);
    std::vector<uint8_t> bytes;
    unsigned sum = 0;
    for (size_t i = 2; i < line.size(); i += 2) {
        const int high = digitValue(line[i]), low = digitValue(line[i + 1]);
        if (width == 0 || high < 0 || low < 0) return std::nullopt;
        bytes.push_back(uint8_t(high << 4 | low));
        sum += bytes.back();
    }
    if (bytes.size() < 2 + width || bytes[0] + 1u != bytes.size() || (sum & 0xff) != 0xff)
        return std::nullopt;
    Srecord record{line[1], 0, {}};
    for (size_t i = 1; i <= width; ++i) record.address = record.address << 8 | bytes[i];
    record.data.assign(bytes.begin() + 1 + long(width), bytes.end() - 1);
    return record;
}

std::string EncodeSrecord(char type, uint32_t address, std::span<const uint8_t> data) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const size_t width = addressBytes(type);
    std::string line{'S', type};
    unsigned sum = 0;
    const auto put = [&](uint8_t byte) {
        sum += byte;
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0x0f];
    };
    put(uint8_t(width + data.size() + 1));
    for (size_t i = width; i-- > 0;) put(uint8_t(address >> (8 * i)));
    for (uint8_t byte : data) put(byte);
    put(uint8_t(0xff - (sum & 0xff)));
    return line;
}

}  // namespace tarmix::sim
