#include "platform/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

namespace tarmix {

namespace fs = std::filesystem;

namespace {

// Temporary names that can be tried before giving up (a name may be taken).
constexpr int kTemporaryNameTries = 16;

WriteResult failed(const fs::path& path, int error) {
    return {WriteOutcome::Failed, path.string() + ": " + std::strerror(error)};
}

// The file a path names once its symlinks are followed (the path itself when it does not
// exist yet, or its folder's links resolved when only the file is missing).
fs::path followLinks(const fs::path& path) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path : resolved;
}

// Whether the user may write it. A file or folder without any write permission is taken
// as locked also for the superuser, who could write it: that is what the lock is for.
bool writable(const fs::path& path, const struct stat& status) {
    return (status.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
}

bool writeAll(int fd, std::string_view contents) {
    while (!contents.empty()) {
        const ssize_t written = ::write(fd, contents.data(), contents.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        contents.remove_prefix(size_t(written));
    }
    return ::fsync(fd) == 0;
}

// Writes over the existing file itself: its folder does not let a new file be made.
WriteResult writeInPlace(const fs::path& target, std::string_view contents) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return failed(target, errno);
    const bool ok = writeAll(fd, contents);
    const int error = errno;
    if (::close(fd) != 0 || !ok) return failed(target, ok ? errno : error);
    return {WriteOutcome::Written, {}};
}

// A new file beside the target, made exclusively so that nothing in the folder is followed
// or overwritten; -1 with errno when none could be made.
int makeTemporary(const fs::path& target, mode_t mode, fs::path& made) {
    std::random_device seed;
    std::mt19937 random(seed());
    for (int i = 0; i < kTemporaryNameTries; ++i) {
        made = target;
        made += ".tmp" + std::to_string(random() % 1000000);
        const int fd =
            ::open(made.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

}  // namespace

WriteResult WriteFileSafely(const fs::path& path, std::string_view contents) {
    const fs::path target = followLinks(path);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !writable(target, existing)) return {WriteOutcome::ReadOnly, {}};
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    struct stat folderStatus {};
    if (exists && ::stat(folder.c_str(), &folderStatus) == 0 && !writable(folder, folderStatus))
        return writeInPlace(target, contents);

    const mode_t mode = exists ? existing.st_mode & 07777 : 0666;  // umask applies to new files
    fs::path temporary;
    const int fd = makeTemporary(target, mode, temporary);
    if (fd < 0) return failed(target, errno);
    if (exists) (void)::fchmod(fd, mode);
    const bool ok = writeAll(fd, contents);
    const int error = errno;
    if (::close(fd) != 0 || !ok || ::rename(temporary.c_str(), target.c_str()) != 0) {
        const int reason = ok ? errno : error;
        ::unlink(temporary.c_str());
        return failed(target, reason);
    }
    return {WriteOutcome::Written, {}};
}

}  // namespace tarmix
