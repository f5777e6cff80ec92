// Reading application ROM images (Motorola S-records) for the download: the extent scan
// and the block assembler. The info header at the start of an image is read by
// flash/rom_image_header.h; the S-record writer is flash/srec_writer.h.
//
// Each reader reads the file once from the beginning, line by line (flash/srec_line.h), and
// holds no more than one line and one block. Malformed records are not detected: values
// come out as the digit rule gives them. One fault is refused, by every reader alike: a
// data record whose byte count promises more data digits than its line holds would
// otherwise put bytes into the flash that the file does not contain.
//
// Every reader returns an ImageResult. A failed read gives no partial results the caller
// may use; the result names the message to show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

namespace tarmix {

enum class ImageStatus {
    kOk = 0,
    kOpenFailed,     // the file does not exist, is a folder, or cannot be opened
    kReadFailed,     // reading stopped part-way with an error
    kDamagedRecord,  // a data record's data runs past the end of its line (see line)
    kStopped,        // AssembleBlocks only: the emit callback asked to stop
};

struct ImageResult {
    ImageStatus status = ImageStatus::kOk;
    // kDamagedRecord: the number of the offending line, counting from 1; otherwise 0.
    uint64_t line = 0;

    bool ok() const { return status == ImageStatus::kOk; }
    // The message for the caller to show, followed by the path: "File open error " for
    // kOpenFailed, "File read error" for kReadFailed and kDamagedRecord (with the line
    // number, where the caller can show it); 0 for kOk and kStopped, where there is nothing
    // to say or the caller has already said it.
    int messageId() const;
};

// Where an image lies.
struct ImageExtent {
    // Smallest address of any data record; 0xFFFFFFFF when there is none.
    uint32_t lowest = 0xFFFFFFFF;
    // Largest last-byte address (address + data bytes - 1) of any data record; 0 when there
    // is none. Both are unsigned 32-bit compares.
    uint32_t highest = 0;
    // The file's size as the file system reports it (low 32 bits).
    uint32_t fileSize = 0;
};

// Reads the whole file. kOk with the extent filled; otherwise the extent is not to be used.
// An empty file, or one without data records, is kOk with lowest 0xFFFFFFFF, highest 0.
ImageResult ScanImageExtent(const std::string& path, ImageExtent& extent);

// Block limit L: a block sent over the serial line holds at most this many bytes.
inline constexpr size_t kSerialBlockLimit = 4000;
// With the parallel transfer a block is finished once it holds more than this many bytes.
inline constexpr size_t kParallelBlockFill = 9000;
// No block is ever longer than this.
inline constexpr size_t kBlockCapacity = 10000;

// The block limit for a hardware model code: its monitor's own (the model table), else
// kSerialBlockLimit.
size_t BlockLimitForModel(int hardwareModel);

// One finished block: `bytes.size()` bytes of image data from device address `base` (always
// a multiple of 4). Bytes the image does not define inside the block are 0xFF. The span is
// valid only during the call. Return 0 to go on, non-zero to stop the assembly.
using BlockSink = std::function<int(uint32_t base, std::span<const uint8_t> bytes)>;
// Called after each line read: bytes of the file consumed so far, and the file's size.
using ReadProgress = std::function<void(uint64_t position, uint64_t fileSize)>;

struct AssembleResult : ImageResult {
    // The file holds the RAM-only marker: the image runs from RAM and must not be copied
    // into the flash. Set as soon as the marker line has been read.
    bool ramOnly = false;
};

// Cuts the image into contiguous blocks and hands each to `emit`, in file order.
//
// Records whose address is below `startAddress` are left out whole (also one that begins
// below it and ends above it). A block starts at its first record's address rounded down to
// a multiple of 4, the bytes before that record being 0xFF. A record that does not continue
// the open block (a gap, also backwards) finishes it: it is emitted with its length rounded
// up to a multiple of 4, padded with 0xFF. Serial transfer (`parallel` false): a block that
// reaches `blockLimit` bytes is emitted at exactly that length and the next one starts right
// behind it, so such blocks lie on multiples of the limit from the first block's base.
// Parallel transfer: the limit does not apply; once a block holds more than 9000 bytes, it
// is emitted up to its last whole word and the 0 to 3 bytes after that start the next block.
// The block open at the end of the file is emitted with its exact length (not rounded).
//
// `blockLimit` is taken as a multiple of 4 between 4 and kBlockCapacity.
//
// Returns kOk after the last block, kStopped as soon as `emit` returns non-zero (no further
// block is emitted), kOpenFailed, kReadFailed or kDamagedRecord (blocks finished before the
// fault have been emitted; the open block, the damaged record and everything after it are
// not). ScanImageExtent refuses a damaged file as well, so a caller that scans first never
// sends any of it.
AssembleResult AssembleBlocks(const std::string& path, uint32_t startAddress, size_t blockLimit,
                              bool parallel, const BlockSink& emit,
                              const ReadProgress& progress = nullptr);

}  // namespace tarmix
