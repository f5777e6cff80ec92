// The record walk shared by the readers of flash/rom_image.h and flash/rom_image_header.h.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "flash/rom_image.h"
#include "flash/srec_line.h"

namespace tarmix {

// The block limit as the readers use it: a multiple of 4 between 4 and kBlockCapacity.
inline size_t UsableBlockLimit(size_t blockLimit) {
    return std::clamp<size_t>(blockLimit & ~size_t{3}, 4, kBlockCapacity);
}

// Opens the file with `reader` and calls visit(kind, record) for each data record (kData)
// and RAM-only marker (kRamOnlyMarker) in file order; visit returns false to stop the walk,
// which then returns kStopped. A damaged data record ends the walk with kDamagedRecord
// before it is visited. After every line, afterLine() runs.
template <typename Visit, typename AfterLine>
ImageResult WalkRecords(SrecLineReader& reader, const std::string& path, Visit&& visit,
                        AfterLine&& afterLine) {
    if (!reader.open(path)) return {ImageStatus::kOpenFailed};
    std::string_view line;
    DataRecord record;
    while (reader.next(line)) {
        const LineKind kind = ClassifyLine(line, record);
        if (kind == LineKind::kDamaged) return {ImageStatus::kDamagedRecord, reader.lineNumber()};
        if (kind != LineKind::kOther && !visit(kind, record)) return {ImageStatus::kStopped};
        afterLine();
    }
    if (reader.failed()) return {ImageStatus::kReadFailed};
    return {};
}

template <typename Visit>
ImageResult WalkRecords(SrecLineReader& reader, const std::string& path, Visit&& visit) {
    return WalkRecords(reader, path, visit, [] {});
}

}  // namespace tarmix
