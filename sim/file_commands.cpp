// The monitor's file transfers between the PC and the drive folders.
//
//   file dump "A:\LOG\DAY1.TXT"  → echo, CR LF, the size in ten columns; then for each frame
//       "Z", n (2 bytes, high first), n bytes, checksum (complement of their 8-bit sum),
//       and the PC's answer: "." for the next frame, anything else ends the dump. The prompt
//       follows the last frame (or the size line of an empty file). A file that is not there:
//       "File not found" and the prompt.
//   file load "A:\LOG\DAY1.TXT" 3 → echo, CR LF; then the PC sends 3 frames of at most 512
//       bytes (n, n bytes, checksum) and each is answered: "." kept, " " the file could not
//       be opened for writing, "c" checksum error, "e" the drive is full. The prompt follows
//       the last good frame; after an error the monitor takes commands again at once. A frame
//       of no bytes is a checksum error.
//   file load A:\Application.exe 3 → "New program", the path without quotes: the first frame
//       is the application header (start, total, sum; twelve bytes, big-endian), the others
//       carry exactly `total` bytes that add up to `sum`; else the frame that breaks it is
//       answered "c".
// The monitor chooses the sizes of its own frames, up to 65535 bytes.
#include <algorithm>
#include <array>

#include "sim/controller.h"
#include "sim/monitor_text.h"

namespace tarmix::sim {

namespace fs = std::filesystem;

namespace {

constexpr char kFileNotFound[] = "File not found";
constexpr char kCannotCreate[] = "File could not be created";
constexpr char kAnnounce = 'Z';
constexpr char kGood = '.';
constexpr char kCannotWrite = ' ';
constexpr char kChecksumBad = 'c';
constexpr char kDriveFull = 'e';
constexpr size_t kLargestPcFrame = 512;
// "New program" sends the application file under this name, its first frame a header.
constexpr char kApplicationFile[] = "Application.exe";
constexpr size_t kProgramHeaderBytes = 12;
// The sizes of the monitor's frames, in turn: large and small ones, so that the program
// meets every kind.
constexpr std::array<size_t, 6> kDumpFrameSizes = {1000, 65535, 4096, 1, 512, 30000};

uint8_t checksum(std::string_view data) {
    uint8_t sum = 0;
    for (char c : data) sum = uint8_t(sum + static_cast<uint8_t>(c));
    return uint8_t(~sum);
}

// Bytes the files of a drive folder hold.
uint64_t usedBytes(const fs::path& drive) {
    uint64_t used = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator entry(drive, error), end; !error && entry != end;
         entry.increment(error))
        if (entry->is_regular_file(error)) used += entry->file_size(error);
    return used;
}

// How long `bytes` take on a line at `baud`, ten bits a byte.
Millis wireTime(size_t bytes, uint32_t baud) {
    return Millis(bytes * 10 * 1000 / std::max<uint32_t>(baud, 1) + 1);
}

}  // namespace

bool Controller::giveUpStalledTransfer() {
    const Millis now = clock_.now();
    if (fileLoad_ && now - fileLoad_->lastByte > kBlockTimeout) {
        fileLoad_.reset();
        emit("Timeout");
        prompt();
        return true;
    }
    if (fileDump_ && now > fileDump_->answerBy) {
        fileDump_.reset();
        prompt();
        return true;
    }
    return false;
}

// --- PC to device -----------------------------------------------------------------------------

void Controller::startFileLoad() {
    // The path in quotes, then the block count. "New program" sends its file without quotes:
    // "Application.exe" in a drive's root.
    const std::string argument = lineArgument("file load");
    const size_t blank = argument.rfind(' ');
    int blocks = 0;
    if (blank == std::string::npos || !parseDecimal(argument.substr(blank + 1), blocks) ||
        blocks < 0)
        return refuse(kSyntaxError);
    const std::string pathText = argument.substr(0, argument.find_last_not_of(' ', blank) + 1);
    const auto path = DriveFolders::parse(pathText, DriveFolders::Quotes::kOptional);
    const bool program = !pathText.starts_with('"') && path && path->relative == kApplicationFile;
    if (!path || (!pathText.starts_with('"') && !program)) return refuse(kPathError);

    FileLoad load;
    load.program = program;
    load.blocksLeft = uint32_t(blocks);
    load.lastByte = clock_.now();
    int drive = 0;
    if (const std::optional<fs::path> target = loadTarget(*path, drive)) {
        std::error_code error;
        const uint64_t size = uint64_t(driveSizesKb_[size_t(drive)]) * 1024;
        const uint64_t held = usedBytes(drives_.drive(drive));
        const uint64_t replaced =
            fs::is_regular_file(*target, error) ? fs::file_size(*target, error) : 0;
        const uint64_t used = held - std::min(replaced, held);
        load.room = size > used ? size - used : 0;
        load.file.open(*target, std::ios::binary | std::ios::trunc);
    }
    emit("\r\n");
    if (blocks == 0) {
        // Nothing follows: the file is there, empty, or could not be made.
        if (!load.file.is_open()) answerLine(kCannotCreate);
        return prompt();
    }
    fileLoad_ = std::move(load);
}

void Controller::takeFileLoadData(std::string_view& bytes) {
    FileLoad& load = *fileLoad_;
    load.lastByte = clock_.now();
    while (!bytes.empty()) {
        size_t wanted = 2;
        if (load.frame.size() >= 2) {
            const size_t n = size_t(uint8_t(load.frame[0])) << 8 | uint8_t(load.frame[1]);
            wanted = 2 + n + 1;
        }
        const size_t taken = std::min(wanted - load.frame.size(), bytes.size());
        load.frame.append(bytes.substr(0, taken));
        bytes.remove_prefix(taken);
        if (load.frame.size() == wanted && wanted > 2) return finishFileLoadFrame();
    }
}

void Controller::finishFileLoadFrame() {
    FileLoad& load = *fileLoad_;
    const std::string_view data = std::string_view(load.frame).substr(2, load.frame.size() - 3);
    const auto judge = [&] {
        if (data.empty() || data.size() > kLargestPcFrame ||
            checksum(data) != uint8_t(load.frame.back()))
            return kChecksumBad;
        if (load.program && !takeProgramFrame(data)) return kChecksumBad;
        if (!load.file.is_open()) return kCannotWrite;
        if (data.size() > load.room ||
            !load.file.write(data.data(), std::streamsize(data.size())).flush())
            return kDriveFull;
        return kGood;
    };
    const char answer = judge();
    emit(std::string(1, answer));
    if (answer != kGood) {
        fileLoad_.reset();
        return prompt();
    }
    load.room -= data.size();
    load.frame.clear();
    if (--load.blocksLeft == 0) {
        fileLoad_.reset();
        prompt();
    }
}

bool Controller::takeProgramFrame(std::string_view data) {
    FileLoad& load = *fileLoad_;
    const auto word = [&](size_t at) {
        uint32_t value = 0;
        for (size_t i = 0; i < 4; ++i) value = value << 8 | uint8_t(data[at + i]);
        return value;
    };
    if (!load.headerTaken) {
        // The header: start, total, sum. The blocks announced are the header and the total
        // in frames of 512.
        if (data.size() != kProgramHeaderBytes) return false;
        load.headerTaken = true;
        load.total = word(4);
        load.sum = word(8);
        return load.blocksLeft - 1 ==
               (uint64_t{load.total} + kLargestPcFrame - 1) / kLargestPcFrame;
    }
    for (char c : data) load.receivedSum += uint8_t(c);
    load.received += uint32_t(data.size());
    if (load.received > load.total) return false;
    // The last frame completes the image: every byte there, and the sum the header named.
    return load.blocksLeft > 1 || (load.received == load.total && load.receivedSum == load.sum);
}

std::optional<fs::path> Controller::loadTarget(const DriveFolders::DevicePath& path, int& drive) {
    if (path.relative.empty()) return std::nullopt;
    drive = path.drive;
    if (driveSizesKb_[size_t(drive)] == 0 || drives_.damaged(drive)) return std::nullopt;
    const fs::path folder = drives_.drive(drive);
    std::error_code error;
    const fs::path target = folder / path.relative;
    if (folder.empty() || !fs::is_directory(target.parent_path(), error) ||
        fs::is_directory(target, error))
        return std::nullopt;
    return target;
}

// --- device to PC -----------------------------------------------------------------------------

void Controller::startFileDump() {
    const std::optional<fs::path> path = devicePathArgument("file dump");
    if (!path) return;
    std::error_code error;
    std::ifstream file;
    if (fs::is_regular_file(*path, error)) file.open(*path, std::ios::binary);
    if (!file.is_open()) return refuse(kFileNotFound);
    FileDump dump;
    dump.data.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    answerLine(format("%10zu", dump.data.size()));
    if (dump.data.empty()) return prompt();
    fileDump_ = std::move(dump);
    sendFileDumpFrame();
}

void Controller::sendFileDumpFrame() {
    FileDump& dump = *fileDump_;
    const size_t n = std::min(kDumpFrameSizes[dump.frames % kDumpFrameSizes.size()],
                              dump.data.size() - dump.sent);
    const std::string_view data = std::string_view(dump.data).substr(dump.sent, n);
    std::string frame{kAnnounce, char(n >> 8), char(n & 0xff)};
    frame.append(data);
    frame += char(checksum(data));
    emit(std::move(frame));
    dump.sent += n;
    ++dump.frames;
    // The answer can come once the frame has crossed the line.
    dump.answerBy =
        std::max(outputCursor_, clock_.now()) + wireTime(n + 4, uartBaud_) + kBlockTimeout;
}

void Controller::outputLeft(Millis at) {
    if (fileDump_) fileDump_->answerBy = std::max(fileDump_->answerBy, at + kBlockTimeout);
}

void Controller::takeFileDumpAnswer(std::string_view& bytes) {
    const char answer = bytes.front();
    bytes.remove_prefix(1);
    if (answer != kGood || fileDump_->sent == fileDump_->data.size()) {
        // A rejected frame ends the dump; so does the answer to the last one.
        fileDump_.reset();
        return prompt();
    }
    sendFileDumpFrame();
}

}  // namespace tarmix::sim
