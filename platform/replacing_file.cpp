#include "platform/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

namespace tarmix {

namespace fs = std::filesystem;

namespace {

std::string reason(const fs::path& path, int error) {
    return path.string() + ": " + std::strerror(error);
}

bool writeAll(int fd, const uint8_t* data, size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(fd, data, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        count -= size_t(written);
    }
    return true;
}

// The target a path names once its symlinks are followed; a path that does not exist yet is
// taken as it is below its resolved folder.
fs::path resolved(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    const fs::path followed = fs::weakly_canonical(absolute, error);
    return error ? absolute : followed;
}

// A new file named from `pattern` (ending in XXXXXX), with the target's permission bits
// when the target exists. -1 on failure.
int makeTemporary(std::string& pattern, const struct stat* like) {
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return -1;
    const mode_t umaskNow = ::umask(0);
    ::umask(umaskNow);
    ::fchmod(fd, like ? (like->st_mode & 07777) : (0666 & ~umaskNow));
    return fd;
}

}  // namespace

ReplacingFile::~ReplacingFile() { discard(); }

void ReplacingFile::discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool ReplacingFile::open(const fs::path& target, std::string& error) {
    discard();
    target_ = resolved(target);
    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        error = target_.string() + " is a folder";
        return false;
    }
    if (exists && ::access(target_.c_str(), W_OK) != 0) {
        error = reason(target_, errno) + " (the file may not be written; it stays as it is)";
        return false;
    }
    const fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    std::string pattern = (folder / ("." + target_.filename().string() + ".part-XXXXXX")).string();
    fd_ = makeTemporary(pattern, exists ? &existing : nullptr);
    inPlace_ = false;
    if (fd_ < 0 && exists && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        // A writable file in a folder we may not write: gather aside, copy in on commit.
        std::error_code ignored;
        pattern = (fs::temp_directory_path(ignored) / "tarmix-part-XXXXXX").string();
        fd_ = makeTemporary(pattern, nullptr);
        inPlace_ = true;
    }
    if (fd_ < 0) {
        error = reason(folder, errno);
        return false;
    }
    temporary_ = pattern;
    return true;
}

bool ReplacingFile::write(const uint8_t* data, size_t count, std::string& error) {
    if (fd_ < 0) {
        error = "no file open";
        return false;
    }
    if (writeAll(fd_, data, count)) return true;
    error = reason(target_, errno);
    return false;
}

bool ReplacingFile::commit(std::string& error) {
    if (fd_ < 0) {
        error = "no file open";
        return false;
    }
    if (::fsync(fd_) != 0 || ::close(fd_) != 0) {
        fd_ = -1;
        error = reason(target_, errno);
        discard();
        return false;
    }
    fd_ = -1;
    if (!inPlace_) {
        if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
            error = reason(target_, errno);
            discard();
            return false;
        }
        temporary_.clear();
        return true;
    }
    // Copy the gathered contents into the existing file.
    const int from = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    const int to = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool ok = from >= 0 && to >= 0;
    std::vector<uint8_t> buffer(64 * 1024);
    while (ok) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = writeAll(to, buffer.data(), size_t(got));
    }
    const int saved = errno;
    if (from >= 0) ::close(from);
    if (to >= 0 && ::close(to) != 0) ok = false;
    if (!ok) error = reason(target_, saved);
    discard();
    return ok;
}

}  // namespace tarmix
