// Files that are not regular files, made in a test's own folder, and a snapshot that shows
// whether one was touched. Real system devices are never written: a character device is
// made with mknod where the test runs as root; otherwise the system's null device is
// offered, which a program without root rights cannot replace, and only compared.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tarmix::testing {

struct SpecialFile {
    std::filesystem::path path;
    std::string kind;  // as the program names it in English
};

// What identifies a file: a replaced node has another inode, type or device number.
struct NodeSnapshot {
    explicit NodeSnapshot(const std::filesystem::path& path) {
        found = ::stat(path.c_str(), &status) == 0;
    }
    bool operator==(const NodeSnapshot& other) const {
        return found == other.found && status.st_ino == other.status.st_ino &&
               status.st_dev == other.status.st_dev && status.st_mode == other.status.st_mode &&
               status.st_rdev == other.status.st_rdev && status.st_size == other.status.st_size &&
               status.st_nlink == other.status.st_nlink && status.st_uid == other.status.st_uid;
    }
    bool found = false;
    struct stat status {};
};

// A named pipe, a character device (a copy of the null device) and a folder in `folder`.
// The device is missing when it can be made neither by mknod nor safely linked.
inline std::vector<SpecialFile> MakeSpecialFiles(const std::filesystem::path& folder) {
    std::vector<SpecialFile> made;
    if (::mkfifo((folder / "pipe").c_str(), 0666) == 0)
        made.push_back({folder / "pipe", "named pipe"});
    const std::filesystem::path device = folder / "null";
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        made.push_back({device, "character device"});
    else if (::geteuid() != 0)
        made.push_back({"/dev/null", "character device"});
    std::filesystem::create_directory(folder / "folder");
    made.push_back({folder / "folder", "folder"});
    return made;
}

}  // namespace tarmix::testing
