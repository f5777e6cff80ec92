#include "flash/download.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "flash/rom_image_check.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "models/models.h"
#include "platform/pc_paths.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace {

constexpr size_t kShortAnswer = 999;
constexpr size_t kHandshakeCapacity = 399;
constexpr size_t kBlockAnswerCapacity = 799;
constexpr size_t kDumpCapacity = 1999;
constexpr Wait kDumpSilence = Wait::Scaled(Millis{500});
constexpr Wait kShortWait = Wait::Scaled(Millis{100});
constexpr Wait kEchoWait = Wait::Scaled(Millis{500});
constexpr Wait kSectorWait = Wait::Scaled(Millis{5000});
constexpr Wait kEraseDoneWait = Wait::Scaled(Millis{1000});
constexpr Wait kWholeEraseWait = Wait::Scaled(Millis{20000});
constexpr Wait kBlockWait = Wait::Scaled(Millis{4000});
constexpr Wait kProgramWait = Wait::Scaled(Millis{25000});
constexpr Millis kBlockPause{10};
constexpr Millis kSettlePause{50};

constexpr char kOk[] = "o.k.\r\n";
constexpr char kEraseDone[] = "erase done\r\n";
constexpr char kParallelOn[] = "parportCTRL on";
constexpr char kParallelOff[] = "parportCTRL off";
constexpr char kParallelOnAnswer[] = "ParPort aktiviert\r\n";
constexpr char kParallelOffAnswer[] = "ParPort deaktiviert\r\n";
// The erase answer "Sectors(N):" gives N in this many characters.
constexpr size_t kDirectSectorDigits = 3;
constexpr size_t kStagedSectorDigits = 4;

// Where the dump answer holds the header's tag and version groups, after the command.
constexpr size_t kDumpTagOffset = 37;
constexpr size_t kDumpVersionOffset = 193;
constexpr size_t kDumpVersionOffsetStaged = 259;

EraseKind eraseKindOf(int model) {
    const ModelInfo* info = findModel(model);
    return info ? info->erase : EraseKind::RangeOrWhole;
}

// The uncached alias of an address, as some monitors want it in erase commands.
uint32_t mapped(uint32_t address) { return (address & 0x1FFFFFFF) | 0xA0000000; }

std::string format(const char* pattern, auto... values) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

bool inBank(const AddressRange& bank, uint32_t start, uint32_t end) {
    return start >= bank.low && start < bank.high && end >= bank.low && end <= bank.high;
}

// Four "%2x" numbers separated by blanks, as the dump prints a group of bytes.
bool readGroup(const std::string& text, size_t at, std::array<uint8_t, 4>& group) {
    if (at >= text.size()) return false;
    unsigned values[4];
    if (std::sscanf(text.c_str() + at, "%2x %2x %2x %2x", &values[0], &values[1], &values[2],
                    &values[3]) != 4)
        return false;
    for (int i = 0; i < 4; ++i) group[i] = uint8_t(values[i]);
    return true;
}

}  // namespace

ApplicationDownload::ApplicationDownload(DownloadContext context)
    : ctx_(std::move(context)),
      serial_(ctx_.monitor.serial()),
      blockLimit_(BlockLimitForModel(ctx_.device.hardwareModel)) {}

bool ApplicationDownload::staged() const {
    const ModelInfo* info = findModel(ctx_.device.hardwareModel);
    return info && info->stagedDownload;
}

void ApplicationDownload::status(int textId) const { ctx_.view.setStatus(LoadText(textId)); }

void ApplicationDownload::message(const std::string& text, MessageIcon icon,
                                  const std::string& caption) const {
    ctx_.view.showMessage(text, caption, icon);
}

void ApplicationDownload::AwaitPrompt(std::string& answer) {
    ctx_.monitor.ReceiveUntilPrompt(answer, kBlockAnswerCapacity, kShortWait);
}

int ApplicationDownload::DownloadApplication(const std::string& path) {
    WaitCursor waitCursor(ctx_.view);

    ctx_.figures = DownloadFigures{};
    header_ = ImageHeader{};
    if (!ctx_.device.deviceIdentified) return kFailure;
    programFlash_ = true;
    flashErased_ = false;
    ctx_.view.setProgressRange(0, kProgressRange);

    // The whole image is checked before the first byte goes to the controller: a damaged
    // file found half-way through would leave the application erased.
    const std::string file = CompletePath(path);
    if (!ImageIsSound(file)) return kFailure;

    BaudSwitch baud(ctx_.monitor, ctx_.view, ctx_.options.baudRate);
    RaisedBaudRate raised(baud);  // restored on every way out from here

    if (Prepare(file) != kSuccess) return kFailure;
    if (!ctx_.options.compare && WritesIntoBankAOfUnknownExtent()) {
        status(text::kDriveSizesUnread);
        message(LoadText(text::kDriveSizesUnread), MessageIcon::Warning);
        return kFailure;
    }
    // Also before the erase: an image that does not fit must leave the old one in place.
    if (!RangeFits()) {
        ReportRangeError();
        return kFailure;
    }
    if (!staged() && !ctx_.options.compare && EraseBeforeBurn() != kSuccess) return kFailure;
    status(ctx_.options.compare ? text::kCompareApplication : text::kDownloadApplication);
    if (TransferBlocks(file, ctx_.figures.downloadStart) != kSuccess) {
        if (StopRequested()) {
            // What the flash holds now: the warning stays until it has been read.
            const int cutShort =
                ctx_.options.compare ? text::kCompareCutShort : text::kDownloadCutShort;
            status(cutShort);
            message(LoadText(cutShort), MessageIcon::Warning);
            return kFailure;
        }
        message(LoadText(ctx_.options.compare ? text::kCompareError : text::kDownloadError),
                MessageIcon::Warning);
        return kFailure;
    }
    if (staged() && programFlash_ && !ctx_.options.compare &&
        EraseAndProgramFromRam(ctx_.figures.downloadStart, ctx_.figures.imageEnd) != kSuccess)
        return kFailure;
    if (ctx_.options.verifyAfterWrite && !ctx_.options.compare &&
        VerifyAfterWrite(file) != kSuccess)
        return kFailure;
    return SuccessSteps();
}

bool ApplicationDownload::ImageIsSound(const std::string& path) {
    status(text::kFileRead);
    std::string problem;
    if (CheckRomImage(path, problem)) return true;
    status(text::kImageRefused);
    message(problem, MessageIcon::Warning);
    return false;
}

std::string ApplicationDownload::CompletePath(const std::string& path) const {
    return CompleteName(path, ctx_.options.sourceFolder);
}

int ApplicationDownload::Prepare(const std::string& path) {
    status(text::kFileRead);
    int result = kSuccess;
    ImageExtent extent;
    if (!ScanImageExtent(path, extent).ok()) {
        result = kFailure;
    } else if (!modelRow(ctx_.device.hardwareModel).imageStartsAnywhere &&
               extent.lowest != ctx_.device.bankA.low && extent.lowest != ctx_.device.bankC.low) {
        message(LoadText(text::kHardwareMismatch), MessageIcon::Warning, LoadText(text::kWarning));
        result = kMismatch;
    }
    DownloadFigures& figures = ctx_.figures;
    figures.imageStart = figures.downloadStart = extent.lowest;
    figures.imageEnd = extent.highest;
    if (result == kSuccess) {
        if (ReadHeaderAndCheckControllerCopy(path) != kSuccess)
            result = kFailure;
        else if (!ctx_.options.compare)
            figures.downloadStart = extent.lowest + header_.skipOffset;
    }
    figures.romExtent = header_.romExtent;
    figures.romCodeSize = header_.romCodeSize;
    figures.ramNeeded = header_.ramNeeded;
    figures.ramAvailable = header_.ramAvailable;
    status(text::kFileReadFinished);
    const bool ramShort = header_.ramNeeded > header_.ramAvailable;
    return ReportPreparationErrors(result, path, ramShort);
}

int ApplicationDownload::ReadHeaderAndCheckControllerCopy(const std::string& path) {
    if (!ReadImageHeader(path, blockLimit_, ctx_.options.parallelTransfer, header_).ok())
        return kFailure;
    serial_.clock().sleep(kSettlePause);
    serial_.DrainInput();
    if (int32_t(header_.skipOffset) > 0 && EraseWillRun()) {
        // The monitor erases whole sectors, whose sizes the program does not know: the part
        // below the application start may be wiped with them, so it is sent again.
        header_.skipOffset = 0;
    } else if (int32_t(header_.skipOffset) > 0 && !ControllerHoldsThisVersion(header_)) {
        if (!dumpAnswered_) return kFailure;
        header_.skipOffset = 0;  // send the whole image
    }
    if (ctx_.options.parallelTransfer && !ParallelInputSwitched(false)) return kFailure;
    return kSuccess;
}

bool ApplicationDownload::EraseWillRun() const {
    if (ctx_.options.compare) return false;
    // The staged variant erases before it programs, unless the image turns out to be for RAM
    // only, which shows only once the transfer has read it.
    if (staged()) return true;
    return eraseKindOf(ctx_.device.hardwareModel) != EraseKind::None &&
           InErasedBank(ctx_.figures.imageStart, ctx_.figures.imageEnd);
}

bool ApplicationDownload::InErasedBank(uint32_t start, uint32_t end) const {
    return inBank(usableBankA(), start, end) || inBank(ctx_.device.bankB, start, end);
}

bool ApplicationDownload::WritesIntoBankAOfUnknownExtent() const {
    const AddressRange& bank = ctx_.device.bankA;
    const uint32_t start = ctx_.figures.downloadStart;
    return ctx_.device.driveSizesUnread && start >= bank.low && start <= bank.high;
}

bool ApplicationDownload::ControllerHoldsThisVersion(const ImageHeader& header) {
    const std::string command = format("dump %08x 40", header.firstBlockBase);
    std::string answer;
    dumpAnswered_ =
        ctx_.monitor.SendAndWaitPrompt(command, answer, kDumpCapacity, kDumpSilence).ok();
    if (!dumpAnswered_) return false;
    const size_t length = command.size();
    std::array<uint8_t, 4> tag{}, version{};
    if (!readGroup(answer, length + kDumpTagOffset, tag) ||
        !readGroup(answer, length + (staged() ? kDumpVersionOffsetStaged : kDumpVersionOffset),
                   version))
        return false;
    // The tag as the controller's memory holds it: "Inf2" in the header's byte order; the
    // staged models keep "Inf3" when little-endian.
    std::array<uint8_t, 4> expectedTag = header.bigEndian
                                             ? std::array<uint8_t, 4>{0x49, 0x6E, 0x66, 0x32}
                                             : std::array<uint8_t, 4>{0x32, 0x66, 0x6E, 0x49};
    if (staged() && !header.bigEndian) expectedTag[0] = 0x33;
    return tag == expectedTag && version == header.versionBytes();
}

int ApplicationDownload::ReportPreparationErrors(int result, const std::string& path,
                                                 bool ramShort) {
    const std::string ramMessage =
        format("%s\n%s 0x%08X\n%s 0x%08X\n", LoadText(text::kRamOutOfMemory).c_str(),
               LoadText(text::kNeeded).c_str(), header_.ramNeeded,
               LoadText(text::kAvailable).c_str(), header_.ramAvailable);
    if (result == kFailure) {
        message(format("%s\n", LoadText(text::kFileOpenError).c_str()) + "\"" + path + "\"",
                MessageIcon::Warning);
        status(text::kFileOpenError);
    }
    if (ramShort) {
        message(ramMessage, MessageIcon::Warning);
        status(text::kRamOutOfMemory);
        return kFailure;
    }
    return result == kSuccess ? kSuccess : kFailure;
}

bool ApplicationDownload::RangeFits() const {
    const DeviceDescription& device = ctx_.device;
    const uint32_t start = ctx_.figures.downloadStart;
    const uint32_t end = ctx_.figures.imageEnd;
    return inBank(usableBankA(), start, end) || inBank(device.bankB, start, end) ||
           inBank(device.bankC, start, end);
}

AddressRange ApplicationDownload::usableBankA() const {
    const AddressRange& bank = ctx_.device.bankA;
    // A file system larger than the bank leaves nothing: no address may pass for usable.
    if (reserveBytes() > bank.high - bank.low) return {1, 0};
    return {bank.low, bank.high - reserveBytes()};
}

uint32_t ApplicationDownload::reserveBytes() const {
    return uint32_t(ctx_.device.driveSizes[2]) * 1024u;
}

void ApplicationDownload::ReportRangeError() const {
    const DeviceDescription& device = ctx_.device;
    const uint32_t start = ctx_.figures.downloadStart;
    AddressRange shown = usableBankA();
    if (!(start >= shown.low && start <= shown.high))
        shown =
            start >= device.bankB.low && start <= device.bankB.high ? device.bankB : device.bankC;
    message(
        format("%s\n%s\n\n\t[0x%08X..0x%08X]\n\n%s\n\n\t[0x%08X..0x%08X].",
               LoadText(text::kFlashOutOfMemory).c_str(), LoadText(text::kNeeded).c_str(), start,
               ctx_.figures.imageEnd, LoadText(text::kAvailable).c_str(), shown.low, shown.high),
        MessageIcon::Warning);
}

int ApplicationDownload::EraseBeforeBurn() {
    const DeviceDescription& device = ctx_.device;
    const uint32_t start = ctx_.figures.downloadStart;
    const uint32_t end = ctx_.figures.imageEnd;
    if (!InErasedBank(start, end)) return kSuccess;
    status(text::kEraseFlash);
    ctx_.view.setProgress(0);
    switch (eraseKindOf(device.hardwareModel)) {
        case EraseKind::None:
            return kSuccess;
        case EraseKind::RangeOrWhole:
            if (isOldMonitor(device.firmwareVersion)) return EraseWholeApplicationArea();
            return EraseApplicationArea(start, end);
        default:
            return EraseApplicationArea(start, end);
    }
}

int ApplicationDownload::EraseWholeApplicationArea() {
    const std::string command = "flash erase application";
    MonitorExchange& monitor = ctx_.monitor;
    if (!monitor.SendCommand(command)) return kSuccess;  // the download goes on
    const std::string done = command + "\r\n" + kEraseDone;
    std::string answer;
    const Reply reply =
        monitor.ReceiveStartingWith(answer, done, kShortAnswer, done.size(), kWholeEraseWait);
    if (reply.heard == Heard::ReadFailed) return kSuccess;
    if (reply.ok()) {
        AwaitPrompt(answer);
        flashErased_ = true;
        status(text::kFlashWasErased);
        return kSuccess;
    }
    status(text::kFlashEraseError);
    message(LoadText(text::kFlashEraseError), MessageIcon::Error);
    return kFailure;
}

int ApplicationDownload::EraseApplicationArea(uint32_t start, uint32_t end) {
    const DeviceDescription& device = ctx_.device;
    const EraseKind kind = eraseKindOf(device.hardwareModel);
    std::string command;
    int eraseText = text::kEraseFlash;
    if (kind == EraseKind::MappedBankRange) {
        // Bank width 32 for the first bank, 16 for the second.
        const bool firstBank = start >= device.bankA.low && start < device.bankA.high &&
                               end >= device.bankA.low && end <= device.bankA.high;
        command = format("flash %2d erase application %08x %08x", firstBank ? 32 : 16,
                         mapped(start), mapped(end));
        eraseText = firstBank ? text::kEraseFlashBank1 : text::kEraseFlashBank2;
    } else if (kind == EraseKind::MappedRange) {
        command = format("flash erase application %08x %08x", mapped(start), mapped(end));
    } else {
        command = format("flash erase application %08x %08x", start, end);
    }
    const std::string echo = command + "\r\n";
    MonitorExchange& monitor = ctx_.monitor;
    if (!monitor.SendCommand(command)) return kSuccess;
    std::string answer;
    const Reply echoed =
        monitor.ReceiveStartingWith(answer, echo, echo.size(), echo.size(), kEchoWait);
    if (echoed.heard == Heard::ReadFailed) return kSuccess;
    if (echoed.ok()) {
        status(eraseText);
        int sectors = 0;
        const std::string done = std::string("\r\n") + kEraseDone;
        if (CountErasedSectors(kDirectSectorDigits, sectors) == kSuccess &&
            monitor.ReceiveStartingWith(answer, done, kShortAnswer, done.size(), kEraseDoneWait)
                .ok()) {
            AwaitPrompt(answer);
            // No sector erased ("Sectors(  0):") leaves the flash as it was.
            flashErased_ = sectors > 0;
            status(text::kFlashWasErased);
            return kSuccess;
        }
    }
    status(text::kFlashEraseError);
    message(LoadText(text::kFlashEraseError), MessageIcon::Error);
    return kFailure;
}

int ApplicationDownload::CountErasedSectors(size_t digits, int& sectors) {
    const std::string head = "Sectors(";
    const size_t length = head.size() + digits + 2;
    std::string answer;
    ctx_.monitor.Receive(answer, length, length, kEchoWait);
    sectors = 0;
    char tail[3] = {};
    if (answer.size() != length || answer.compare(0, head.size(), head) != 0 ||
        answer.compare(length - 2, 2, "):") != 0 ||
        std::sscanf(answer.substr(head.size(), digits).c_str(), "%d%2c", &sectors, tail) != 1 ||
        sectors < 0) {
        status(text::kFlashEraseError);
        return kFailure;
    }
    ctx_.view.setProgress(0);
    int shown = 0;
    for (int i = 0; i < sectors; ++i) {
        if (!ctx_.monitor.Receive(answer, 1, 1, kSectorWait).ok()) {
            status(text::kEraseTimeout);
            return kFailure;
        }
        if (answer != ".") {
            status(text::kFlashEraseError);
            return kFailure;
        }
        const int progress = (i + 1) * kProgressRange / sectors;
        if (progress != shown) ctx_.view.setProgress(shown = progress);
    }
    return kSuccess;
}

int ApplicationDownload::EraseAndProgramFromRam(uint32_t start, uint32_t end) {
    // The erase names the last address; the copy takes the byte count, which includes the
    // image's last byte (end is inclusive).
    const uint32_t length = end - start;
    const uint32_t copyLength = length + 1;
    const uint32_t destination = header_.skipOffset + kStagedFlashBase;
    const uint32_t source = kStagingRam + header_.skipOffset;
    std::string answer;

    MonitorExchange& monitor = ctx_.monitor;
    const std::string erase =
        format("flash erase application %08x %08x", destination, destination + length);
    const std::string eraseEcho = erase + "\r\n";
    if (!monitor.SendCommand(erase)) return kFailure;
    const Reply echoed = monitor.ReceiveStartingWith(answer, eraseEcho, eraseEcho.size(),
                                                     eraseEcho.size(), kEchoWait);
    if (echoed.heard == Heard::ReadFailed) return kFailure;
    if (!echoed.ok()) {
        status(text::kFlashEraseError);
        return kFailure;
    }
    status(text::kEraseFlash);
    int sectors = 0;
    if (CountErasedSectors(kStagedSectorDigits, sectors) != kSuccess) return kFailure;
    const std::string erased = kEraseDone;
    if (!monitor.ReceiveStartingWith(answer, erased, kShortAnswer, erased.size(), kEraseDoneWait)
             .ok()) {
        status(text::kFlashEraseError);
        return kFailure;
    }
    AwaitPrompt(answer);
    status(text::kFlashWasErased);

    const std::string program =
        format("flash program %08x %08x %08x", destination, source, copyLength);
    const std::string programEcho = program + "\r\n";
    if (!monitor.SendCommand(program) ||
        !monitor
             .ReceiveStartingWith(answer, programEcho, programEcho.size(), programEcho.size(),
                                  kEchoWait)
             .ok())
        return kFailure;
    status(text::kProgrammingFlash);
    const std::string done =
        format("Programming from %08x to %08x Length %8u ...done", source, destination, copyLength);
    if (!monitor.ReceiveStartingWith(answer, done, done.size(), done.size(), kProgramWait).ok()) {
        status(text::kProgrammingError);
        return kFailure;
    }
    AwaitPrompt(answer);
    status(text::kProgrammingComplete);
    return kSuccess;
}

bool ApplicationDownload::ParallelInputSwitched(bool on) {
    const std::string command = on ? kParallelOn : kParallelOff;
    const std::string expected = command + "\r\n" + (on ? kParallelOnAnswer : kParallelOffAnswer);
    ctx_.monitor.SendCommand(command);
    std::string answer;
    return ctx_.monitor
        .ReceiveStartingWith(answer, expected, kHandshakeCapacity, kHandshakeCapacity, kShortWait)
        .ok();
}

int ApplicationDownload::TransferBlocks(const std::string& path, uint32_t downloadStart) {
    const bool parallel = ctx_.options.parallelTransfer;
    bool ok = !parallel || ParallelInputSwitched(true);
    if (ok) {
        int shown = -1;
        const AssembleResult read = AssembleBlocks(
            path, downloadStart, blockLimit_, parallel,
            [this](uint32_t base, std::span<const uint8_t> bytes) {
                // A stop request ends the transfer between two blocks.
                if (StopRequested()) return int(kFailure);
                if (SkipsErasedBlock(bytes)) {
                    ReportTransferred(base + uint32_t(bytes.size()));
                    return int(kSuccess);
                }
                const int sent = SendBlock(base, bytes);
                if (sent == kSuccess && !bytes.empty()) {
                    ctx_.figures.bytesSent += bytes.size();
                    ++ctx_.figures.blocksSent;
                }
                return sent;
            },
            [&](uint64_t position, uint64_t size) {
                const int progress =
                    size ? int(double(position) * kProgressRange / double(size)) : 0;
                if (progress != shown) ctx_.view.setProgress(shown = progress);
                ctx_.view.keepPainted();
            });
        if (read.ramOnly) programFlash_ = false;
        ok = read.ok();
    }
    serial_.clock().sleep(kSettlePause);
    serial_.DrainInput();
    if (parallel) {
        serial_.DrainInput();
        if (!ParallelInputSwitched(false)) ok = false;
    }
    return ok ? kSuccess : kFailure;
}

bool ApplicationDownload::SkipsErasedBlock(std::span<const uint8_t> bytes) const {
    return flashErased_ && !staged() && !ctx_.options.compare &&
           std::all_of(bytes.begin(), bytes.end(), [](uint8_t byte) { return byte == 0xFF; });
}

int ApplicationDownload::VerifyAfterWrite(const std::string& path) {
    // A staged image has been copied from RAM into the flash: compare it there.
    const bool inFlash = staged() && programFlash_;
    verifyShift_ = inFlash ? header_.skipOffset + kStagedFlashBase - ctx_.figures.downloadStart : 0;
    ctx_.options.compare = true;
    status(text::kCompareApplication);
    const int result = TransferBlocks(path, ctx_.figures.downloadStart);
    ctx_.options.compare = false;
    verifyShift_ = 0;
    if (result != kSuccess) {
        message(FormatText(text::kVerifyErrorAt, lastBlock_), MessageIcon::Warning);
        return kFailure;
    }
    status(text::kVerified);
    return kSuccess;
}

void ApplicationDownload::ReportTransferred(uint32_t blockEnd) {
    const DownloadFigures& figures = ctx_.figures;
    if (figures.imageEnd < figures.downloadStart) return;
    const uint64_t total = uint64_t(figures.imageEnd) - figures.downloadStart + 1;
    const uint64_t done = blockEnd > figures.downloadStart ? blockEnd - figures.downloadStart : 0;
    ctx_.view.setTransferred(std::min(done, total), total);
}

int ApplicationDownload::SendBlock(uint32_t base, std::span<const uint8_t> bytes) {
    if (bytes.empty()) return kSuccess;
    const DeviceDescription& device = ctx_.device;
    lastBlock_ = base + verifyShift_;
    const uint32_t address =
        monitorAddress(device.hardwareModel, device.firmwareVersion, base + verifyShift_);
    std::vector<uint8_t> data(bytes.begin(), bytes.end());
    if (data.size() % 2) data.push_back(0xFF);
    uint32_t sum = 0;
    for (uint8_t byte : data) sum += byte;
    const std::string command =
        format(ctx_.options.compare ? "verify %08x %08x %08x" : "burn %08x %08x %08x", address,
               uint32_t(data.size()), ~sum);
    const std::string echo = command + "\r\n";

    serial_.clock().sleep(kBlockPause);
    serial_.DrainInput();
    const bool parallel = ctx_.options.parallelTransfer;
    if (parallel)
        ctx_.parallel.SendLine(command);
    else
        serial_.SendLine(command);
    MonitorExchange& monitor = ctx_.monitor;
    std::string answer;
    if (!monitor.ReceiveStartingWith(answer, echo, kBlockAnswerCapacity, echo.size(), kBlockWait)
             .ok())
        return kFailure;
    if (parallel)
        ctx_.parallel.WriteBytes(data.data(), data.size());
    else
        serial_.WriteBytes(data.data(), data.size());
    const std::string ok = kOk;
    if (!monitor.ReceiveStartingWith(answer, ok, kBlockAnswerCapacity, ok.size(), kBlockWait).ok())
        return kFailure;
    AwaitPrompt(answer);
    ReportTransferred(base + uint32_t(bytes.size()));
    return kSuccess;
}

int ApplicationDownload::SuccessSteps() {
    ctx_.figures.applicationLoaded = true;
    ctx_.figures.applicationStart = ctx_.figures.downloadStart;
    if (ctx_.resetSettings == nullptr) return kSuccess;
    const std::string failure = ctx_.resetSettings(ctx_.monitor);
    if (failure.empty()) return kSuccess;
    ctx_.view.setStatus(failure);
    message(failure, MessageIcon::Error);
    return kFailure;
}

}  // namespace tarmix
