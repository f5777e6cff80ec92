#include "flash/rom_image.h"

#include <algorithm>
#include <vector>

#include "flash/rom_image_walk.h"
#include "lang/text_names.h"
#include "models/models.h"

namespace tarmix {

namespace {

constexpr uint32_t kWordMask = ~uint32_t{3};

size_t RoundUpToWord(size_t n) { return (n + 3) & ~size_t{3}; }

// The open block of the assembly. pos_ is the fill position counted from base_; 0 means no
// block is open.
class BlockBuilder {
  public:
    BlockBuilder(size_t limit, bool parallel, const BlockSink& emit)
        : bytes_(kBlockCapacity), limit_(limit), parallel_(parallel), emit_(emit) {}

    // Adds one data record; false as soon as emit asks to stop.
    bool add(uint32_t address, std::string_view digits) {
        if (pos_ > 0 && address != base_ + static_cast<uint32_t>(pos_)) {
            if (!finishAtGap()) return false;
        } else if (parallel_ && pos_ > kParallelBlockFill) {
            if (!finishWholeWords()) return false;
        }
        if (pos_ == 0) openAt(address);
        return append(digits);
    }

    // Emits the block open at the end of the file with its exact length.
    bool finish() { return pos_ == 0 || emitBlock(pos_); }

  private:
    bool emitBlock(size_t length) { return emit_(base_, {bytes_.data(), length}) == 0; }

    void openAt(uint32_t address) {
        base_ = address & kWordMask;
        pos_ = address - base_;
        std::fill_n(bytes_.begin(), pos_, 0xFF);
    }

    bool finishAtGap() {
        const size_t length = RoundUpToWord(pos_);
        std::fill(bytes_.begin() + pos_, bytes_.begin() + length, 0xFF);
        pos_ = 0;
        return emitBlock(length);
    }

    // The bytes of the unfinished last word move to the start of the next block.
    bool finishWholeWords() {
        const size_t length = pos_ & ~size_t{3};
        if (!emitBlock(length)) return false;
        std::copy(bytes_.begin() + length, bytes_.begin() + pos_, bytes_.begin());
        base_ += static_cast<uint32_t>(length);
        pos_ -= length;
        return true;
    }

    bool append(std::string_view digits) {
        size_t count = digits.size() / 2;
        while (!parallel_ && pos_ + count >= limit_) {
            const size_t take = limit_ - pos_;
            DecodeBytes(digits.substr(0, 2 * take), bytes_.data() + pos_);
            if (!emitBlock(limit_)) return false;
            base_ += static_cast<uint32_t>(limit_);
            pos_ = 0;
            digits.remove_prefix(2 * take);
            count -= take;
        }
        DecodeBytes(digits, bytes_.data() + pos_);
        pos_ += count;
        return true;
    }

    std::vector<uint8_t> bytes_;
    uint32_t base_ = 0;
    size_t pos_ = 0;
    const size_t limit_;
    const bool parallel_;
    const BlockSink& emit_;
};

}  // namespace

int ImageResult::messageId() const {
    switch (status) {
        case ImageStatus::kOpenFailed:
            return text::kFileOpenError;
        case ImageStatus::kReadFailed:
        case ImageStatus::kDamagedRecord:
            return text::kFileReadError;
        case ImageStatus::kOk:
        case ImageStatus::kStopped:
            break;
    }
    return 0;
}

ImageResult ScanImageExtent(const std::string& path, ImageExtent& extent) {
    ImageExtent found;
    SrecLineReader reader;
    const ImageResult result =
        WalkRecords(reader, path, [&found](LineKind kind, const DataRecord& record) {
            if (kind != LineKind::kData) return true;
            found.lowest = std::min(found.lowest, record.address);
            const uint32_t last = record.address + static_cast<uint32_t>(record.count) - 1;
            found.highest = std::max(found.highest, last);
            return true;
        });
    found.fileSize = static_cast<uint32_t>(reader.size());
    if (result.ok()) extent = found;
    return result;
}

size_t BlockLimitForModel(int hardwareModel) {
    const uint32_t limit = modelRow(hardwareModel).blockLimit;
    return limit != 0 ? limit : kSerialBlockLimit;
}

AssembleResult AssembleBlocks(const std::string& path, uint32_t startAddress, size_t blockLimit,
                              bool parallel, const BlockSink& emit, const ReadProgress& progress) {
    BlockBuilder builder(UsableBlockLimit(blockLimit), parallel, emit);
    AssembleResult result;
    SrecLineReader reader;
    const auto visit = [&](LineKind kind, const DataRecord& record) {
        if (kind == LineKind::kRamOnlyMarker) {
            result.ramOnly = true;
            return true;
        }
        return record.address < startAddress || builder.add(record.address, record.digits);
    };
    const auto afterLine = [&] {
        if (progress) progress(reader.position(), reader.size());
    };
    static_cast<ImageResult&>(result) = WalkRecords(reader, path, visit, afterLine);
    if (result.ok() && !builder.finish()) result.status = ImageStatus::kStopped;
    return result;
}

}  // namespace tarmix
