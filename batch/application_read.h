// Reading the application back out of the controller's flash, as the backup does:
//
//   tell appl               echo, then "Text:" with the text start and length and "Data:"
//                           with the data start and length (hexadecimal), then the prompt
//   read AAAAAAAA NNNNNNNN  echo, CR LF, a 28-character header "ADDRESS COUNT SUM"
//                           (hexadecimal), the COUNT raw bytes, then the prompt
//
// The image is the text start on, text length plus data length bytes. It is read in
// blocks; a block whose header or byte sum does not check out is asked for again, up to
// ten times. The image file is S3 records of 16 bytes, then the record count (S5, or S6
// above 65535 records) and an S7 record with the text start, CR LF line ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "link/monitor_exchange.h"
#include "platform/replacing_file.h"

namespace tarmix {

struct ApplicationArea {
    uint32_t textStart = 0;
    uint32_t textLength = 0;
    uint32_t dataStart = 0;
    uint32_t dataLength = 0;
};

// "tell appl": the area, or nullopt with the catalogue text of the failure in `failure`
// (and for a missing or unreadable sector, its name's text in `sector`).
struct ApplicationAreaFailure {
    int sector = 0;  // text::kTextSector, text::kDataSector, or 0
    int text = 0;  // text::kCommandSendError, kApplicationInfoTimeout, kNotAvailable or kReadError
};
std::optional<ApplicationArea> ReadApplicationArea(MonitorExchange& monitor, int32_t hardwareModel,
                                                   ApplicationAreaFailure& failure);
// The area in an answer to "tell appl" (echo included); used by ReadApplicationArea.
std::optional<ApplicationArea> ParseApplicationArea(const std::string& answer,
                                                    ApplicationAreaFailure& failure);

// Reads `size` bytes from `start` in blocks of `blockSize` and writes them to `file` as an
// image whose first byte lies at `imageStart` (a staged model's image lies in RAM, where its
// download puts it, not in the flash it is read from); with `readTwice` a block is taken
// only when two reads in a row agree. `progress`
// is told after each finished block its share in thousandths and the bytes read so far.
// The file is incomplete unless the whole image was read and written.
enum class ImageRead { Complete, DeviceFailed, WriteFailed };
ImageRead ReadApplicationImage(MonitorExchange& monitor, uint32_t start, uint32_t imageStart,
                               uint32_t size, uint32_t blockSize, bool readTwice,
                               ReplacingFile& file,
                               const std::function<void(int share, uint32_t bytesDone)>& progress);

}  // namespace tarmix
