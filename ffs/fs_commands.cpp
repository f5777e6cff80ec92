#include "ffs/fs_commands.h"

#include <cctype>
#include <charconv>

#include "ffs/device_path.h"
#include "ffs/drive_listing.h"

namespace tarmix {

namespace {

// Silent cycles each command may take in all.
constexpr int kFormatCycles = 600;
constexpr int kMakeFolderCycles = 5;
constexpr int kDeleteCycles = 10;

constexpr char kFormatted[] = "\r\n Drive formatiert\r\nBoot> ";

// Keys of "finfo", with the blanks around them.
constexpr char kKeySize[] = " Size ";
constexpr char kKeyBlockSize[] = " BlockSize ";
constexpr char kKeyFree[] = " free ";
constexpr char kKeyToErase[] = " to erase ";

CommandOutcome Run(MonitorExchange& monitor, const std::string& command, int silentCycles,
                   bool (*done)(const std::string& command, const std::string& answer)) {
    CommandOutcome outcome;
    std::string answer;
    outcome.collected = CollectToPrompt(monitor, command, answer, CommandLimits(silentCycles));
    if (outcome.collected == Collected::SendFailed) return outcome;
    outcome.done = outcome.collected == Collected::Complete && done(command, answer);
    outcome.deviceText = AnswerText(answer, command.size());
    return outcome;
}

bool EchoThenPrompt(const std::string& command, const std::string& answer) {
    return answer == command + kMonitorPrompt;
}

bool Formatted(const std::string&, const std::string& answer) {
    return answer.find(kFormatted) != std::string::npos;
}

// The value after a key: from the first "=" (or CR) that follows it, after blanks.
std::optional<uint64_t> ValueAfter(const std::string& answer, const char* key, int base) {
    const size_t at = answer.find(key);
    if (at == std::string::npos) return std::nullopt;
    size_t start = answer.find_first_of("=\r", at + std::char_traits<char>::length(key));
    if (start == std::string::npos) return std::nullopt;
    start = answer.find_first_not_of(' ', start + 1);
    if (start == std::string::npos) return std::nullopt;
    if (base == 16 && answer.compare(start, 2, "0x") == 0) start += 2;
    uint64_t value = 0;
    const char* begin = answer.data() + start;
    const auto [end, error] = std::from_chars(begin, answer.data() + answer.size(), value, base);
    if (error != std::errc() || end == begin) return std::nullopt;
    return value;
}

}  // namespace

CommandOutcome FormatDrive(MonitorExchange& monitor, int drive) {
    return Run(monitor, std::string("format ") + DriveLetterLower(drive) + ":", kFormatCycles,
               Formatted);
}

CommandOutcome MakeFolder(MonitorExchange& monitor, const std::string& folderPath,
                          const std::string& name) {
    return Run(monitor, QuotedCommand("mkdir", FilePathIn(folderPath, name)), kMakeFolderCycles,
               EchoThenPrompt);
}

CommandOutcome DeleteFile(MonitorExchange& monitor, const std::string& filePath) {
    return Run(monitor, QuotedCommand("del", filePath), kDeleteCycles, EchoThenPrompt);
}

CommandOutcome RemoveFolder(MonitorExchange& monitor, const std::string& folderPath,
                            const std::string& name) {
    return Run(monitor, QuotedCommand("rmdir", FilePathIn(folderPath, name)), kDeleteCycles,
               EchoThenPrompt);
}

std::optional<DriveFigures> ParseDriveFigures(const std::string& answer) {
    const auto size = ValueAfter(answer, kKeySize, 16);
    const auto blockSize = ValueAfter(answer, kKeyBlockSize, 16);
    const auto free = ValueAfter(answer, kKeyFree, 10);
    const auto toErase = ValueAfter(answer, kKeyToErase, 10);
    if (!size || !blockSize || !free || !toErase) return std::nullopt;
    return DriveFigures{*size, *blockSize, *free, *toErase};
}

FiguresRead ReadDriveFigures(MonitorExchange& monitor, int drive, DriveFigures& figures) {
    std::string answer;
    switch (CollectToPrompt(monitor, std::string("finfo ") + DriveLetterLower(drive), answer,
                            kFinfoLimits)) {
        case Collected::SendFailed:
            return FiguresRead::SendFailed;
        case Collected::GivenUp:
            return FiguresRead::GivenUp;
        case Collected::TooLong:
            return FiguresRead::TooLong;
        case Collected::NotEchoed:
        case Collected::Unsettled:
            return FiguresRead::Unreadable;
        case Collected::Complete:
            break;
    }
    const auto parsed = ParseDriveFigures(answer);
    if (!parsed) return FiguresRead::Unreadable;
    figures = *parsed;
    return FiguresRead::Ok;
}

std::optional<DriveUsage> UsageOf(const DriveFigures& figures) {
    if (figures.blockSize == 0) return std::nullopt;
    DriveUsage usage;
    usage.sizeKb = figures.size / 1024;
    usage.blocks = figures.size / figures.blockSize;
    if (usage.blocks == 0) return std::nullopt;
    const uint64_t available = figures.free + figures.toErase;
    // A drive that reports more free blocks than it has is shown as entirely free.
    const uint64_t inUse = available >= usage.blocks ? 0 : usage.blocks - available;
    usage.inUsePercent = double(inUse) * 100.0 / double(usage.blocks);
    usage.freePercent = double(available) * 100.0 / double(usage.blocks);
    return usage;
}

}  // namespace tarmix
