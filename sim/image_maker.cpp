#include "sim/image_maker.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>

#include "sim/srec.h"

namespace tarmix::sim {

namespace {

// The info header's magic word and its tags "Inf1", "Inf2", "Inf3" as 32-bit values.
constexpr uint32_t kHeaderMagic = 0x00090009;
constexpr uint32_t kTagInf1 = 0x496E6631;
constexpr uint32_t kTagInf2 = 0x496E6632;
constexpr uint32_t kTagInf3 = 0x496E6633;
// Header bytes the maker writes: words 0..32 for "Inf1", up to the version word otherwise.
constexpr size_t kInf1HeaderBytes = 36;
constexpr size_t kInfHeaderBytes = 44;
// Largest address an "S2" record can hold.
constexpr uint64_t kS2AddressLimit = 0x1000000;
constexpr size_t kMaxRecordBytes = 250;
// The file is written in pieces of about this size.
constexpr size_t kWriteChunk = 1 << 20;

size_t HeaderBytes(HeaderKind kind) {
    switch (kind) {
        case HeaderKind::kNone:
            return 0;
        case HeaderKind::kInf1:
            return kInf1HeaderBytes;
        default:
            return kInfHeaderBytes;
    }
}

uint32_t Tag(HeaderKind kind) {
    switch (kind) {
        case HeaderKind::kInf1:
            return kTagInf1;
        case HeaderKind::kInf2:
            return kTagInf2;
        default:
            return kTagInf3;
    }
}

void PutWord(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, bool bigEndian) {
    for (size_t i = 0; i < 4; ++i) {
        const size_t shift = 8 * (bigEndian ? 3 - i : i);
        bytes[offset + i] = static_cast<uint8_t>(value >> shift);
    }
}

void PutHeader(std::vector<uint8_t>& bytes, uint32_t start, const ImageOptions& o) {
    const bool be = o.bigEndian;
    const uint32_t end = start + static_cast<uint32_t>(bytes.size());
    const bool inf1 = o.header == HeaderKind::kInf1;
    const uint32_t applicationStart = start + (inf1 ? 0 : o.skipOffset);
    PutWord(bytes, 0, kHeaderMagic, be);
    PutWord(bytes, 4, 0, be);
    PutWord(bytes, 8, Tag(o.header), be);
    PutWord(bytes, 12, applicationStart, be);  // code start
    PutWord(bytes, 16, end, be);               // code end
    PutWord(bytes, 20, end, be);               // ROM end
    PutWord(bytes, 24, o.ramStart, be);
    PutWord(bytes, 28, o.ramStart + o.ramNeeded, be);
    PutWord(bytes, 32, o.ramStart + o.ramAvailable, be);
    if (inf1) return;
    PutWord(bytes, 36, applicationStart, be);
    PutWord(bytes, 40, o.version, be);
}

// splitmix64: small, fast and the same on every machine.
uint64_t NextRandom(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::string CheckRequest(uint32_t start, uint32_t size, const ImageOptions& o) {
    const uint64_t end = uint64_t{start} + size;
    if (size == 0) return "the image size is 0";
    if (size < HeaderBytes(o.header)) return "the image is smaller than its header";
    if (end > (o.s2Records ? kS2AddressLimit : uint64_t{1} << 32)) {
        return "the image runs past the highest address its records can hold";
    }
    if (o.header != HeaderKind::kInf1 && o.header != HeaderKind::kNone && o.skipOffset >= size) {
        return "the application start lies outside the image";
    }
    if (o.recordBytes == 0 || o.recordBytes > kMaxRecordBytes) {
        return "the record length must be 1 to 250 bytes";
    }
    return {};
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Writes the records; false when the file cannot be written.
bool WriteRecords(std::FILE* file, uint32_t start, std::span<const uint8_t> data,
                  const ImageOptions& o) {
    std::string text;
    const auto put = [&](const std::string& record) {
        text += record;
        text += "\r\n";
        if (text.size() < kWriteChunk) return true;
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        text.clear();
        return written;
    };
    bool ok =
        put(o.ramOnly
                ? "S0RAM-VERSION"
                : EncodeSrecord(
                      '0', 0, {reinterpret_cast<const uint8_t*>(o.title.data()), o.title.size()}));
    uint32_t records = 0;
    for (size_t offset = 0; ok && offset < data.size(); ++records) {
        const size_t count = std::min(o.recordBytes, data.size() - offset);
        ok = put(EncodeSrecord(o.s2Records ? '2' : '3', start + static_cast<uint32_t>(offset),
                               data.subspan(offset, count)));
        offset += count;
    }
    // "S5" holds 16 bits of count; larger images take the 24-bit "S6".
    ok = ok && put(EncodeSrecord(records <= 0xFFFF ? '5' : '6', records, {}));
    ok = ok && put(EncodeSrecord(o.s2Records ? '8' : '7', start, {}));
    return ok && std::fwrite(text.data(), 1, text.size(), file) == text.size();
}

}  // namespace

bool ParseHeaderKind(std::string_view text, HeaderKind& kind) {
    static constexpr std::pair<std::string_view, HeaderKind> kNames[] = {
        {"inf1", HeaderKind::kInf1},
        {"inf2", HeaderKind::kInf2},
        {"inf3", HeaderKind::kInf3},
        {"none", HeaderKind::kNone},
    };
    for (const auto& [name, value] : kNames) {
        if (text == name) {
            kind = value;
            return true;
        }
    }
    return false;
}

std::vector<uint8_t> MakeImageBytes(uint32_t startAddress, uint32_t size,
                                    const ImageOptions& options) {
    std::vector<uint8_t> bytes(size);
    uint64_t state = options.seed;
    for (size_t i = 0; i < bytes.size(); i += 8) {
        const uint64_t random = NextRandom(state);
        for (size_t k = 0; k < 8 && i + k < bytes.size(); ++k) {
            bytes[i + k] = static_cast<uint8_t>(random >> (8 * k));
        }
    }
    if (options.header != HeaderKind::kNone && size >= HeaderBytes(options.header)) {
        PutHeader(bytes, startAddress, options);
    }
    return bytes;
}

int MakeRomImage(const std::string& path, uint32_t startAddress, uint32_t size,
                 const ImageOptions& options, std::string& error) {
    error = CheckRequest(startAddress, size, options);
    if (!error.empty()) return 1;
    return WriteRomImage(path, startAddress, MakeImageBytes(startAddress, size, options), options,
                         error);
}

int WriteRomImage(const std::string& path, uint32_t startAddress, std::span<const uint8_t> data,
                  const ImageOptions& options, std::string& error) {
    error = CheckRequest(startAddress, uint32_t(data.size()), options);
    if (!error.empty()) return 1;
    const std::string partial = path + ".part";
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(partial.c_str(), "wb"));
    bool ok = file && WriteRecords(file.get(), startAddress, data, options);
    ok = file && std::fclose(file.release()) == 0 && ok;
    std::error_code renameError;
    if (ok) std::filesystem::rename(partial, path, renameError);
    if (ok && !renameError) return 0;
    std::filesystem::remove(partial, renameError);
    error = "cannot write " + path;
    return 1;
}

}  // namespace tarmix::sim
