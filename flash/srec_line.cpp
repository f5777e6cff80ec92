#include "flash/srec_line.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tarmix {

namespace {

// Bytes fetched from the file per read.
constexpr size_t kChunkSize = 256 * 1024;

// The digit rule: upper-case the character; "0".."9" are 0..9, anything else is its code
// minus 55. Values wrap like the unsigned arithmetic the fields are built with.
constexpr std::array<uint32_t, 256> kDigitValue = [] {
    std::array<uint32_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        const int upper = (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c;
        table[c] = static_cast<uint32_t>(upper >= '0' && upper <= '9' ? upper - '0' : upper - 55);
    }
    return table;
}();

uint32_t Digit(char c) { return kDigitValue[static_cast<unsigned char>(c)]; }

uint8_t Byte(const char* digits) {
    return static_cast<uint8_t>(Digit(digits[0]) * 16 + Digit(digits[1]));
}

uint32_t Field(std::string_view digits) {
    uint32_t value = 0;
    for (char c : digits) value = value * 16 + Digit(c);
    return value;
}

constexpr std::string_view kRamOnlyText = "RAM-VERSION";

LineKind ClassifyData(std::string_view line, size_t addressDigits, DataRecord& record) {
    const size_t dataStart = 4 + addressDigits;
    // Type, byte count, address and at least a checksum.
    if (line.size() < dataStart + 2) return LineKind::kOther;
    const size_t overhead = addressDigits / 2 + 1;  // address bytes and the checksum byte
    const size_t byteCount = Byte(line.data() + 2);
    record.count = byteCount > overhead ? byteCount - overhead : 0;
    if (dataStart + 2 * record.count > line.size()) return LineKind::kDamaged;
    record.address = Field(line.substr(4, addressDigits));
    record.digits = line.substr(dataStart, 2 * record.count);
    return LineKind::kData;
}

}  // namespace

SrecLineReader::SrecLineReader() : chunk_(kChunkSize) { carry_.reserve(kKeptLineLength); }

bool SrecLineReader::open(const std::string& path) {
    cur_ = end_ = nullptr;
    consumed_ = size_ = lineNumber_ = 0;
    failed_ = false;
    if (!file_.open(path)) return false;
    size_ = file_.size();
    return true;
}

bool SrecLineReader::refill() {
    const size_t got = std::fread(chunk_.data(), 1, chunk_.size(), file_.get());
    consumed_ += got;
    cur_ = chunk_.data();
    end_ = cur_ + got;
    if (got == 0 && std::ferror(file_.get())) failed_ = true;
    return got > 0;
}

std::string_view SrecLineReader::keep(const char* text, uint64_t rawLength) const {
    const uint64_t kept = rawLength == 0 ? 0 : std::min<uint64_t>(rawLength - 1, kKeptLineLength);
    return {text, static_cast<size_t>(kept)};
}

bool SrecLineReader::next(std::string_view& line) {
    if (!file_.get() || failed_) return false;
    uint64_t raw = 0;  // characters of this line before its line feed, seen so far
    carry_.clear();
    for (;;) {
        if (cur_ == end_ && !refill()) {
            if (failed_ || raw == 0) return false;
            ++lineNumber_;
            line = keep(carry_.data(), raw);
            return true;
        }
        const auto* lf = static_cast<const char*>(std::memchr(cur_, '\n', end_ - cur_));
        if (lf && raw == 0) {  // the whole line lies inside the chunk: no copy
            line = keep(cur_, lf - cur_);
            cur_ = lf + 1;
            ++lineNumber_;
            return true;
        }
        const char* stop = lf ? lf : end_;
        const size_t piece = stop - cur_;
        const size_t room = kKeptLineLength - carry_.size();
        carry_.insert(carry_.end(), cur_, cur_ + std::min(piece, room));
        raw += piece;
        cur_ = stop;
        if (lf) {
            ++cur_;
            ++lineNumber_;
            line = keep(carry_.data(), raw);
            return true;
        }
    }
}

LineKind ClassifyLine(std::string_view line, DataRecord& record) {
    if (line.size() < 2 || line[0] != 'S') return LineKind::kOther;
    switch (line[1]) {
        case '3':
            return ClassifyData(line, 8, record);
        case '2':
            return ClassifyData(line, 6, record);
        case '0':
            return line.substr(2, kRamOnlyText.size()) == kRamOnlyText ? LineKind::kRamOnlyMarker
                                                                       : LineKind::kOther;
        default:
            return LineKind::kOther;
    }
}

void DecodeBytes(std::string_view digits, uint8_t* out) {
    const char* p = digits.data();
    for (size_t i = 0, n = digits.size() / 2; i < n; ++i, p += 2) out[i] = Byte(p);
}

}  // namespace tarmix
