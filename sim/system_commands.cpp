// The monitor's system commands: drive sizes ("init drives"), the file system commands
// "format", "mkdir" and "del" on the drive folders, the real-time clock ("rtc init"), and
// leaving the monitor ("call" starts an application, "reset" restarts the device).
//
// Answers:
//   init drives 1024 64 256   → echo, prompt
//   format a:                 → echo, " Drive formatiert", prompt (after a while)
//   mkdir "A:\LOG\"           → echo, prompt
//   del A:\LOG\DAY1.TXT       → echo, prompt
//   rtc init mo 07.12.2026 08.30.05 → echo, "Montag 07.12.2026 08:30:05", prompt
//   call 00110000             → echo, CR LF; then silence while the application runs, and
//                               the prompt once the device is back in its monitor
//   call 40 (or call 0)       → the boot entry: a restart from the boot area (boot_area.cpp)
//   reset                     → echo, CR LF; the prompt once the device has restarted
// A refused command answers one error line and the prompt.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <system_error>

#include "platform/latin1.h"
#include "sim/controller.h"
#include "sim/monitor_text.h"

namespace tarmix::sim {

namespace fs = std::filesystem;

namespace {

constexpr char kPathNotFound[] = "Path not found";
constexpr char kFolderExists[] = "Directory exists";
constexpr char kFileNotFound[] = "File not found";

// No drive is larger than this; drive C: also has to leave room for the application.
constexpr int kLargestDriveKb = 1 << 20;
// Formatting takes one sector time for each 64 kB of the drive.
constexpr int kFormatKbPerSector = 64;
// A restart takes this long before the monitor answers again.
constexpr Millis kRestartTime{200};
// Formatting clears a drive's blocks at this pace, per 64 kB of the drive.
constexpr Millis kFormatTimePerSector{5};

constexpr std::array<const char*, 7> kShortDayNames = {"so", "mo", "di", "mi", "do", "fr", "sa"};
constexpr std::array<const char*, 7> kDayNames = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                                                  "Donnerstag", "Freitag", "Samstag"};

bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// "dd.mm.yyyy" or "hh.mm.ss" with the given ranges; false for anything else.
bool readDotted(const std::string& text, std::array<int, 3>& parts, std::array<int, 3> digits,
                std::array<int, 3> low, std::array<int, 3> high) {
    size_t at = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0 && (at >= text.size() || text[at++] != '.')) return false;
        const std::string field = text.substr(at, size_t(digits[i]));
        at += field.size();
        if (field.size() != size_t(digits[i]) || !parseDecimal(field, parts[i]) ||
            field.find_first_not_of("0123456789") != std::string::npos || parts[i] < low[i] ||
            parts[i] > high[i])
            return false;
    }
    return at == text.size();
}

}  // namespace

// --- the drive folders ------------------------------------------------------------------------

DriveFolders::~DriveFolders() { removeTemporary(); }

void DriveFolders::removeTemporary() {
    if (!temporary_) return;
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void DriveFolders::setRoot(const fs::path& root) {
    removeTemporary();
    root_ = root;
    temporary_ = false;
}

fs::path DriveFolders::root() {
    if (root_.empty()) {
        std::error_code error;
        std::string pattern =
            (fs::temp_directory_path(error) / "tarmix-sim-drives-XXXXXX").string();
        if (!error && mkdtemp(pattern.data())) {
            root_ = pattern;
            temporary_ = true;
        }
    }
    return root_;
}

fs::path DriveFolders::drive(int index) {
    const fs::path base = root();
    if (base.empty() || index < 0 || index > 2) return {};
    const fs::path folder = base / std::string(1, char('A' + index));
    std::error_code error;
    fs::create_directories(folder, error);
    return error ? fs::path() : folder;
}

int DriveLetterIndex(const std::vector<std::string>& args, bool colon) {
    if (args.size() != 1 || args[0].size() != (colon ? 2u : 1u) || (colon && args[0][1] != ':'))
        return -1;
    const char letter = args[0][0];
    return letter >= 'a' && letter <= 'c' ? letter - 'a' : -1;
}

std::optional<DriveFolders::DevicePath> DriveFolders::parse(std::string_view text, Quotes quotes) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    else if (quotes == Quotes::kRequired)
        return std::nullopt;
    if (text.size() < 2 || text[1] != ':') return std::nullopt;
    const char letter = char(text[0] | 0x20);  // lower case
    if (letter < 'a' || letter > 'c') return std::nullopt;
    DevicePath path{letter - 'a', {}, std::string(1, char(letter & ~0x20)) + ":\\"};
    text.remove_prefix(2);
    if (!text.empty() && text.front() == '\\') text.remove_prefix(1);
    if (!text.empty() && text.back() == '\\') text.remove_suffix(1);
    while (!text.empty()) {
        const size_t end = text.find('\\');
        const std::string_view name = text.substr(0, end);
        if (name.empty() || name == "." || name == ".." ||
            name.find_first_of("/:\"") != std::string_view::npos)
            return std::nullopt;
        for (char c : name)
            if (isControl(c)) return std::nullopt;
        path.relative /= Latin1ToUtf8(name);
        path.folderText += std::string(name) + "\\";
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return path;
}

// --- the commands ---------------------------------------------------------------------------

std::string Controller::lineArgument(std::string_view name) const {
    const size_t first = runningLine_.find_first_not_of(' ', name.size());
    if (first == std::string::npos) return "";
    return runningLine_.substr(first, runningLine_.find_last_not_of(' ') + 1 - first);
}

std::optional<fs::path> Controller::devicePathArgument(std::string_view name, int* driveIndex,
                                                       DriveFolders::Quotes quotes) {
    const auto path = DriveFolders::parse(lineArgument(name), quotes);
    if (!path || path->relative.empty()) {
        refuse(kPathError);
        return std::nullopt;
    }
    const std::optional<fs::path> drive = usableDrive(path->drive);
    if (!drive) return std::nullopt;
    if (driveIndex) *driveIndex = path->drive;
    return *drive / path->relative;
}

void Controller::initDrives(const Args& args) {
    std::array<int, 3> sizes{};
    if (args.size() != sizes.size()) return refuse(kSyntaxError);
    const MemoryArea& bank = model_.flashBanks.front();
    const int roomForC =
        model_.stagedFlash ? kLargestDriveKb : int((bank.size - model_.bootSize) / 1024);
    for (size_t i = 0; i < sizes.size(); ++i) {
        const int largest = i == 2 ? std::min(roomForC, kLargestDriveKb) : kLargestDriveKb;
        if (!parseDecimal(args[i], sizes[i]) || sizes[i] < 0 || sizes[i] > largest)
            return refuse(kSyntaxError);
    }
    driveSizesKb_ = sizes;
    prompt();
}

void Controller::formatDrive(const Args& args) {
    const int index = DriveLetterIndex(args, true);
    if (index < 0) return refuse(kSyntaxError);
    if (driveSizesKb_[size_t(index)] == 0) return refuse(kDriveNotAvailable);
    drives_.setDamaged(index, false);
    blocksToErase_[size_t(index)] = 0;
    const fs::path drive = drives_.drive(index);
    if (drive.empty()) return refuse(kFileSystemError);
    std::error_code error;
    std::vector<fs::path> contents;
    for (fs::directory_iterator entry(drive, error), end; !error && entry != end;
         entry.increment(error))
        contents.push_back(entry->path());
    for (const fs::path& path : contents)
        if (!error) fs::remove_all(path, error);
    if (error) return refuse(kFileSystemError);
    const int sectors = driveSizesKb_[size_t(index)] / kFormatKbPerSector + 1;
    emit("\r\n Drive formatiert", kFormatTimePerSector * sectors);
    prompt();
}

void Controller::makeFolder() {
    const std::optional<fs::path> folder = devicePathArgument("mkdir");
    if (!folder) return;
    std::error_code error;
    if (fs::exists(*folder, error)) return refuse(kFolderExists);
    if (!fs::is_directory(folder->parent_path(), error)) return refuse(kPathNotFound);
    if (!fs::create_directory(*folder, error)) return refuse(kFileSystemError);
    prompt();
}

void Controller::deleteFile() {
    int drive = 0;
    // Scripts send "del" with the path as typed, without quotes.
    const std::optional<fs::path> file =
        devicePathArgument("del", &drive, DriveFolders::Quotes::kOptional);
    if (!file) return;
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(*file, error))) return refuse(kFileNotFound);
    const uint64_t size = fs::file_size(*file, error);
    if (!fs::remove(*file, error)) return refuse(kFileSystemError);
    freeBlocks(drive, size);
    prompt();
}

void Controller::setClock(const Args& args) {
    std::array<int, 3> date{}, time{};
    if (args.size() != 3 || !readDotted(args[1], date, {2, 2, 4}, {1, 1, 1970}, {31, 12, 2099}) ||
        !readDotted(args[2], time, {2, 2, 2}, {0, 0, 0}, {23, 59, 59}))
        return refuse(kSyntaxError);
    size_t day = 0;
    while (day < kShortDayNames.size() && args[0] != kShortDayNames[day]) ++day;
    if (day == kShortDayNames.size()) return refuse(kSyntaxError);
    // The clock takes the day of the week as it is told.
    answerLine(format("%s %02d.%02d.%04d %02d:%02d:%02d", kDayNames[day], date[0], date[1], date[2],
                      time[0], time[1], time[2]));
    prompt();
}

void Controller::callApplication(const Args& args) {
    uint32_t address = 0;
    if (!parseHexArgs(args, {&address})) return refuse(kSyntaxError);
    if (model_.bootEntry && address == *model_.bootEntry) return restartFromBootArea();
    startApplication();
}

void Controller::runApplication() { startApplication(); }

void Controller::startApplication() {
    // The application takes over the line and does not answer the monitor's commands.
    emit("\r\n");
    if (usbLink_ && model_.usbReenumerates) reenumeration_ = true;
    monitorBackAt_ = clock_.now() + applicationTime_;
    nextApplicationLine_ = clock_.now() + applicationOutputPeriod_;
    applicationLines_ = 0;
    emit("\r\nBoot> ", applicationTime_);
}

void Controller::produceApplicationOutput(Millis now) {
    if (applicationOutputPeriod_.count() <= 0) return;
    while (nextApplicationLine_ <= now && nextApplicationLine_ < monitorBackAt_) {
        Chunk line{nextApplicationLine_,
                   format("Application running: line %06u of the simulated application\r\n",
                          ++applicationLines_)};
        // Before the monitor's return, which is queued already.
        auto later = std::find_if(output_.begin(), output_.end(),
                                  [&](const Chunk& chunk) { return chunk.dueAt > line.dueAt; });
        output_.insert(later, std::move(line));
        nextApplicationLine_ += applicationOutputPeriod_;
    }
}

void Controller::restart() {
    // A restarted monitor talks at its start rate again, without the parallel input.
    emit("\r\n", Millis{0}, kMonitorStartBaud);
    parallelOn_ = false;
    lines_[kParallel].clear();
    s3Offset_ = 0;
    monitorBackAt_ = clock_.now() + kRestartTime;
    emit("\r\nBoot> ", kRestartTime);
}

void Controller::powerCycle() {
    memory_.forgetRam();
    for (std::string& line : lines_) line.clear();
    block_.reset();
    fileLoad_.reset();  // a restart ends every transfer
    fileDump_.reset();
    output_.clear();
    outputCursor_ = Millis{0};
    uartBaud_ = kMonitorStartBaud;
    parallelOn_ = false;
    s3Offset_ = 0;
    monitorBackAt_ = clock_.now() + kRestartTime;
    emit("\r\nBoot> ", kRestartTime);
}

}  // namespace tarmix::sim
