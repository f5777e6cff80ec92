#include "ffs/new_program.h"

#include <filesystem>

#include "ffs/file_transfer.h"
#include "ffs/transfer_frame.h"
#include "flash/rom_image.h"
#include "flash/srec_line.h"
#include "lang/catalog.h"
#include "lang/text_names.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace {

constexpr int kNoData = -1;

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

// Every data record's bytes into the image, each byte checked against its bounds.
int FillImage(const std::string& romPath, ProgramImage& image) {
    SrecLineReader reader;
    if (!reader.open(romPath)) return text::kFileOpenError;
    std::string_view line;
    std::vector<uint8_t> data;
    while (reader.next(line)) {
        DataRecord record;
        if (ClassifyLine(line, record) != LineKind::kData) continue;
        data.resize(record.count);
        DecodeBytes(record.digits, data.data());
        for (size_t i = 0; i < data.size(); ++i) {
            const uint64_t offset = uint64_t(record.address) + i - image.lowest;
            if (record.address + uint64_t(i) >= image.lowest && offset < image.bytes.size())
                image.bytes[offset] = data[i];
        }
    }
    return reader.failed() ? text::kFileReadError : 0;
}

}  // namespace

int BuildProgramImage(const std::string& romPath, ProgramImage& image) {
    ImageExtent extent;
    const ImageResult scan = ScanImageExtent(romPath, extent);
    if (!scan.ok()) return scan.messageId();
    if (extent.lowest > extent.highest) return kNoData;
    const uint64_t total = uint64_t(extent.highest) - extent.lowest + 1;
    if (total > kLargestProgram) return text::kStorageTooLarge;
    image.lowest = extent.lowest;
    image.bytes.assign(size_t(total), 0);
    return FillImage(romPath, image);
}

std::vector<uint8_t> ApplicationHeader(const ProgramImage& image) {
    uint32_t sum = 0;
    for (uint8_t byte : image.bytes) sum += byte;
    std::vector<uint8_t> header;
    putBigEndian(header, image.lowest);
    putBigEndian(header, uint32_t(image.bytes.size()));
    putBigEndian(header, sum);
    return header;
}

int DownloadProgram(TransferContext& context, const std::string& romPath,
                    const std::string& rootFolder) {
    WaitCursor cursor(context.view);
    View& view = context.view;
    const std::string caption = LoadText(text::kProgramDownload);
    const int drive = DriveOfPath(rootFolder);
    if (drive >= 0 && context.device.driveSizes[size_t(drive)] == 0) {
        view.showMessage(LoadText(text::kDriveNotAvailable), caption, MessageIcon::Error);
        return 1;
    }
    const std::string romName = std::filesystem::path(romPath).filename().string();
    ProgramImage image;
    const int problem = BuildProgramImage(romPath, image);
    if (problem == kNoData) {
        view.showMessage(romName + "\n\n" + LoadText(text::kNoS2S3Records), caption,
                         MessageIcon::Error);
        return 1;
    }
    if (problem) {
        const bool readError = problem != text::kStorageTooLarge;
        view.showMessage(LoadText(problem) + (readError ? "\n\n" + romPath : ""), caption,
                         MessageIcon::Error);
        return 1;
    }

    // The header goes in a frame of its own, then the image in frames of 512.
    const size_t blocks = (image.bytes.size() + kPcFrameLimit - 1) / kPcFrameLimit;
    const std::vector<uint8_t> header = ApplicationHeader(image);
    const auto read = [&image, &header](size_t index, std::vector<uint8_t>& frame) {
        if (index == 0) {
            frame = header;
            return true;
        }
        const size_t at = (index - 1) * kPcFrameLimit;
        const size_t count = std::min(kPcFrameLimit, image.bytes.size() - at);
        frame.assign(image.bytes.begin() + long(at), image.bytes.begin() + long(at + count));
        return true;
    };
    const std::string devicePath = rootFolder + kApplicationFile;
    // The monitor takes this path without quotes: a drive root has no blanks.
    const OutgoingFile file{"file load " + devicePath + " " + std::to_string(blocks + 1),
                            blocks + 1,
                            header.size() + image.bytes.size(),
                            read,
                            romPath,
                            caption + " <" + ShortenForDisplay(romName) + ">",
                            text::kProgramDownload,
                            text::kProgramDownloadError};
    return ResultCode(FileTransfer(context).Send(file, devicePath));
}

}  // namespace tarmix
