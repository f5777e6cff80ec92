// Whole files between the PC and the device's drives, through the monitor commands
// "file dump" (device to PC; the program calls this direction upload) and "file load"
// (PC to device; download).
//
// Upload:   file dump "A:\LOG\DAY1.TXT"        → echo, CR LF, the size in ten columns,
//           then frames announced by "Z", each answered by the PC, then the prompt.
// Download: file load "A:\LOG\DAY1.TXT" 3      → echo, CR LF; then the PC sends 3 frames of
//           512 bytes (the last one the rest), each answered by the device, then the prompt.
//
// Device paths are device text (one byte per character, as they go on the line). An
// uploaded file replaces the PC file only when every frame checked out and the frames add
// up to the size the device announced; until then it is written beside it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "link/monitor_exchange.h"
#include "models/device.h"
#include "platform/view.h"

namespace tarmix {

// How one transfer ended; the operations of the Part report 0 for Copied and 1 otherwise.
enum class TransferResult {
    Copied,
    NotCopied,     // the operator would not replace the PC file: nothing was sent
    Failed,        // trying again cannot help: a PC file missing, unreadable or not writable,
                   // a name the monitor cannot take, a drive the device does not have
    DeviceFailed,  // the device refused, or the line failed: trying again may help
    Stopped,       // a stop request ended it between two frames; the monitor prompts again
};

inline int ResultCode(TransferResult result) { return result == TransferResult::Copied ? 0 : 1; }

// What a transfer borrows from the main window.
struct TransferContext {
    MonitorExchange& monitor;
    View& view;
    const DeviceDescription& device;
    // When on, an upload asks before it replaces an existing PC file.
    bool& askBeforeOverwrite;
    // Selects the drive view's tab of a drive (0..2, or -1 when the device path names
    // none) without reading the drive, and returns the drive of the tab now selected.
    // Empty: the device path's own drive counts.
    std::function<int(int drive)> selectDrive;
    // Every copy checked by reading it back: the frames' 8-bit checksums miss two flipped
    // bits that cancel. A download is read back and compared with what was sent; an upload
    // is read twice and written only when both reads agree.
    bool verify = false;
};

// A file on its way to the device: the "file load" line that announces it, and its frames,
// read one at a time.
struct OutgoingFile {
    std::string command;  // "file load PATH FRAMES"
    size_t frames = 0;
    uint64_t bytes = 0;
    // Fills `frame` with frame `index` (from 0); false when the PC side cannot give it.
    std::function<bool(size_t index, std::vector<uint8_t>& frame)> read;
    std::string source;  // the PC file, as the outcome line and a read error name it
    std::string status;  // the status line while the frames go out
    int caption = 0;     // catalogue ids of the messages' caption and heading
    int heading = 0;
};

class FileTransfer {
  public:
    explicit FileTransfer(TransferContext context) : ctx_(std::move(context)) {}

    // Device file `devicePath` to the PC file `pcPath`. Every failure has been shown.
    TransferResult Upload(const std::string& pcPath, const std::string& devicePath);
    // PC file `pcPath` to the device file `deviceFolder` + `deviceName`. Refused before
    // anything is sent when the name is longer than a listing shows, or when the file does
    // not fit on the drive. A copy that fails part-way removes the device file it made, and
    // names the one it could not remove (incompleteFile()).
    TransferResult Download(const std::string& pcPath, const std::string& deviceFolder,
                            const std::string& deviceName);
    // `file` as the device file `devicePath`, with the same refusals and clean-up as
    // Download.
    TransferResult Send(const OutgoingFile& file, const std::string& devicePath);
    // The device file the last Download or Send left incomplete; empty when it left none.
    const std::string& incompleteFile() const { return incompleteFile_; }

    // Reads the device file back and tells whether it holds `expected`; a difference is
    // shown under the caption's catalogue text, as is a failed read.
    bool MatchesDeviceFile(const std::string& devicePath, std::string_view expected, int caption);

    // A "file load" of `devicePath` stopped between two frames: ends the load, says that
    // the device file is incomplete and waits for the prompt.
    TransferResult StopLoad(const std::string& devicePath);
    // The outcome line of a finished copy.
    void ShowCopied(const std::string& from, const std::string& to, uint64_t bytes);

    // Where the frames of an upload go; false when they cannot be kept.
    using Sink = std::function<bool(std::span<const uint8_t> bytes)>;

    int UploadFile(const std::string& pcPath, const std::string& devicePath) {
        return ResultCode(Upload(pcPath, devicePath));
    }
    int DownloadFile(const std::string& pcPath, const std::string& deviceFolder,
                     const std::string& deviceName) {
        return ResultCode(Download(pcPath, deviceFolder, deviceName));
    }

  private:
    // Whether an upload may replace the PC file `pcPath`: asks when one is there and the
    // context wants the question.
    bool MayReplace(const std::string& pcPath);
    // "file dump" of `devicePath` into `sink` (named `sinkName` in a write error).
    TransferResult receive(const std::string& devicePath, const Sink& sink,
                           const std::string& sinkName);
    TransferResult uploadFailed(TransferResult result, const std::string& detail);
    // A stop request between two frames: says what is left and waits for the prompt.
    TransferResult stopped(const std::string& devicePath, bool deviceFileIncomplete);
    // A download that failed after "file load" was taken: waits for the monitor, removes
    // the device file when it is new, and shows `text` with what became of it.
    TransferResult loadBroken(TransferResult result, const std::string& text,
                              const std::string& caption, const std::string& devicePath,
                              bool existed);
    bool driveAvailable(int drive) const;

    TransferContext ctx_;
    std::string incompleteFile_;
};

// What the user is told of a device file a failed copy left incomplete.
std::string IncompleteFileText(const std::string& devicePath);

// The drive (0..2) a device path begins with ("a:" or "A:" to "c:"), or -1.
int DriveOfPath(const std::string& devicePath);

// Whether a device path can go out inside the double quotes of a command line: no
// control characters, no double quote, not empty.
bool IsQuotablePath(const std::string& devicePath);

}  // namespace tarmix
