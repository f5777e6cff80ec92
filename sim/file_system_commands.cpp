// The monitor's file system listings and figures on the drive folders: "tree", "dir",
// "finfo" and "rmdir". Names on the device are ISO 8859-1; on the host they are UTF-8, and
// a host name that has no ISO 8859-1 form is not shown by the device.
//
// Answers (each line goes out after CR LF, the prompt follows the last one):
//   tree a:          → "A:", then per folder, depth first and sorted by name, one 4-column
//                      group per level ("|   " for each ancestor, "+---" for itself) and
//                      the name: "+---DATA", "|   +---LOG"
//   dir "A:\DATA\"   → "Directory of A:\DATA\", a heading, then one row per entry, folders
//                      first: the name padded to 20 columns, "<DIR>" or the size right-
//                      aligned in 9 columns, a blank, "dd.mm.yyyy hh:mm:ss"
//   finfo a          → "Drive A:", " Size      = %08X" (bytes), " BlockSize = %08X",
//                      " free      = %d" (blocks), " to erase  = %d" (blocks)
//   rmdir "A:\DATA\LOG" → the prompt; a folder that is not empty is refused, and so is a
//                      path that ends with "\" (the monitor takes the folder's own name)
// A damaged drive answers "[FFS-Error]" to every file system command but "format".
#include <algorithm>
#include <ctime>
#include <fstream>
#include <system_error>

#include "platform/latin1.h"
#include "sim/controller.h"
#include "sim/monitor_text.h"

namespace tarmix::sim {

namespace fs = std::filesystem;

namespace {

constexpr char kDamagedDrive[] = "[FFS-Error]";
constexpr char kPathNotFound[] = "Path not found";
constexpr char kFolderNotEmpty[] = "Directory not empty";
constexpr char kNotAFolder[] = "No directory";
constexpr char kListHeading[] = "Name                Size      Created";
// Reading the file system takes this long for each line of a listing.
constexpr Millis kEntryTime{1};
// Drives of at least this size are kept in blocks of kLargeBlock bytes, smaller ones in
// blocks of kSmallBlock.
constexpr uint32_t kLargeDriveBytes = 256 * 1024;
constexpr uint32_t kLargeBlock = 0x1000;
constexpr uint32_t kSmallBlock = 0x200;

struct Entry {
    std::string name;  // device text
    fs::path host;
    bool folder = false;
};

// The entries of a host folder that the device can name, folders first, each sorted.
std::vector<Entry> Entries(const fs::path& folder) {
    std::vector<Entry> entries;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const auto name = Utf8ToLatin1(it->path().filename().string());
        if (!name) continue;
        entries.push_back({*name, it->path(), it->is_directory(error)});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.folder != b.folder ? a.folder : a.name < b.name;
    });
    return entries;
}

std::string Created(const fs::path& path) {
    std::error_code error;
    const auto written = fs::last_write_time(path, error);
    const std::time_t seconds =
        error ? 0
              : std::chrono::system_clock::to_time_t(
                    std::chrono::time_point_cast<std::chrono::system_clock::duration>(
                        std::chrono::file_clock::to_sys(written)));
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%d.%m.%Y %H:%M:%S", &local);
    return text;
}

uint32_t BlockSize(uint32_t driveBytes) {
    return driveBytes >= kLargeDriveBytes ? kLargeBlock : kSmallBlock;
}

// Blocks in use below a folder: one per folder, and each file's size in whole blocks.
uint64_t BlocksInUse(const fs::path& folder, uint32_t blockSize) {
    uint64_t blocks = 0;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->is_directory(error)) {
            ++blocks;
        } else {
            const uint64_t size = it->file_size(error);
            blocks += std::max<uint64_t>(1, (size + blockSize - 1) / blockSize);
        }
    }
    return blocks;
}

}  // namespace

// --- damage -------------------------------------------------------------------------------

bool DriveFolders::damaged(int index) {
    std::error_code error;
    return fs::exists(root() / (std::string(1, char('A' + index)) + kDamageMark), error);
}

void DriveFolders::setDamaged(int index, bool on) {
    const fs::path mark = root() / (std::string(1, char('A' + index)) + kDamageMark);
    std::error_code error;
    fs::create_directories(root(), error);
    if (on) {
        std::ofstream(mark).flush();
    } else {
        fs::remove(mark, error);
    }
}

// --- the commands ---------------------------------------------------------------------------

std::optional<fs::path> Controller::driveArgument(const Args& args, bool colon) {
    const int index = DriveLetterIndex(args, colon);
    if (index < 0) {
        refuse(kSyntaxError);
        return std::nullopt;
    }
    return usableDrive(index);
}

std::optional<fs::path> Controller::usableDrive(int index) {
    if (driveSizesKb_[size_t(index)] == 0) {
        refuse(kDriveNotAvailable);
        return std::nullopt;
    }
    if (drives_.damaged(index)) {
        refuse(kDamagedDrive);
        return std::nullopt;
    }
    const fs::path drive = drives_.drive(index);
    if (drive.empty()) {
        refuse(kDriveNotAvailable);
        return std::nullopt;
    }
    return drive;
}

void Controller::listTree(const Args& args) {
    const std::optional<fs::path> drive = driveArgument(args, true);
    if (!drive) return;
    answerLine(std::string(1, char(args[0][0] - 'a' + 'A')) + ":");
    listTreeBelow(*drive, "");
    prompt();
}

void Controller::listTreeBelow(const fs::path& folder, const std::string& prefix) {
    for (const Entry& entry : Entries(folder)) {
        if (!entry.folder) continue;
        emit("\r\n" + prefix + "+---" + entry.name, kEntryTime);
        listTreeBelow(entry.host, prefix + "|   ");
    }
}

void Controller::listFolder() {
    const auto path = DriveFolders::parse(lineArgument("dir"), DriveFolders::Quotes::kRequired);
    if (!path) return refuse(kPathError);
    const std::optional<fs::path> drive = usableDrive(path->drive);
    if (!drive) return;
    const fs::path folder = *drive / path->relative;
    std::error_code error;
    if (!fs::is_directory(folder, error)) return refuse(kPathNotFound);
    answerLine("Directory of " + path->folderText);
    answerLine(kListHeading);
    for (const Entry& entry : Entries(folder)) {
        const std::string size =
            entry.folder ? "<DIR>    " : std::to_string(fs::file_size(entry.host, error));
        emit("\r\n" + format("%-20s%9s ", entry.name.c_str(), size.c_str()) + Created(entry.host),
             kEntryTime);
    }
    prompt();
}

void Controller::answerFileInfo(const Args& args) {
    const std::optional<fs::path> drive = driveArgument(args, false);
    if (!drive) return;
    const int index = args[0][0] - 'a';
    const uint32_t bytes = uint32_t(driveSizesKb_[size_t(index)]) * 1024;
    const uint32_t blockSize = BlockSize(bytes);
    const uint64_t blocks = bytes / blockSize;
    const uint64_t toErase = std::min<uint64_t>(blocksToErase_[size_t(index)], blocks);
    const uint64_t used = std::min(BlocksInUse(*drive, blockSize), blocks - toErase);
    answerLine(format("Drive %c:", char('A' + index)));
    answerLine(format(" Size      = %08X", bytes));
    answerLine(format(" BlockSize = %08X", blockSize));
    answerLine(
        format(" free      = %llu", static_cast<unsigned long long>(blocks - used - toErase)));
    answerLine(format(" to erase  = %llu", static_cast<unsigned long long>(toErase)));
    prompt();
}

void Controller::removeFolder() {
    const std::string argument = lineArgument("rmdir");
    if (argument.ends_with("\\\"") || argument.ends_with('\\')) return refuse(kPathError);
    int drive = 0;
    const std::optional<fs::path> folder = devicePathArgument("rmdir", &drive);
    if (!folder) return;
    std::error_code error;
    if (!fs::exists(*folder, error)) return refuse(kPathNotFound);
    if (!fs::is_directory(*folder, error)) return refuse(kNotAFolder);
    if (!fs::is_empty(*folder, error)) return refuse(kFolderNotEmpty);
    if (!fs::remove(*folder, error)) return refuse(kFileSystemError);
    freeBlocks(drive, 0);
    prompt();
}

void Controller::freeBlocks(int drive, uint64_t bytes) {
    const uint32_t blockSize = BlockSize(uint32_t(driveSizesKb_[size_t(drive)]) * 1024);
    blocksToErase_[size_t(drive)] += std::max<uint64_t>(1, (bytes + blockSize - 1) / blockSize);
}

}  // namespace tarmix::sim
