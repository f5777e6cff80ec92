#include "flash/boot_loader_update.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <functional>

#include "flash/boot_image_echo.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/baud_switch.h"
#include "link/connection_watch.h"
#include "platform/folder_lookup.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace {

// The status line names the images by these names, whatever the model.
constexpr char kShownBootInit[] = " Bootinit.rom";
constexpr char kShownBootLoader[] = " Boot.rom";

constexpr size_t kAnswerCapacity = 999;
// The answers to one typed piece are taken at most this many bytes at a time.
constexpr size_t kAnswerPiece = 4096;
constexpr size_t kRestartCapacity = 999;
constexpr char kFillAnswer[] = "\r\nBoot>";
constexpr char kSectorAnswer[] = "\r\n Sector #";
constexpr char kOffsetAnswer[] = "\r\n  Offset:    ";
constexpr char kProgramDone[] = "...done";
constexpr char kSectorsHead[] = "\r\nSectors(";
// as the monitor expects: after a restart its prompt is asked for with a line of one line feed.
constexpr char kPromptRequest[] = "\n";
// "read ADDRESS COUNT" is answered by its echo, a 28-character header "ADDRESS COUNT SUM"
// (hexadecimal), the bytes and the prompt.
constexpr char kReadCommand[] = "read %08X %08X";
constexpr size_t kReadHeaderLength = 28;
// Words by which the monitor reports that it did not carry out a command.
constexpr std::string_view kErrorWords[] = {"error", "unknown command"};

// "s3offset ff3e0000" is answered "s3offset ff3e0000\r\n  Offset:    FF3E0000\r\n".
std::string offsetAnswer(std::string_view command) {
    std::string address(command.substr(command.rfind(' ') + 1));
    for (char& c : address) c = char(std::toupper(static_cast<unsigned char>(c)));
    return std::string(command) + kOffsetAnswer + address + "\r\n";
}

// The offset an "s3offset" command sets.
uint32_t offsetOf(std::string_view command) {
    const std::string_view digits = command.substr(command.rfind(' ') + 1);
    uint32_t offset = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), offset, 16);
    return offset;
}

// The decimal number at `at`; false when no digit stands there.
bool numberAt(const std::string& text, size_t at, int& number) {
    if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) return false;
    number = 0;
    for (;
         at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && number < 100000;
         ++at)
        number = number * 10 + (text[at] - '0');
    return true;
}

// The monitor reports an error after the echo of `command`.
bool reportsError(const std::string& answer, std::string_view command) {
    std::string reply = answer.substr(std::min(answer.size(), command.size()));
    for (char& c : reply) c = char(std::tolower(static_cast<unsigned char>(c)));
    return std::any_of(std::begin(kErrorWords), std::end(kErrorWords), [&](std::string_view word) {
        return reply.find(word) != std::string::npos;
    });
}

}  // namespace

bool BootLoaderUpdateAvailable(const DeviceDescription& device, bool terminalShown) {
    return device.deviceIdentified && MonitorVersionKnown(device) && !terminalShown &&
           !updateAvailabilityFile(device.hardwareModel, device.extendedFirmware).empty();
}

std::string MissingLibraryFile(const DeviceDescription& device,
                               const std::filesystem::path& library) {
    const std::string_view file =
        updateAvailabilityFile(device.hardwareModel, device.extendedFirmware);
    if (file.empty() || FindFileInFolder(library, file)) return {};
    return std::string(file);
}

BootLoaderUpdate::BootLoaderUpdate(BootLoaderUpdateContext context)
    : ctx_(std::move(context)), serial_(ctx_.monitor.serial()) {}

int BootLoaderUpdate::UpdateBootLoader() {
    WaitCursor waitCursor(ctx_.view);
    DeviceDescription& device = ctx_.device;
    const int32_t code = updateVariant(device.hardwareModel, device.extendedFirmware);
    const ModelInfo* model = findModel(code);
    if (model == nullptr || model->update == UpdateKind::NotSupported) {
        ctx_.view.showMessage(LoadText(text::kNoFirmwareUpdate), "", MessageIcon::Error);
        return kFailure;
    }
    device.hardwareModel = code;  // the window shows the variant the update ran as
    if (Refused(model)) return kFailure;

    const bool general = model->update == UpdateKind::General;
    BootImage bootInit, bootLoader;
    if ((general && !LoadImage(model->bootInitImage, bootInit)) ||
        !LoadImage(model->bootLoaderImage, bootLoader) || !Confirmed(bootLoader))
        return kFailure;

    eraseSent_ = false;
    problem_.clear();
    const int result = general ? RunGeneral(*generalUpdateSteps(code, device.firmwareVersion),
                                            bootInit, bootLoader)
                               : RunRamBank(bootLoader);
    ctx_.view.setProgressRange(0, kProgressRange);
    if (result == kSuccess) {
        if (StopRequested()) tell(text::kFinishedAfterStop, MessageIcon::Information);
    } else if (eraseSent_) {
        // The controller's state, also where an abandoned run keeps its complaints back.
        ctx_.view.setStatus(LoadText(text::kBootLoaderMayBeErased));
        fail(LoadText(text::kBootLoaderMayBeErased));
    } else if (StopRequested()) {
        tell(text::kStoppedBeforeErase, MessageIcon::Warning);
    } else {
        fail(problem_);
    }
    // The controller restarted, or is in an unknown state: identify it afresh.
    device.deviceIdentified = false;
    return result;
}

bool BootLoaderUpdate::Refused(const ModelInfo* model) {
    if (!MonitorVersionKnown(ctx_.device)) {
        fail(LoadText(text::kMonitorVersionUnknown));
        return true;
    }
    if (!sameHardware(model->code, ctx_.identifiedModel)) {
        fail(LoadText(text::kOtherModel));
        return true;
    }
    return false;
}

bool BootLoaderUpdate::LoadImage(std::string_view name, BootImage& image) {
    const auto path = FindFileInFolder(ctx_.library, name);
    std::string problem;
    if (!path)
        problem = FormatText(text::kImageMissing, name, ctx_.library.string());
    else if (LoadBootImage(*path, image, problem))
        return true;
    fail(problem);
    return false;
}

bool BootLoaderUpdate::Confirmed(const BootImage& bootLoader) {
    const int controller = ctx_.device.firmwareVersion;
    const std::string library =
        bootLoader.version ? std::to_string(bootLoader.version) : LoadText(text::kUnknown);
    ctx_.view.setStatus(FormatText(text::kBootLoaderVersions, controller, library));
    const std::string caption = LoadText(text::kUpdateFirmware);
    if (ctx_.askFirst &&
        !ctx_.view.askYesNo(
            FormatText(text::kUpdateQuestion, controller, library, ctx_.library.string()), caption))
        return false;
    // Going back is never done without its own Yes.
    return bootLoader.version == 0 || bootLoader.version >= controller ||
           ctx_.view.askYesNo(FormatText(text::kDowngradeQuestion, bootLoader.version, controller,
                                         bootLoader.version),
                              caption);
}

int BootLoaderUpdate::RunGeneral(const GeneralUpdateSteps& steps, const BootImage& bootInit,
                                 const BootImage& bootLoader) {
    const ImageLoad loads[] = {{steps.ram.bootInitOffset, bootInit, kShownBootInit},
                               {steps.ram.bootLoaderOffset, bootLoader, kShownBootLoader}};
    if (LoadIntoRam(steps.ram.fill, loads) != kSuccess || StopRequested() ||
        EraseKeepingImages([&] { return EraseBootSectors(steps); }, steps.ram.fill, loads) !=
            kSuccess ||
        ProgramBootArea(steps.program) != kSuccess)
        return kFailure;
    return Restart(steps.restart, false);
}

int BootLoaderUpdate::RunRamBank(const BootImage& bootLoader) {
    const RamBankUpdate& commands = ramBankUpdate();
    const ImageLoad loads[] = {{commands.offset, bootLoader, kShownBootLoader}};
    if (LoadIntoRam(commands.fill, loads) != kSuccess || StopRequested() ||
        EraseKeepingImages([&] { return EraseWholeBootArea(commands.erase); }, commands.fill,
                           loads) != kSuccess)
        return kFailure;
    serial_.clock().sleep(kAfterImagePause);
    if (ProgramBootArea(commands.program) != kSuccess) return kFailure;
    return Restart(findModel(ctx_.device.hardwareModel)->restart, true);
}

int BootLoaderUpdate::LoadIntoRam(std::string_view fill, std::span<const ImageLoad> loads) {
    BaudSwitch baud(ctx_.monitor, ctx_.view, ctx_.baudRate);
    baud.RaiseBaudRate();
    const int result = TypeImages(fill, loads);
    // Nothing is erased at a raised rate, also not after a failure while raised.
    if (!baud.RestoreBaudRate() || !ctx_.monitor.Answers()) {
        if (result == kSuccess) problem_ = LoadText(text::kRateNotBack);
        return kFailure;
    }
    return result;
}

int BootLoaderUpdate::TypeImages(std::string_view fill, std::span<const ImageLoad> loads) {
    std::string answer;
    status(text::kMemoryInit);
    if (!Exchange(fill, std::string(fill) + kFillAnswer, kFillWait, answer)) return kFailure;
    for (const ImageLoad& load : loads) {
        status(text::kTransferOffset);
        if (!Exchange(load.offset, offsetAnswer(load.offset), kOffsetWait, answer) ||
            SendImageLines(load.image, load.shownName) != kSuccess)
            return kFailure;
    }
    return !ctx_.verify || ImagesInRam(loads) ? kSuccess : kFailure;
}

bool BootLoaderUpdate::ImagesInRam(std::span<const ImageLoad> loads) {
    for (const ImageLoad& load : loads)
        if (CheckImageInRam(load.image, offsetOf(load.offset)) != kSuccess) return false;
    return true;
}

int BootLoaderUpdate::EraseKeepingImages(const std::function<int()>& erase, std::string_view fill,
                                         std::span<const ImageLoad> loads) {
    echoMissed_ = false;
    if (erase() != kSuccess) return kFailure;
    if (!echoMissed_ || ImagesInRam(loads)) return kSuccess;
    // The images are gone: typed again, they are programmed after one more erase.
    problem_.clear();
    echoMissed_ = false;
    if (LoadIntoRam(fill, loads) != kSuccess || erase() != kSuccess) return kFailure;
    return !echoMissed_ || ImagesInRam(loads) ? kSuccess : kFailure;
}

int BootLoaderUpdate::CheckImageInRam(const BootImage& image, uint32_t offset) {
    ctx_.view.setStatus(FormatText(text::kReadingBack, image.name));
    ctx_.view.setProgressRange(0, kProgressRange);
    uint64_t done = 0;
    std::string data;
    for (const BootImageRun& run : image.runs) {
        for (size_t at = 0; at < run.bytes.size(); at += kReadBlock) {
            // The monitor stores each record at its address plus the offset, modulo 2^32.
            const uint32_t address = run.address + uint32_t(at) + offset;
            const std::string_view expected = std::string_view(run.bytes).substr(
                at, std::min<size_t>(kReadBlock, run.bytes.size() - at));
            if (!ReadRam(address, uint32_t(expected.size()), data)) {
                problem_ = LoadText(text::kRamUnreadable);
                return kFailure;
            }
            const auto differ = std::mismatch(expected.begin(), expected.end(), data.begin());
            if (differ.first != expected.end()) {
                problem_ = FormatText(text::kRamDiffers, image.name,
                                      address + uint32_t(differ.first - expected.begin()));
                return kFailure;
            }
            done += expected.size();
            ctx_.view.setProgress(int(done * kProgressRange / image.dataBytes));
            ctx_.view.keepPainted();
        }
    }
    return kSuccess;
}

bool BootLoaderUpdate::ReadRam(uint32_t address, uint32_t count, std::string& data) {
    char command[32];
    std::snprintf(command, sizeof command, kReadCommand, address, count);
    const size_t echo = std::strlen(command) + 2;
    const size_t length = echo + kReadHeaderLength + count + kMonitorPromptLength;
    std::string answer;
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        answer.clear();
        if (!DrainUntilQuiet() || !SendCommand(command)) return false;
        ctx_.monitor.ReceiveUntilSilent(answer, length, kAnswerSilence);
        unsigned gotAddress = 0, gotCount = 0, sum = 0;
        if (answer.size() != length || !EndsWithPrompt(answer) ||
            answer.compare(0, echo - 2, command) != 0 ||
            std::sscanf(answer.c_str() + echo, "%x %x %x", &gotAddress, &gotCount, &sum) != 3 ||
            gotAddress != address || gotCount != count)
            continue;
        data = answer.substr(echo + kReadHeaderLength, count);
        uint32_t total = 0;
        for (char c : data) total += static_cast<unsigned char>(c);
        if (total == sum) return true;
    }
    return false;
}

int BootLoaderUpdate::EraseBootSectors(const GeneralUpdateSteps& steps) {
    const bool oldMonitor = isOldMonitor(ctx_.device.firmwareVersion);
    status(text::kEraseBoot, " #0");
    std::string answer;
    const std::string_view first = steps.sectors.first;
    if (EraseStep(first, oldMonitor ? kOldSectorSilence : kNewFirstSectorSilence, answer, false) !=
        kSuccess)
        return kFailure;
    // The first answer names the sector erased; sector 0 spans the whole boot area. When it
    // names none, the further sectors are erased as well: erasing twice does no harm.
    const std::string numbered = std::string(first) + kSectorAnswer;
    int firstSector = -1;
    if (answer.starts_with(numbered)) numberAt(answer, numbered.size(), firstSector);
    int shown = 0;
    if (firstSector != 0) {
        for (std::string_view command : steps.sectors.further) {
            status(text::kEraseBoot, " #" + std::to_string(++shown));
            if (EraseStep(command, kOldSectorSilence, answer, false) != kSuccess) return kFailure;
        }
    }
    if (steps.extraSector.empty()) return kSuccess;
    status(text::kEraseBoot, " #" + std::to_string(shown + 1));
    return EraseStep(steps.extraSector, kOldSectorSilence, answer, false);
}

int BootLoaderUpdate::EraseWholeBootArea(std::string_view command) {
    status(text::kEraseBoot);
    ctx_.view.setProgressRange(0, kProgressRange);
    std::string answer;
    return EraseStep(command, kNewFirstSectorSilence, answer, true);
}

int BootLoaderUpdate::EraseStep(std::string_view command, Millis silence, std::string& answer,
                                bool dots) {
    eraseSent_ = true;
    answer.clear();
    if (!DrainUntilQuiet() || !SendCommand(command)) return kFailure;
    // "Sectors(  16):", then one dot per erased sector.
    const std::string head = std::string(command) + kSectorsHead;
    const auto showDots = [&](const std::string& sofar) {
        int sectors = 0;
        size_t digits = head.size();
        while (digits < sofar.size() && sofar[digits] == ' ') ++digits;
        const size_t colon = sofar.find(':', digits);
        if (!sofar.starts_with(head) || colon == std::string::npos ||
            !numberAt(sofar, digits, sectors) || sectors <= 0)
            return;
        const auto erased = std::count(sofar.begin() + std::ptrdiff_t(colon), sofar.end(), '.');
        ctx_.view.setProgress(int(std::min<long>(erased, sectors) * kProgressRange / sectors));
    };
    ctx_.monitor.ReceiveUntilSilent(
        answer, kAnswerCapacity, Wait::Damped(silence),
        dots ? std::function<void(const std::string&)>(showDots) : nullptr);
    if (reportsError(answer, command)) return kFailure;
    if (!answer.starts_with(std::string(command) + "\r\n")) echoMissed_ = true;
    if (EndsWithPrompt(answer)) return kSuccess;
    // No prompt, or one that came changed: the step counts as done while the monitor still
    // answers a prompt request. Its silence is the step's, damped and scaled as well.
    std::string prompt;
    return ctx_.monitor
                   .SendAndWaitPrompt("", prompt, kRestartCapacity, Wait::DampedAndScaled(silence))
                   .ok()
               ? kSuccess
               : kFailure;
}

int BootLoaderUpdate::ProgramBootArea(std::string_view command) {
    status(text::kProgrammingBoot);
    const std::string echo = std::string(command) + "\r\n";
    std::string answer;
    // The echo alone would also open a refusal ("Address error"): the copy must be done.
    if (!Exchange(command, echo, kProgramWait, answer) ||
        answer.find(kProgramDone, echo.size()) == std::string::npos)
        return kFailure;
    serial_.clock().sleep(kAfterProgramPause);
    return kSuccess;
}

int BootLoaderUpdate::Restart(std::string_view command, bool ramBank) {
    MonitorExchange& monitor = ctx_.monitor;
    std::string answer;
    if (NeedsUsbReopen(ctx_.device.hardwareModel, ctx_.portIsUsb)) {
        // The controller's USB port goes away and comes back: reopen it by its name. If it
        // does not come back, the prompt wait below fails on the closed port.
        SendCommand(command);
        ReopenLink(serial_, true);
        return monitor.SendAndWaitPrompt(kPromptRequest, answer, kRestartCapacity, kRestartBudget)
                       .ok()
                   ? kSuccess
                   : kFailure;
    }
    if (ramBank) {
        monitor.SendCommand(std::string(command));
        serial_.clock().sleep(kRamBankRestartPause);
        return monitor.SendAndWaitPrompt(kPromptRequest, answer, kRestartCapacity, kRestartBudget)
                       .ok()
                   ? kSuccess
                   : kFailure;
    }
    // as the monitor expects: the first restart's answer may be cut short by the restart
    // itself; the second counts.
    monitor.SendAndWaitPrompt(std::string(command), answer, kRestartCapacity, kRestartBudget);
    return monitor.SendAndWaitPrompt(std::string(command), answer, kRestartCapacity, kRestartBudget)
                   .ok()
               ? kSuccess
               : kFailure;
}

int BootLoaderUpdate::SendImageLines(const BootImage& image, std::string_view shownName) {
    ctx_.view.setStatus(LoadText(text::kDownloadLowercase) + std::string(shownName));
    ctx_.view.setProgress(0);
    ctx_.view.setProgressRange(0, int(image.lineFeeds));
    BootImageEchoWatch watch(image);
    const auto notIntact = [&] {
        problem_ = FormatText(text::kLineNotIntact, image.name, int(watch.Line()));
        return kFailure;
    };
    int position = 0;
    uint64_t total = 0, sent = 0;  // bytes on the line, each piece with its CR
    for (const std::string& piece : image.pieces) total += piece.size() + 1;
    std::string answers;
    for (const std::string& piece : image.pieces) {
        // Before the erase a stop ends the typing between two lines; after it (the images
        // typed again) only the finished update is a safe point.
        if (!eraseSent_ && StopRequested()) return kFailure;
        // No answer is awaited before the next piece: the answers are followed as they come,
        // and the first one that is not the record's own ends the typing.
        if (!SendCommand(piece) ||
            ctx_.monitor.ReceiveWaiting(answers, kAnswerPiece, Wait::Fixed(Millis{0})).heard ==
                Heard::ReadFailed)
            return kFailure;
        if (!watch.Take(answers)) return notIntact();
        if (position < int(image.lineFeeds)) ctx_.view.setProgress(++position);
        ctx_.view.setTransferred(sent += piece.size() + 1, total);
        ctx_.view.keepPainted();
    }
    // The answers to the last pieces are still on their way.
    while (!watch.Complete()) {
        if (!ctx_.monitor.ReceiveWaiting(answers, kAnswerPiece, kAnswerSilence).ok()) {
            problem_ = FormatText(text::kLinesUnanswered, image.name);
            return kFailure;
        }
        if (!watch.Take(answers)) return notIntact();
    }
    return kSuccess;
}

bool BootLoaderUpdate::Exchange(std::string_view command, const std::string& expected, Wait limit,
                                std::string& answer) {
    answer.clear();
    if (!DrainUntilQuiet() || !SendCommand(command)) return false;
    ctx_.monitor.ReceiveUntilPrompt(answer, kAnswerCapacity, limit);
    return answer.starts_with(expected);
}

bool BootLoaderUpdate::SendCommand(std::string_view command) {
    return ctx_.monitor.SendLine(std::string(command));
}

bool BootLoaderUpdate::DrainUntilQuiet() {
    return ctx_.monitor.DrainUntilQuiet(kQuietTime, kDrainLimit);
}

void BootLoaderUpdate::status(int textId, std::string_view suffix) const {
    ctx_.view.setStatus(LoadText(textId) + std::string(suffix));
}

void BootLoaderUpdate::tell(int textId, MessageIcon icon) const {
    status(textId);
    ctx_.view.showMessage(LoadText(textId), LoadText(text::kUpdateFirmware), icon);
}

void BootLoaderUpdate::fail(const std::string& detail) const {
    std::string text = LoadText(text::kBootLoaderUpdateError);
    if (!detail.empty()) text += "\n\n" + detail;
    ctx_.view.showMessage(text, "", MessageIcon::Error);
}

}  // namespace tarmix
