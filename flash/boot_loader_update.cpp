#include "flash/boot_loader_update.h"

#include <cctype>

#include "lang/catalog.h"
#include "link/connection_watch.h"
#include "platform/folder_lookup.h"

namespace tarmix {

namespace {

constexpr int kTextDownload = 60130;          // "download"
constexpr int kTextEraseBoot = 60160;         // "Erase Boot - sector"
constexpr int kTextNoFirmwareUpdate = 60281;  // "Hardware supports no firmware - update"
constexpr int kTextMemoryInit = 60310;        // "Memory init"
constexpr int kTextProgrammingBoot = 60360;   // "Programming boot - sector"
constexpr int kTextTransferOffset = 60470;    // "Transfer S3 - offset"
constexpr int kTextUpdateError = 60500;       // "Error with the update of the Bootloader"

// Fixed texts of this version's own checks.
constexpr char kVersionUnknown[] =
    "The monitor version of the controller is not known; it decides the update's commands.";
constexpr char kOtherModel[] =
    "The hardware model chosen for the update is not the connected controller's.";
constexpr char kBootAreaMayBeErased[] =
    "The controller's boot loader may be erased. Do not switch the controller off: while it "
    "still answers, the update can be run again.";
constexpr char kImageMissing[] = "is not in the folder";

// The status line names the images by these names, whatever the model.
constexpr char kShownBootInit[] = " Bootinit.rom";
constexpr char kShownBootLoader[] = " Boot.rom";

constexpr size_t kAnswerCapacity = 999;
constexpr size_t kDrainChunk = 4096;
constexpr size_t kRestartCapacity = 1000;
constexpr char kFillAnswer[] = "\r\nBoot>";
constexpr char kSectorAnswer[] = "\r\n Sector #";
constexpr char kOffsetAnswer[] = "\r\n  Offset:    ";
constexpr char kProgramDone[] = "...done";
constexpr char kEraseDone[] = "erase done";
constexpr char kSectorsHead[] = "\r\nSectors(";
constexpr size_t kSectorCountDigits = 4;
constexpr char kSectorsTail[] = "):";
// After a restart the monitor is asked for its prompt with a line of one line feed.
constexpr char kPromptRequest[] = "\n";

// "s3offset ff3e0000" is answered "s3offset ff3e0000\r\n  Offset:    FF3E0000\r\n".
std::string offsetAnswer(std::string_view command) {
    std::string address(command.substr(command.rfind(' ') + 1));
    for (char& c : address) c = char(std::toupper(static_cast<unsigned char>(c)));
    return std::string(command) + kOffsetAnswer + address + "\r\n";
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

}  // namespace

bool BootLoaderUpdateAvailable(const DeviceDescription& device, bool terminalShown,
                               const std::filesystem::path& library) {
    if (!device.deviceIdentified || !MonitorVersionKnown(device) || terminalShown) return false;
    const std::string_view file =
        updateAvailabilityFile(device.hardwareModel, device.extendedFirmware);
    return !file.empty() && FindFileInFolder(library, file).has_value();
}

BootLoaderUpdate::BootLoaderUpdate(BootLoaderUpdateContext context)
    : ctx_(std::move(context)), serial_(ctx_.monitor.serial()) {}

int BootLoaderUpdate::UpdateBootLoader() {
    WaitCursor waitCursor(ctx_.view);
    DeviceDescription& device = ctx_.device;
    const int32_t code = updateVariant(device.hardwareModel, device.extendedFirmware);
    const ModelInfo* model = findModel(code);
    if (model == nullptr || model->update == UpdateKind::NotSupported) {
        ctx_.view.showMessage(LoadText(kTextNoFirmwareUpdate), "", MessageIcon::Error);
        return kFailure;
    }
    device.hardwareModel = code;  // the window shows the variant the update ran as
    if (Refused(model)) return kFailure;

    const bool general = model->update == UpdateKind::General;
    BootImage bootInit, bootLoader;
    if ((general && !LoadImage(model->bootInitImage, bootInit)) ||
        !LoadImage(model->bootLoaderImage, bootLoader))
        return kFailure;

    eraseSent_ = false;
    const int result = general ? RunGeneral(*generalUpdateSteps(code, device.firmwareVersion),
                                            bootInit, bootLoader)
                               : RunRamBank(bootLoader);
    ctx_.view.setProgressRange(0, kProgressRange);
    if (result != kSuccess) fail(eraseSent_ ? kBootAreaMayBeErased : "");
    // The controller restarted, or is in an unknown state: identify it afresh.
    device.deviceIdentified = false;
    return result;
}

bool BootLoaderUpdate::Refused(const ModelInfo* model) {
    if (!MonitorVersionKnown(ctx_.device)) {
        fail(kVersionUnknown);
        return true;
    }
    if (!sameHardware(model->code, ctx_.identifiedModel)) {
        fail(kOtherModel);
        return true;
    }
    return false;
}

bool BootLoaderUpdate::LoadImage(std::string_view name, BootImage& image) {
    const auto path = FindFileInFolder(ctx_.library, name);
    std::string problem;
    if (!path)
        problem = "\"" + std::string(name) + "\" " + kImageMissing + " " + ctx_.library.string();
    else if (LoadBootImage(*path, image, problem))
        return true;
    fail(problem);
    return false;
}

int BootLoaderUpdate::RunGeneral(const GeneralUpdateSteps& steps, const BootImage& bootInit,
                                 const BootImage& bootLoader) {
    std::string answer;
    status(kTextMemoryInit);
    if (!Exchange(steps.ram.fill, std::string(steps.ram.fill) + kFillAnswer,
                  ctx_.monitor.scaled(kFillTimeout), answer))
        return kFailure;
    struct Load {
        std::string_view offset;
        const BootImage& image;
        const char* shownName;
    };
    for (const Load& load : {Load{steps.ram.bootInitOffset, bootInit, kShownBootInit},
                             Load{steps.ram.bootLoaderOffset, bootLoader, kShownBootLoader}}) {
        status(kTextTransferOffset);
        if (!Exchange(load.offset, offsetAnswer(load.offset), ctx_.monitor.scaled(kOffsetTimeout),
                      answer) ||
            SendImageLines(load.image, load.shownName) != kSuccess)
            return kFailure;
    }
    if (EraseBootSectors(steps) != kSuccess || ProgramBootArea(steps.program) != kSuccess)
        return kFailure;
    return Restart(steps.restart, false);
}

int BootLoaderUpdate::EraseBootSectors(const GeneralUpdateSteps& steps) {
    const bool oldMonitor = ctx_.device.firmwareVersion <= kLastOldMonitorVersion;
    // Every sector command is answered with its echo and the number of the erased sector.
    auto erase = [&](std::string_view command, Millis timeout, int& sector) {
        const std::string expected = std::string(command) + kSectorAnswer;
        std::string answer;
        eraseSent_ = true;
        return Exchange(command, expected, timeout, answer) &&
               numberAt(answer, expected.size(), sector);
    };
    status(kTextEraseBoot, " #0");
    int firstSector = 0, sector = 0;
    if (!erase(steps.sectors.first, unit(oldMonitor ? kOldSectorTimeout : kNewFirstSectorTimeout),
               firstSector))
        return kFailure;
    int shown = 0;
    if (firstSector != 0) {
        for (std::string_view command : steps.sectors.further) {
            status(kTextEraseBoot, " #" + std::to_string(++shown));
            if (!erase(command, unit(kOldSectorTimeout), sector)) return kFailure;
        }
    }
    if (steps.extraSector.empty()) return kSuccess;
    status(kTextEraseBoot, " #" + std::to_string(shown + 1));
    return erase(steps.extraSector, unit(kOldSectorTimeout), sector) ? kSuccess : kFailure;
}

int BootLoaderUpdate::RunRamBank(const BootImage& bootLoader) {
    const RamBankUpdate& commands = ramBankUpdate();
    std::string answer;
    status(kTextMemoryInit);
    if (!Exchange(commands.fill, std::string(commands.fill) + kFillAnswer,
                  ctx_.monitor.scaled(kFillTimeout), answer))
        return kFailure;
    status(kTextTransferOffset);
    if (!Exchange(commands.offset, offsetAnswer(commands.offset),
                  ctx_.monitor.scaled(kOffsetTimeout), answer) ||
        SendImageLines(bootLoader, kShownBootLoader) != kSuccess ||
        EraseWholeBootArea(commands.erase) != kSuccess)
        return kFailure;
    serial_.clock().sleep(kAfterImagePause);
    if (ProgramBootArea(commands.program) != kSuccess) return kFailure;
    return Restart(findModel(ctx_.device.hardwareModel)->restart, true);
}

int BootLoaderUpdate::EraseWholeBootArea(std::string_view command) {
    status(kTextEraseBoot);
    if (!DrainUntilQuiet()) return kFailure;
    eraseSent_ = true;
    if (!SendCommand(command)) return kFailure;
    // "Sectors(  16):", then one dot per erased sector, then "erase done".
    const std::string head = std::string(command) + kSectorsHead;
    const size_t length = head.size() + kSectorCountDigits + 2;
    std::string answer;
    serial_.ReceiveText(answer, length, length, ctx_.monitor.scaled(kDotTimeout));
    int sectors = 0;
    size_t digits = head.size();
    while (digits < length - 2 && answer.size() == length && answer[digits] == ' ') ++digits;
    if (answer.size() != length || answer.compare(0, head.size(), head) != 0 ||
        answer.compare(length - 2, 2, kSectorsTail) != 0 || !numberAt(answer, digits, sectors) ||
        sectors <= 0)
        return kFailure;
    ctx_.view.setProgressRange(0, kProgressRange);
    for (int i = 0; i < sectors; ++i) {
        if (serial_.ReceiveText(answer, 1, 1, ctx_.monitor.scaled(kDotTimeout)) != 0 ||
            answer != ".")
            return kFailure;
        ctx_.view.setProgress((i + 1) * kProgressRange / sectors);
    }
    const std::string done = kEraseDone;
    serial_.ReceiveText(answer, done.size(), done.size(), ctx_.monitor.scaled(kEraseDoneTimeout));
    return answer == done ? kSuccess : kFailure;
}

int BootLoaderUpdate::ProgramBootArea(std::string_view command) {
    status(kTextProgrammingBoot);
    const std::string echo = std::string(command) + "\r\n";
    std::string answer;
    // The echo alone would also open a refusal ("Address error"): the copy must be done.
    if (!Exchange(command, echo, unit(kProgramTimeout), answer) ||
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
                   ? kSuccess
                   : kFailure;
    }
    if (ramBank) {
        serial_.DrainInput();
        SendCommand(command);
        serial_.clock().sleep(kRamBankRestartPause);
        return monitor.SendAndWaitPrompt(kPromptRequest, answer, kRestartCapacity, kRestartBudget)
                   ? kSuccess
                   : kFailure;
    }
    // The first restart's answer may be cut short by the restart itself; the second counts.
    monitor.SendAndWaitPrompt(std::string(command), answer, kRestartCapacity, kRestartBudget);
    return monitor.SendAndWaitPrompt(std::string(command), answer, kRestartCapacity, kRestartBudget)
               ? kSuccess
               : kFailure;
}

int BootLoaderUpdate::SendImageLines(const BootImage& image, std::string_view shownName) {
    ctx_.view.setStatus(LoadText(kTextDownload) + std::string(shownName));
    ctx_.view.setProgress(0);
    ctx_.view.setProgressRange(0, int(image.lineFeeds));
    int position = 0;
    for (const std::string& piece : image.pieces) {
        // No answer is awaited: the monitor stores each record as it comes. Its echo is
        // thrown away as it arrives, so it never piles up behind the records.
        if (serial_.SendLine(piece) != 0 || serial_.DrainInput() != 0) return kFailure;
        if (position < int(image.lineFeeds)) ctx_.view.setProgress(++position);
        ctx_.view.keepPainted();
    }
    serial_.clock().sleep(kAfterImagePause);
    return DrainUntilQuiet() ? kSuccess : kFailure;
}

bool BootLoaderUpdate::Exchange(std::string_view command, const std::string& expected,
                                Millis timeout, std::string& answer) {
    answer.clear();
    if (!DrainUntilQuiet() || !SendCommand(command)) return false;
    ReceiveUntilPrompt(answer, timeout);
    return answer.size() >= expected.size() && answer.compare(0, expected.size(), expected) == 0;
}

bool BootLoaderUpdate::SendCommand(std::string_view command) {
    return serial_.SendLine(std::string(command)) == 0;
}

bool BootLoaderUpdate::DrainUntilQuiet() {
    const Millis deadline = serial_.clock().now() + ctx_.monitor.scaled(kDrainLimit);
    std::string echo;
    do {
        if (serial_.ReceiveText(echo, kDrainChunk, kDrainChunk, kQuietTime) != 0) return false;
        if (echo.empty()) return true;
    } while (serial_.clock().now() < deadline);
    return false;
}

void BootLoaderUpdate::ReceiveUntilPrompt(std::string& answer, Millis timeout) {
    const Millis deadline = serial_.clock().now() + timeout;
    std::string piece;
    while (answer.size() < kAnswerCapacity && !EndsWithPrompt(answer)) {
        const Millis left = deadline - serial_.clock().now();
        if (left.count() <= 0 ||
            serial_.ReceiveText(piece, kAnswerCapacity - answer.size(), 1, left) != 0)
            return;
        answer += piece;
    }
}

Millis BootLoaderUpdate::unit(Millis base) const {
    return base * (ctx_.monitor.timeFactor() / 3 + 1);
}

void BootLoaderUpdate::status(int textId, std::string_view suffix) const {
    ctx_.view.setStatus(LoadText(textId) + std::string(suffix));
}

void BootLoaderUpdate::fail(const std::string& detail) const {
    std::string text = LoadText(kTextUpdateError);
    if (!detail.empty()) text += "\n\n" + detail;
    ctx_.view.showMessage(text, "", MessageIcon::Error);
}

}  // namespace tarmix
