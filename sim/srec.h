// S-records as the monitor takes them and as the simulator writes its own files: "S", the
// type digit, then pairs of hexadecimal digits: the byte count, the address (2 bytes for
// types 0, 1, 5 and 9, 3 for 2, 6 and 8, 4 for 3 and 7), the data and a checksum that makes
// every byte after the type add up to 0xff. Types 1, 2 and 3 carry data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarmix::sim {

struct Srecord {
    char type = '0';
    uint32_t address = 0;
    std::vector<uint8_t> data;
    bool carriesData() const { return type >= '1' && type <= '3'; }
};

// The record of one line (without its line end); nullopt for anything that is not exactly a
// record: an unknown type, an odd number of digits, a count that disagrees with the length,
// a wrong checksum.
std::optional<Srecord> DecodeSrecord(std::string_view line);

// The line of a record, upper-case digits, no line end. At most 250 data bytes.
std::string EncodeSrecord(char type, uint32_t address, std::span<const uint8_t> data);

}  // namespace tarmix::sim
