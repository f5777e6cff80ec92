// The lines and records of a ROM image file, read the same way by every reader of the
// image (extent scan, block assembly, header reading).
//
// Lines: 8-bit text, a line ends at a line feed. The character before the line feed is
// taken to be a carriage return and dropped, whatever it is, so a line of n characters
// keeps n - 1 of them (a tool that writes LF-only line ends loses the last checksum digit,
// which is never read). The last line may end at the end of the file instead; it loses its
// last character too. At most kKeptLineLength characters of a line are kept; the rest of a
// longer line is skipped without being held in memory.
//
// Records: "S3" (32-bit address) and "S2" (24-bit address) are data records; an "S0" line
// whose characters 3..13 are the plain text "RAM-VERSION" is the RAM-only marker; every
// other line is of no interest. Hexadecimal digits are not validated: a character is
// upper-cased, "0".."9" give 0..9 and any other character gives its code minus 55, so a
// bad digit gives a wrong value, not an error. The checksum is neither read nor verified.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/input_file.h"

namespace tarmix {

// No reader keeps more of a line than this; the longest data record needs 514 characters.
inline constexpr size_t kKeptLineLength = 598;

// Reads a file line by line through a large buffer; one line in memory at a time.
class SrecLineReader {
  public:
    SrecLineReader();
    SrecLineReader(const SrecLineReader&) = delete;
    SrecLineReader& operator=(const SrecLineReader&) = delete;

    // Opens the file for reading. false when it does not exist, is no regular file (a
    // folder, a pipe, a device) or cannot be opened; the reader then returns no lines.
    bool open(const std::string& path);

    // The next line as kept (see above); an empty line comes back as an empty view. The
    // view stays valid until the next call. false at the end of the file, and when reading
    // fails (then failed() is true).
    bool next(std::string_view& line);

    bool failed() const { return failed_; }
    // Bytes of the file consumed so far, up to the end of the last line returned.
    uint64_t position() const { return consumed_ - static_cast<uint64_t>(end_ - cur_); }
    // The size of the file as the file system reported it when it was opened.
    uint64_t size() const { return size_; }
    // Number of the last line returned, counting from 1.
    uint64_t lineNumber() const { return lineNumber_; }

  private:
    bool refill();
    std::string_view keep(const char* text, uint64_t rawLength) const;

    InputFile file_;
    std::vector<char> chunk_;
    const char* cur_ = nullptr;
    const char* end_ = nullptr;
    std::vector<char> carry_;  // the start of a line that crosses a chunk boundary
    uint64_t consumed_ = 0;
    uint64_t size_ = 0;
    uint64_t lineNumber_ = 0;
    bool failed_ = false;
};

// What a kept line holds.
enum class LineKind {
    kOther,          // not a record any reader uses: ignored
    kData,           // an "S3" or "S2" data record
    kRamOnlyMarker,  // the "S0" line of an image that runs from RAM only
    kDamaged,        // a data record whose data digits run past the end of the line
};

// A data record's address and its data bytes, still as hexadecimal digits.
struct DataRecord {
    uint32_t address = 0;
    std::string_view digits;  // 2 * count digits
    size_t count = 0;         // data bytes: byte count - 5 ("S3") or - 4 ("S2"), at least 0
};

// Classifies a kept line. For kData, `record` is filled. A data record needs at least 14
// ("S3") or 12 ("S2") characters, else it is kOther. A record whose byte count promises more
// data digits than the line holds is kDamaged: its data is missing, not merely its checksum.
LineKind ClassifyLine(std::string_view line, DataRecord& record);

// Decodes digits.size() / 2 bytes, two digits each, most significant digit first.
void DecodeBytes(std::string_view digits, uint8_t* out);

}  // namespace tarmix
