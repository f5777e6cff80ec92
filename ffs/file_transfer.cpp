#include "ffs/file_transfer.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "ffs/device_path.h"
#include "ffs/fs_commands.h"
#include "ffs/load_target.h"
#include "ffs/transfer_frame.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/latin1.h"
#include "platform/replacing_file.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

// After the echo of "file dump": CR LF and a line of ten characters whose number (the file
// size) is read from its second character on.
constexpr size_t kSizeLineLength = 12;
constexpr size_t kSizeOffset = 3;
constexpr Wait kEchoWait = Wait::Scaled(Millis{300});
constexpr Wait kCharacterWait = Wait::Scaled(Millis{100});
// A frame's bytes come within this, and the time the line takes to carry them.
constexpr Wait kFrameWait = Wait::Scaled(Millis{1000});
// No file on a drive is larger than this.
constexpr uint64_t kLargestFile = 0x7fffffff;

// The number at `text` after optional blanks; false when no digit follows them.
bool readSize(std::string_view text, uint64_t& size) {
    size_t at = text.find_first_not_of(' ');
    if (at == std::string_view::npos || text[at] < '0' || text[at] > '9') return false;
    size = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        size = size * 10 + uint64_t(text[at] - '0');
        if (size > kLargestFile) return false;
    }
    return true;
}

// Device text a user can read, in angle brackets.
std::string bracketed(const std::string& devicePath) {
    // Appended, not "…" + a temporary: GCC 12 warns falsely (-Wrestrict) on that at -O3.
    return std::string("<").append(Latin1ToUtf8(devicePath)) + ">";
}

std::string dumpCommand(const std::string& devicePath) {
    return "file dump \"" + devicePath + "\"";
}

FileTransfer::Sink memorySink(std::string& contents) {
    return [&contents](std::span<const uint8_t> bytes) {
        contents.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return true;
    };
}

FileTransfer::Sink fileSink(ReplacingFile& file) {
    return [&file](std::span<const uint8_t> bytes) { return file.Write(bytes); };
}

bool isReadableFile(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), R_OK) == 0;
}

}  // namespace

std::string IncompleteFileText(const std::string& devicePath) {
    return FormatText(text::kFileIncomplete, Latin1ToUtf8(devicePath));
}

int DriveOfPath(const std::string& devicePath) {
    if (devicePath.size() < 2 || devicePath[1] != ':') return -1;
    const char letter = char(devicePath[0] | 0x20);
    return letter >= 'a' && letter <= 'c' ? letter - 'a' : -1;
}

bool IsQuotablePath(const std::string& devicePath) {
    if (devicePath.empty()) return false;
    for (char c : devicePath) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '"') return false;
    }
    return true;
}

bool FileTransfer::driveAvailable(int drive) const {
    if (drive < 0 || drive >= kDriveCount) return true;  // the device will say
    return ctx_.device.driveSizes[size_t(drive)] != 0;
}

// --- device to PC ---------------------------------------------------------------------------

bool FileTransfer::MayReplace(const std::string& pcPath) {
    if (!ctx_.askBeforeOverwrite || !isReadableFile(pcPath)) return true;
    const std::string question =
        pcPath + "\n\n" + LoadText(text::kFileExists) + "\n\n" + LoadText(text::kOverwriteFile);
    return ctx_.view.askYesNo(question, LoadText(text::kFileUpload));
}

TransferResult FileTransfer::Upload(const std::string& pcPath, const std::string& devicePath) {
    WaitCursor cursor(ctx_.view);
    View& view = ctx_.view;
    int drive = DriveOfPath(devicePath);
    if (ctx_.selectDrive) drive = ctx_.selectDrive(drive);
    if (!driveAvailable(drive)) {
        view.showMessage(LoadText(text::kDriveNotAvailable), LoadText(text::kFileUpload),
                         MessageIcon::Error);
        return TransferResult::Failed;
    }
    if (!IsQuotablePath(devicePath) || dumpCommand(devicePath).size() > CSerial::kMaxLineLength)
        return uploadFailed(TransferResult::Failed, "\n\n" + bracketed(devicePath) + "\n\n" +
                                                        LoadText(text::kNoMonitorDevicePath));
    if (!MayReplace(pcPath)) return TransferResult::NotCopied;
    ReplacingFile file;
    std::string error;
    if (!file.Open(pcPath, error)) return uploadFailed(TransferResult::Failed, "\n\n" + error);

    // With verify the file is read twice and written only when both reads agree, so a bad
    // read never replaces the PC file.
    std::string first;
    const TransferResult result = ctx_.verify
                                      ? receive(devicePath, memorySink(first), "")
                                      : receive(devicePath, fileSink(file), file.target().string());
    if (result != TransferResult::Copied) return result;
    if (ctx_.verify) {
        if (!MatchesDeviceFile(devicePath, first, text::kFileUpload))
            return TransferResult::DeviceFailed;
        if (!file.Write(std::string_view(first)))
            return uploadFailed(TransferResult::Failed,
                                "\n\n" + FormatText(text::kDiskFull, file.target().string()));
    }
    if (!file.Commit(error)) return uploadFailed(TransferResult::Failed, "\n\n" + error);
    std::error_code sizeError;
    ShowCopied(bracketed(devicePath), pcPath, fs::file_size(pcPath, sizeError));
    return TransferResult::Copied;
}

bool FileTransfer::MatchesDeviceFile(const std::string& devicePath, std::string_view expected,
                                     int caption) {
    std::string device;
    if (receive(devicePath, memorySink(device), "") != TransferResult::Copied) return false;
    if (device == expected) return true;
    ctx_.view.showMessage(bracketed(devicePath) + "\n\n" + LoadText(text::kFileReadBackDiffers),
                          LoadText(caption), MessageIcon::Error);
    return false;
}

TransferResult FileTransfer::uploadFailed(TransferResult result, const std::string& detail) {
    // The detail stands on lines of its own below the heading.
    const bool ownLines = detail.empty() || detail.front() == '\n';
    ctx_.view.showMessage(LoadText(text::kFileUploadError) + (ownLines ? "" : "\n\n") + detail,
                          LoadText(text::kFileUpload), MessageIcon::Error);
    return result;
}

void FileTransfer::ShowCopied(const std::string& from, const std::string& to, uint64_t bytes) {
    std::string text = FormatText(text::kCopied, from, to, std::to_string(bytes));
    if (ctx_.verify) text += ", " + LoadText(text::kVerified);
    ctx_.view.setStatus(text);
}

TransferResult FileTransfer::StopLoad(const std::string& devicePath) {
    ctx_.view.setProgressRange(0, kProgressRange);
    // An empty frame with a wrong checksum: the monitor drops the load and prompts.
    uint8_t refused[kFrameOverhead] = {0, 0, 0};
    ctx_.monitor.serial().WriteBytes(refused, kFrameOverhead);
    return stopped(devicePath, true);
}

TransferResult FileTransfer::stopped(const std::string& devicePath, bool deviceFileIncomplete) {
    WaitForTransferEnd(ctx_.monitor, "");
    const std::string shown = bracketed(devicePath);
    if (!deviceFileIncomplete) {
        ctx_.view.setStatus(FormatText(text::kCopyStopped, shown));
        return TransferResult::Stopped;
    }
    const std::string text = FormatText(text::kDeviceFileCut, shown);
    ctx_.view.setStatus(text);
    ctx_.view.showMessage(text, LoadText(text::kFileDownload), MessageIcon::Warning);
    return TransferResult::Stopped;
}

TransferResult FileTransfer::receive(const std::string& devicePath, const Sink& sink,
                                     const std::string& sinkName) {
    View& view = ctx_.view;
    MonitorExchange& monitor = ctx_.monitor;
    CSerial& serial = monitor.serial();
    const std::string command = dumpCommand(devicePath);
    if (!monitor.SendCommand(command))
        return uploadFailed(TransferResult::DeviceFailed,
                            "\n\n" + LoadText(text::kConnectionError));
    const size_t headerLength = command.size() + kSizeLineLength;
    std::string header;
    monitor.Receive(header, headerLength, headerLength, kEchoWait);
    uint64_t size = 0;
    if (header.size() != headerLength || header.compare(0, command.size(), command) != 0 ||
        !readSize(std::string_view(header).substr(command.size() + kSizeOffset), size))
        return uploadFailed(TransferResult::DeviceFailed,
                            bracketed(devicePath) + "\n\n" + LoadText(text::kFileNotFound));
    view.setStatus(LoadText(text::kUpload) + " " + bracketed(std::string(LastNameOf(devicePath))));
    view.setProgressRange(0, int(size));
    struct ProgressBack {
        View& view;
        ~ProgressBack() { view.setProgressRange(0, kProgressRange); }
    } progressBack{view};
    view.setTransferred(0, size);

    const auto answer = [&](char c) { serial.WriteBytes(reinterpret_cast<uint8_t*>(&c), 1); };
    // A refused frame ends the dump; the monitor's prompt that closes it must not be taken
    // for the answer to the next command.
    const auto refuse = [&](TransferResult result, const std::string& detail) {
        answer(kFrameRejected);
        WaitForTransferEnd(ctx_.monitor, "");
        return uploadFailed(result, detail);
    };
    uint64_t received = 0;
    std::vector<uint8_t> frame;
    std::string next;
    for (;;) {
        monitor.Receive(next, 1, 1, kCharacterWait);
        if (next.empty()) return uploadFailed(TransferResult::DeviceFailed, "");
        if (next[0] != kFrameAnnounce) break;
        uint8_t length[2];
        if (!monitor.ReceiveExactly(length, 2, kCharacterWait).ok())
            return uploadFailed(TransferResult::DeviceFailed, "");
        const size_t n = size_t(length[0]) << 8 | length[1];
        frame.resize(n + 1);
        if (!monitor.ReceiveExactly(frame.data(), n + 1, kFrameWait.Plus(WireTime(n + 1))).ok())
            return uploadFailed(TransferResult::DeviceFailed, "");
        if (received + n > size)
            return refuse(TransferResult::DeviceFailed,
                          "\n\n" + FormatText(text::kSentMore, std::to_string(size)));
        if (FrameChecksum({frame.data(), n}) != frame[n])
            return refuse(TransferResult::DeviceFailed, "");
        if (!sink(std::span<const uint8_t>(frame.data(), n)))
            return refuse(TransferResult::Failed, "\n\n" + FormatText(text::kDiskFull, sinkName));
        if (StopRequested() && received + n < size) {
            answer(kFrameRejected);  // the monitor ends the dump and prompts
            return stopped(devicePath, false);
        }
        answer(kFrameGood);
        received += n;
        view.setProgress(int(received));
        view.setTransferred(received, size);
    }
    if (received != size)
        return uploadFailed(
            TransferResult::DeviceFailed,
            "\n\n" + FormatText(text::kSentOther, std::to_string(size), std::to_string(received)));
    if (!WaitForTransferEnd(ctx_.monitor, next))
        return uploadFailed(TransferResult::DeviceFailed, LoadText(text::kTimeout));
    return TransferResult::Copied;
}

// --- PC to device ---------------------------------------------------------------------------

TransferResult FileTransfer::Download(const std::string& pcPath, const std::string& deviceFolder,
                                      const std::string& deviceName) {
    WaitCursor cursor(ctx_.view);
    View& view = ctx_.view;
    const std::string caption = LoadText(text::kFileDownload);
    const std::string heading = LoadText(text::kFileDownloadError);
    incompleteFile_.clear();

    std::ifstream file;
    if (isReadableFile(pcPath)) file.open(pcPath, std::ios::binary);
    std::error_code sizeError;
    const uintmax_t size = file ? fs::file_size(pcPath, sizeError) : 0;
    if (!file || sizeError || size > kLargestFile) {
        view.showMessage(LoadText(text::kFileReadError) + "\n\n" + pcPath, "", MessageIcon::Error);
        return TransferResult::Failed;
    }
    const std::string devicePath = deviceFolder + deviceName;
    const size_t blocks = size_t((size + kPcFrameLimit - 1) / kPcFrameLimit);
    const std::string command = "file load \"" + devicePath + "\" " + std::to_string(blocks);
    if (deviceName.empty() || !IsQuotablePath(devicePath) ||
        command.size() > CSerial::kMaxLineLength) {
        view.showMessage(heading + "\n\n" + bracketed(devicePath) + "\n\n" +
                             LoadText(text::kNoMonitorDevicePath),
                         caption, MessageIcon::Error);
        return TransferResult::Failed;
    }
    if (LastNameOf(devicePath).size() > kMaxListedNameLength) {
        view.showMessage(
            heading + "\n\n" +
                FormatText(text::kNameTooLong, Latin1ToUtf8(devicePath), kMaxListedNameLength),
            caption, MessageIcon::Error);
        return TransferResult::Failed;
    }
    const auto read = [&file, size](size_t index, std::vector<uint8_t>& frame) {
        const uint64_t at = uint64_t(index) * kPcFrameLimit;
        frame.resize(size_t(std::min<uint64_t>(kPcFrameLimit, size - at)));
        file.read(reinterpret_cast<char*>(frame.data()), std::streamsize(frame.size()));
        return !frame.empty() && size_t(file.gcount()) == frame.size();
    };
    const std::string status = caption + " <" + ShortenForDisplay(Latin1ToUtf8(deviceName)) + ">";
    return Send({command, blocks, size, read, pcPath, status, text::kFileDownload,
                 text::kFileDownloadError},
                devicePath);
}

TransferResult FileTransfer::Send(const OutgoingFile& file, const std::string& devicePath) {
    View& view = ctx_.view;
    const std::string caption = LoadText(file.caption);
    const std::string heading = LoadText(file.heading);
    incompleteFile_.clear();
    const LoadTarget target = InspectLoadTarget(ctx_.monitor, devicePath);
    if (target.roomBytes && file.bytes > *target.roomBytes) {
        view.showMessage(
            heading + "\n\n" +
                FormatText(text::kNoRoom, Latin1ToUtf8(devicePath), file.bytes, *target.roomBytes),
            caption, MessageIcon::Error);
        return TransferResult::Failed;
    }

    if (!StartFileLoad(ctx_.monitor, file.command)) {
        view.showMessage(heading + "\n\r" + LoadText(text::kConnectionError), caption,
                         MessageIcon::Error);
        WaitForTransferEnd(ctx_.monitor, "");
        return TransferResult::DeviceFailed;
    }
    // From here on the device file has been emptied or made: a failure leaves it incomplete.
    const auto broken = [&](TransferResult result, const std::string& text,
                            const std::string& brokenCaption) {
        view.setProgressRange(0, kProgressRange);
        return loadBroken(result, text, brokenCaption, devicePath, target.existed);
    };

    view.setStatus(file.status);
    view.setProgressRange(0, int(file.frames));
    view.setTransferred(0, file.bytes);
    std::vector<uint8_t> frame;
    std::string sent;  // kept for the read-back of a verified copy
    uint64_t done = 0;
    for (size_t i = 0; i < file.frames; ++i) {
        if (StopRequested()) return StopLoad(devicePath);
        view.setProgress(int(i + 1));
        if (!file.read(i, frame))
            return broken(TransferResult::Failed,
                          LoadText(text::kFileReadError) + "\n\n" + file.source, "");
        const char c = SendFrame(ctx_.monitor, frame);
        if (c != kFrameGood) {
            const int detail = c == kDeviceCannotWrite     ? text::kFileNotWritable
                               : c == kDeviceChecksumError ? text::kChecksumError
                               : c == kDeviceOutOfMemory   ? text::kOutOfMemory
                                                           : 0;
            const std::string text = detail ? heading + "\n\r" + LoadText(detail) : heading;
            // A file the device could not open holds nothing of this copy.
            if (i == 0 && c == kDeviceCannotWrite) {
                view.setProgressRange(0, kProgressRange);
                view.showMessage(text, caption, MessageIcon::Error);
                return TransferResult::DeviceFailed;
            }
            return broken(TransferResult::DeviceFailed, text, detail ? caption : "");
        }
        if (ctx_.verify) sent.append(frame.begin(), frame.end());
        view.setTransferred(done += frame.size(), file.bytes);
    }
    view.setProgressRange(0, kProgressRange);
    if (!WaitForTransferEnd(ctx_.monitor, ""))
        return broken(TransferResult::DeviceFailed,
                      heading + "\n\r" + LoadText(text::kBootPromptMissed), caption);
    if (ctx_.verify && !MatchesDeviceFile(devicePath, sent, file.caption))
        return TransferResult::DeviceFailed;
    ShowCopied(file.source, bracketed(devicePath), file.bytes);
    return TransferResult::Copied;
}

TransferResult FileTransfer::loadBroken(TransferResult result, const std::string& text,
                                        const std::string& caption, const std::string& devicePath,
                                        bool existed) {
    // The monitor may still wait for the rest of the file: only once it has given up does
    // it take a command again.
    WaitForTransferEnd(ctx_.monitor, "", kAbandonedLoadCycles);
    WakeMonitor(ctx_.monitor);
    const bool removed = !existed && DeleteFile(ctx_.monitor, devicePath).done;
    const std::string note = removed
                                 ? FormatText(text::kIncompleteRemoved, Latin1ToUtf8(devicePath))
                                 : IncompleteFileText(devicePath);
    if (!removed) incompleteFile_ = devicePath;
    ctx_.view.setStatus(note);
    ctx_.view.showMessage(text + "\n\n" + note, caption, MessageIcon::Error);
    return result;
}

}  // namespace tarmix
