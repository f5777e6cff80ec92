// The file system commands on the device: the drive figures ("finfo"), format, new folder,
// delete file and delete folder. Each is one monitor line whose answer is gathered up to the
// prompt (ffs/answer_collection.h); these functions know nothing of windows or texts.
//
// A command counts as done only when the monitor says so: "format" when its answer holds
// " Drive formatiert" before the prompt, "mkdir", "del" and "rmdir" when the echo is
// followed directly by the prompt. Any other answer is the monitor's refusal, kept in
// `deviceText` so the user sees why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ffs/answer_collection.h"

namespace tarmix {

struct CommandOutcome {
    Collected collected = Collected::SendFailed;
    bool done = false;
    std::string deviceText;  // the answer between echo and prompt, UTF-8, for a message
};

CommandOutcome FormatDrive(MonitorExchange& monitor, int drive);
CommandOutcome MakeFolder(MonitorExchange& monitor, const std::string& folderPath,
                          const std::string& name);
CommandOutcome DeleteFile(MonitorExchange& monitor, const std::string& filePath);
// Removes the folder `name` of `folderPath`: the monitor takes the folder's path without
// the backslash that ends a folder path, rmdir "A:\DATA\LOG".
CommandOutcome RemoveFolder(MonitorExchange& monitor, const std::string& folderPath,
                            const std::string& name);

// The figures of "finfo": drive and block size in bytes, free blocks, blocks to erase.
struct DriveFigures {
    uint64_t size = 0;
    uint64_t blockSize = 0;
    uint64_t free = 0;
    uint64_t toErase = 0;
};
enum class FiguresRead { Ok, SendFailed, GivenUp, TooLong, Unreadable };
FiguresRead ReadDriveFigures(MonitorExchange& monitor, int drive, DriveFigures& figures);
// The four figures of an answer; nullopt when a key is missing or its value unreadable.
std::optional<DriveFigures> ParseDriveFigures(const std::string& answer);

// What the properties box shows, computed without dividing by 0: nullopt when the block
// size or the number of blocks is 0.
struct DriveUsage {
    uint64_t sizeKb = 0;
    uint64_t blocks = 0;
    double inUsePercent = 0;
    double freePercent = 0;
};
std::optional<DriveUsage> UsageOf(const DriveFigures& figures);

}  // namespace tarmix
