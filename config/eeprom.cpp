#include "config/eeprom.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#include "config/capability.h"
#include "config/eeprom_area.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/identify.h"
#include "platform/output_questions.h"
#include "platform/replacing_file.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

using namespace std::chrono_literals;

// The echo of a block command is the 31-character command and CR LF.
constexpr size_t kEchoLength = 33;
// "Addr " and the block's address in eight hexadecimal digits.
constexpr size_t kAddressLineLength = 13;
constexpr char kAddressTag[] = "Addr ";
constexpr char kAcknowledgement[] = "O.K.";
constexpr Wait kEchoWait = Wait::Scaled(2000ms);
constexpr Wait kAddressWait = Wait::Scaled(4000ms);
constexpr Wait kDataWait = Wait::Scaled(6000ms);
constexpr Wait kAcknowledgementWait = Wait::Scaled(12000ms);
// The prompt that ends a block's answer; a monitor that leaves it out costs this wait.
constexpr Wait kPromptWait = Wait::Scaled(500ms);
// A refused "seteepromdata" answers its error line at once after the echo; a taken one is
// silent, waiting for the data. Only then do the data go out.
constexpr Wait kRefusalLook = Wait::Scaled(100ms);
// The EEPROM is written while the monitor answers; it needs this before the next block.
constexpr Millis kBlockPause = 200ms;
// "tell caps", "tell drives" and "init caps" answers are collected up to the prompt.
constexpr size_t kAnswerCapacity = 2000;

std::string Hex8(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string BlockCommand(const char* verb, uint32_t address, uint32_t length) {
    return std::string(verb) + ' ' + Hex8(address) + ' ' + Hex8(length);
}

// Bytes from the serial line, taken a given number at a time. A read may bring more than
// was asked for (the next part of the answer); that stays here for the next take.
class Incoming {
  public:
    Incoming(MonitorExchange& monitor) : monitor_(monitor) {}

    // At least `count` bytes within `wait`: the first `count` go into `out`. false when
    // fewer arrived; `out` then holds those.
    bool Take(size_t count, Wait wait, std::string& out) {
        monitor_.ReceiveAtLeast(pending_, count, kReadCapacity, wait);
        const bool complete = pending_.size() >= count;
        out = pending_.substr(0, count);
        pending_.erase(0, out.size());
        return complete;
    }
    // Nothing (more) arrives within `wait`.
    bool Quiet(Wait wait) {
        std::string ignored;
        return !Take(1, wait, ignored) && ignored.empty();
    }
    // Throws away what is queued, here and in the driver.
    void Clear() {
        pending_.clear();
        monitor_.serial().DrainInput();
    }

  private:
    static constexpr size_t kReadCapacity = 0x10000;
    MonitorExchange& monitor_;
    std::string pending_;
};

// The size of drive B: in kB as the controller reports it now, from two readings that agree.
std::optional<int32_t> DriveBSize(MonitorExchange& monitor) {
    const auto sizes = ReadAgreedDriveSizes(monitor, kAnswerCapacity);
    if (!sizes) return std::nullopt;
    return (*sizes)[1];
}

// The area this controller keeps its EEPROM data in, for a data length; nullopt with a
// reason when the controller's figures cannot be read or make no area.
std::optional<EepromHeader> ControllerArea(EepromContext& context, const EepromRule& rule,
                                           std::optional<uint32_t> dataLength,
                                           std::string& reason) {
    const CapabilityRecord caps = ReadCapabilities(context.monitor, kAnswerCapacity);
    if (caps.status != CapabilityStatus::Read) {
        reason = CapabilityReadFailure(caps.status);
        return std::nullopt;
    }
    int32_t driveB = 0;
    if (rule.belowEndWithDriveB) {
        const auto size = DriveBSize(context.monitor);
        if (!size) {
            reason = LoadText(text::kNoDriveSizes);
            return std::nullopt;
        }
        driveB = *size;
    }
    const uint32_t length = dataLength.value_or(uint32_t(caps.values[kEepromDataLengthValue - 1]));
    const auto area = EepromArea(rule, length, uint32_t(caps.values[kEepromEndValue - 1]), driveB);
    if (!area) reason = LoadText(text::kNoArea);
    return area;
}

// The progress bar runs over the area's addresses, with the bytes done beside it; it goes
// back to its ordinary range on every way out.
class ProgressOverArea {
  public:
    ProgressOverArea(View& view, const EepromHeader& area) : view_(view), area_(area) {
        view_.setProgressRange(int(area.start), int(area.end));
        reached(area.start);
    }
    ~ProgressOverArea() { view_.setProgressRange(0, kProgressRange); }
    ProgressOverArea(const ProgressOverArea&) = delete;
    ProgressOverArea& operator=(const ProgressOverArea&) = delete;

    void reached(uint32_t address) {
        view_.setProgress(int(address));
        view_.setTransferred(address - area_.start, area_.end - area_.start);
    }

  private:
    View& view_;
    EepromHeader area_;
};

std::string ChecksumBytes(std::span<const uint8_t> data) {
    const uint16_t checksum = EepromChecksum(data);
    return {char(checksum & 0xff), char(checksum >> 8)};
}

std::span<const uint8_t> AsBytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// "Addr " and eight hexadecimal digits, in either case, that name `address`.
bool NamesAddress(const std::string& line, uint32_t address) {
    const size_t tag = sizeof kAddressTag - 1;
    if (line.size() != kAddressLineLength || line.compare(0, tag, kAddressTag) != 0 ||
        !std::all_of(line.begin() + tag, line.end(),
                     [](unsigned char c) { return std::isxdigit(c); }))
        return false;
    return std::stoul(line.substr(tag), nullptr, 16) == address;
}

// One "geteepromdata" block; its data bytes are appended to `out`.
bool ReadBlock(MonitorExchange& monitor, Incoming& in, uint32_t address, uint32_t length,
               std::string& out) {
    in.Clear();
    const std::string command = BlockCommand("geteepromdata", address, length);
    if (!monitor.SendLine(command)) return false;
    std::string echo, addressLine, data, prompt;
    if (!in.Take(kEchoLength, kEchoWait, echo) || echo != command + "\r\n") return false;
    if (!in.Take(kAddressLineLength, kAddressWait, addressLine) ||
        !NamesAddress(addressLine, address))
        return false;
    if (!in.Take(length + 2, kDataWait, data)) return false;
    const std::string checksum = data.substr(length);
    data.resize(length);
    if (checksum != ChecksumBytes(AsBytes(data))) return false;
    in.Take(kMonitorPromptLength, kPromptWait, prompt);
    out += data;
    return true;
}

// One "seteepromdata" block.
bool WriteBlock(MonitorExchange& monitor, Incoming& in, uint32_t address,
                std::span<const uint8_t> data) {
    in.Clear();
    CSerial& serial = monitor.serial();
    const std::string command = BlockCommand("seteepromdata", address, uint32_t(data.size()));
    if (!monitor.SendLine(command)) return false;
    std::string echo, answer, prompt;
    if (!in.Take(kEchoLength, kEchoWait, echo) || echo != command + "\r\n") return false;
    if (!in.Quiet(kRefusalLook)) return false;
    const std::string checksum = ChecksumBytes(data);
    if (serial.WriteBytes(data.data(), data.size()) != 0 || serial.WriteText(checksum) != 0)
        return false;
    if (!in.Take(sizeof kAcknowledgement - 1, kAcknowledgementWait, answer) ||
        answer != kAcknowledgement)
        return false;
    in.Take(kMonitorPromptLength, kPromptWait, prompt);
    return true;
}

// The EEPROM area's contents, block by block; nullopt when a block failed. With verify each
// block is read twice and must read the same: its 16-bit sum misses changes that cancel.
std::optional<std::string> ReadArea(EepromContext& context, const EepromHeader& area) {
    ProgressOverArea progress(context.view, area);
    RaisedBaudRate raised(context.baud);
    Incoming in(context.monitor);
    std::string contents;
    uint32_t address = area.start;
    // The first block is asked for even when the area is empty.
    do {
        if (StopRequested()) return std::nullopt;  // between two blocks: nothing is pending
        const uint32_t length = std::min(kEepromBlockLength, area.end - address);
        if (!ReadBlock(context.monitor, in, address, length, contents)) return std::nullopt;
        std::string again;
        if (context.verify && (!ReadBlock(context.monitor, in, address, length, again) ||
                               contents.compare(contents.size() - length, length, again) != 0))
            return std::nullopt;
        address += length;
        progress.reached(address);
    } while (address < area.end);
    return contents;
}

// The bytes written; data.size() when all were. A stop ends it between two blocks.
size_t WriteArea(EepromContext& context, const EepromHeader& area, std::span<const uint8_t> data) {
    ProgressOverArea progress(context.view, area);
    RaisedBaudRate raised(context.baud);
    Incoming in(context.monitor);
    Clock& clock = context.monitor.serial().clock();
    for (size_t offset = 0; offset < data.size(); offset += kEepromBlockLength) {
        if (StopRequested()) return offset;
        const auto block =
            data.subspan(offset, std::min<size_t>(kEepromBlockLength, data.size() - offset));
        if (!WriteBlock(context.monitor, in, area.start + uint32_t(offset), block)) return offset;
        progress.reached(area.start + uint32_t(offset + block.size()));
        clock.sleep(kBlockPause);
    }
    return data.size();
}

void ShowError(View& view, const std::string& text) {
    view.showMessage(text, LoadText(text::kError), MessageIcon::Error);
}

void RestoreFailed(View& view, const std::string& reason) {
    ShowError(view, LoadText(text::kEepromRestoreFailed) + (reason.empty() ? "" : "\n\n" + reason));
}

struct EepromImage {
    EepromHeader header;
    std::vector<uint8_t> contents;
};

// The image file, whole; nullopt after its message when it cannot be read or its size is
// not that of the area its header names.
std::optional<EepromImage> ReadImageFile(View& view, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ShowError(view, LoadText(text::kFileOpenError) + "\n" + path);
        return std::nullopt;
    }
    std::array<uint8_t, kEepromHeaderSize> bytes{};
    if (!in.read(reinterpret_cast<char*>(bytes.data()), bytes.size())) {
        ShowError(view, LoadText(text::kFileReadError) + "\n" + path);
        return std::nullopt;
    }
    EepromImage image{DecodeEepromHeader(bytes), {}};
    std::error_code failure;
    const uintmax_t size = fs::file_size(path, failure);
    const EepromHeader& header = image.header;
    if (failure || header.start > header.end ||
        size != kEepromHeaderSize + uintmax_t(header.size())) {
        ShowError(view, LoadText(text::kFileReadError) + "\n" + path + "\n\n" +
                            LoadText(text::kEepromFileSizeMismatch));
        return std::nullopt;
    }
    image.contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (image.contents.size() != header.size()) {
        ShowError(view, LoadText(text::kFileReadError) + "\n" + path);
        return std::nullopt;
    }
    return image;
}

// The EEPROM read back after a restore holds the file's contents.
bool HoldsImage(EepromContext& context, const EepromImage& image) {
    const auto contents = ReadArea(context, image.header);
    return contents && std::equal(contents->begin(), contents->end(), image.contents.begin(),
                                  image.contents.end(),
                                  [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

}  // namespace

EepromSaveResult EepromSave(EepromContext& context, const fs::path& backupFolder,
                            EepromHeader* savedArea) {
    const auto rule = EepromRuleFor(context.hardwareModel);
    if (!rule) return EepromSaveResult::NothingToSave;
    View& view = context.view;
    if (context.firmwareVersion < rule->firstFirmware) {
        view.showMessage(LoadText(rule->firmwareWarningText), LoadText(text::kWarning),
                         MessageIcon::Warning);
        return EepromSaveResult::NothingToSave;
    }
    const fs::path folder = backupFolder / kEepromFolderName;
    switch (PrepareOutputFolder(view, folder)) {
        case FolderReady::Ready:
            break;
        case FolderReady::Declined:
            return EepromSaveResult::NothingToSave;
        case FolderReady::Failed:
            return EepromSaveResult::Failed;
    }
    const fs::path path = folder / kEepromFileName;
    if (!MayReplaceFile(view, path)) return EepromSaveResult::NothingToSave;

    view.setStatus(LoadText(text::kSavingEeprom));
    std::string reason;
    const auto area = ControllerArea(context, *rule, std::nullopt, reason);
    if (!area) {
        view.setStatus(reason);
        return EepromSaveResult::Failed;
    }
    ReplacingFile file;
    std::string error;
    if (!file.Open(path, error)) {
        ShowError(view, LoadText(text::kFileOpenError) + "\n" + path.string());
        return EepromSaveResult::Failed;
    }
    const auto contents = ReadArea(context, *area);
    if (!contents) {
        // The file is not replaced: an earlier one stays as it was.
        if (StopRequested()) view.setStatus(LoadText(text::kEepromSaveStopped));
        return EepromSaveResult::Failed;
    }
    if (!file.Write(EncodeEepromHeader(*area)) || !file.Write(*contents) || !file.Commit(error)) {
        ShowError(view, LoadText(text::kFileWriteError) + "\n" + path.string() + "\n\n" + error);
        return EepromSaveResult::Failed;
    }
    view.setStatus(FormatText(text::kEepromSaved, area->start, area->end, area->size()));
    if (savedArea) *savedArea = *area;
    return EepromSaveResult::Saved;
}

int EepromRestore(EepromContext& context, const std::string& path) {
    View& view = context.view;
    const auto image = ReadImageFile(view, path);
    if (!image) return 1;
    const auto rule = EepromRuleFor(context.hardwareModel);
    if (!rule) {
        RestoreFailed(view, LoadText(text::kNoRestorable));
        return 1;
    }
    if (context.firmwareVersion < rule->firstFirmware) {
        RestoreFailed(view, FormatText(text::kFirmwareNeeded, rule->firstFirmware));
        return 1;
    }
    view.setStatus(LoadText(text::kRestoringEeprom));
    std::string reason;
    const EepromHeader& header = image->header;
    const auto area = ControllerArea(context, *rule, header.dataLength, reason);
    if (!area) {
        RestoreFailed(view, reason);
        return 1;
    }
    if (*area != header) {
        RestoreFailed(
            view, FormatText(text::kOtherArea, header.start, header.end, area->start, area->end));
        return 1;
    }
    if (const size_t written = WriteArea(context, header, image->contents);
        written != image->contents.size()) {
        if (!StopRequested()) {
            RestoreFailed(view, "");
            return 1;
        }
        // The controller's state: the warning stays until it has been read.
        const std::string text = FormatText(text::kEepromRestoreStopped, unsigned(written),
                                            unsigned(image->contents.size()));
        view.setStatus(text);
        view.showMessage(text, LoadText(text::kWarning), MessageIcon::Warning);
        return 1;
    }
    if (context.verify && !HoldsImage(context, *image)) {
        RestoreFailed(view, LoadText(text::kEepromReadBackDiffers));
        return 1;
    }
    const CapabilityResult length = SetCapability(context.monitor, kAnswerCapacity,
                                                  kEepromDataLengthValue, int(header.dataLength));
    if (!length.ok()) {
        RestoreFailed(view, length.failure);
        return 1;
    }
    if (context.verify) view.setStatus(LoadText(text::kVerified));
    return 0;
}

}  // namespace tarmix
