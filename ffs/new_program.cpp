#include "ffs/new_program.h"

#include <filesystem>

#include "ffs/file_transfer.h"
#include "ffs/transfer_frame.h"
#include "flash/rom_image.h"
#include "flash/srec_line.h"
#include "lang/catalog.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace {

constexpr int kTextStorageTooLarge = 60070;    // "Storage area is too large"
constexpr int kTextDriveNotAvailable = 60147;  // "The drive is not available"
constexpr int kTextProgramDownload = 60361;    // "Program - download"
constexpr int kTextProgramError = 60362;       // "Error with program - download"
constexpr int kNoData = -1;

void putBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

// Every data record's bytes into the image, each byte checked against its bounds.
int FillImage(const std::string& romPath, ProgramImage& image) {
    SrecLineReader reader;
    if (!reader.open(romPath)) return kMsgFileOpenError;
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
    return reader.failed() ? kMsgFileReadError : 0;
}

}  // namespace

int BuildProgramImage(const std::string& romPath, ProgramImage& image) {
    ImageExtent extent;
    const ImageResult scan = ScanImageExtent(romPath, extent);
    if (!scan.ok()) return scan.messageId();
    if (extent.lowest > extent.highest) return kNoData;
    const uint64_t total = uint64_t(extent.highest) - extent.lowest + 1;
    if (total > kLargestProgram) return kTextStorageTooLarge;
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
    const std::string caption = LoadText(kTextProgramDownload);
    const int drive = DriveOfPath(rootFolder);
    if (drive >= 0 && context.device.driveSizes[size_t(drive)] == 0) {
        view.showMessage(LoadText(kTextDriveNotAvailable), caption, MessageIcon::Error);
        return 1;
    }
    const std::string romName = std::filesystem::path(romPath).filename().string();
    ProgramImage image;
    const int problem = BuildProgramImage(romPath, image);
    if (problem == kNoData) {
        view.showMessage(romName + "\n\nThe file holds no S2 or S3 data records.", caption,
                         MessageIcon::Error);
        return 1;
    }
    if (problem) {
        const bool readError = problem != kTextStorageTooLarge;
        view.showMessage(LoadText(problem) + (readError ? "\n\n" + romPath : ""), caption,
                         MessageIcon::Error);
        return 1;
    }

    const size_t blocks = (image.bytes.size() + kPcFrameLimit - 1) / kPcFrameLimit;
    // The monitor takes this path without quotes: a drive root has no blanks.
    const std::string command =
        "file load " + rootFolder + kApplicationFile + " " + std::to_string(blocks + 1);
    const auto fail = [&] {
        view.setProgressRange(0, kProgressRange);
        view.showMessage(LoadText(kTextProgramError), "", MessageIcon::Error);
        return 1;
    };
    if (!StartFileLoad(context.monitor, command)) return fail();
    view.setStatus(caption + " <" + ShortenForDisplay(romName) + ">");
    view.setProgressRange(0, int(blocks));
    view.setTransferred(0, image.bytes.size());
    if (SendFrame(context.monitor, ApplicationHeader(image)) != kFrameGood) return fail();
    for (size_t j = 0; j < blocks; ++j) {
        if (StopRequested()) {
            FileTransfer(context).StopLoad(rootFolder + kApplicationFile);
            return 1;
        }
        view.setProgress(int(j + 1));
        const size_t start = j * kPcFrameLimit;
        const size_t count = std::min(kPcFrameLimit, image.bytes.size() - start);
        if (SendFrame(context.monitor, {image.bytes.data() + start, count}) != kFrameGood)
            return fail();
        view.setTransferred(start + count, image.bytes.size());
    }
    if (!WaitForTransferEnd(context.monitor, "")) return fail();
    view.setProgressRange(0, kProgressRange);
    const std::vector<uint8_t> header = ApplicationHeader(image);
    std::string sent(header.begin(), header.end());
    sent.append(image.bytes.begin(), image.bytes.end());
    FileTransfer transfer(context);
    const std::string devicePath = rootFolder + kApplicationFile;
    if (context.verify && !transfer.MatchesDeviceFile(devicePath, sent, kTextProgramDownload))
        return 1;
    transfer.ShowCopied(romPath, "<" + devicePath + ">", sent.size());
    return 0;
}

}  // namespace tarmix
