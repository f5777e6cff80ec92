// Writing S-records, as the backup saves a controller's flash into a ROM image file.
//
// Each call replaces the contents of `line` with one record's text, hexadecimal digits in
// upper case, without a line end (the caller adds CR LF). The checksum is the published
// one: 255 minus the low byte of the sum of all bytes from the byte count to the last
// address or data byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tarmix {

// Data bytes the backup puts into each "S3" record (fewer only in a block's last record).
inline constexpr size_t kBackupRecordBytes = 16;

// The address bytes of a record type: 2 for '0', '1', '5' and '9', 3 for '2', '6' and '8',
// 4 for '3' and '7'; 0 for a type that does not exist.
size_t SrecAddressBytes(char type);

// Any record: "S", the type digit, the byte count, the address and the data, then the
// checksum. The address has 2 bytes for types '0', '1', '5' and '9', 3 bytes for '2', '6'
// and '8', 4 bytes for '3' and '7'; it is cut to that width. `data` may hold at most
// 255 - (address bytes + 1) bytes, so that the byte count fits.
void FormatRecord(std::string& line, char type, uint32_t address, std::span<const uint8_t> data);

// One "S3" record of `count` data bytes taken from data[offset...], at address
// baseAddress + offset; afterwards offset has grown by count. count is at most 250 and
// offset + count at most data.size().
// Example: count 16 of the bytes 0x00..0x0F, base 0, offset 0:
// "S31500000000000102030405060708090A0B0C0D0E0F72".
void FormatDataRecord(std::string& line, std::span<const uint8_t> data, size_t& offset,
                      uint32_t baseAddress, size_t count);

// One "S5" record holding the number of data records written (low 16 bits): "S5030002FA"
// for 2.
void FormatCountRecord(std::string& line, uint32_t recordCount);

// One "S7" record holding the start address: "S70500000000FA" for 0.
void FormatEndRecord(std::string& line, uint32_t address);

}  // namespace tarmix
