#include "platform/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarmix {

namespace fs = std::filesystem;

namespace {

std::string reason(const fs::path& path, int error) {
    return path.string() + ": " + std::strerror(error);
}

// New files get the usual permissions of the user's files; a replaced file keeps its own.
mode_t modeFor(const fs::path& target) {
    struct stat existing {};
    if (stat(target.c_str(), &existing) == 0) return existing.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// The user may write it, and it is not marked read-only (which even root respects here).
bool writable(const fs::path& path) {
    struct stat status {};
    return access(path.c_str(), W_OK) == 0 && stat(path.c_str(), &status) == 0 &&
           (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

}  // namespace

ReplacingFile::~ReplacingFile() {
    if (fd_ < 0) return;
    close(fd_);
    if (!inPlace_) unlink(temporary_.c_str());
}

bool ReplacingFile::Open(const fs::path& target, std::string& error) {
    std::error_code ignored;
    target_ = fs::is_symlink(target, ignored) ? fs::canonical(target, ignored) : target;
    if (target_.empty()) target_ = target;  // a dangling link: its own path is written
    const bool exists = fs::exists(target_, ignored);
    if (exists && !writable(target_)) {
        error = reason(target_, EACCES);
        return false;
    }
    const fs::path folder = target_.parent_path().empty() ? "." : target_.parent_path();
    if (exists && !writable(folder)) {
        inPlace_ = true;
        fd_ = open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        if (fd_ < 0) error = reason(target_, errno);
        return fd_ >= 0;
    }
    std::string pattern = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
    fd_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) {
        error = reason(folder, errno);
        return false;
    }
    temporary_ = pattern;
    fchmod(fd_, modeFor(target_));
    return true;
}

bool ReplacingFile::Write(const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (fd_ >= 0 && !failed_ && size > 0) {
        const ssize_t written = write(fd_, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            failed_ = true;
            break;
        }
        bytes += written;
        size -= size_t(written);
    }
    return fd_ >= 0 && !failed_;
}

bool ReplacingFile::Commit(std::string& error) {
    if (fd_ < 0) {
        error = "no file is open";
        return false;
    }
    const bool flushed = !failed_ && fsync(fd_) == 0;
    const int closeError = close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    if (!flushed || closeError != 0) {
        error = reason(inPlace_ ? target_ : temporary_, closeError ? closeError : EIO);
        if (!inPlace_) unlink(temporary_.c_str());
        return false;
    }
    if (inPlace_) return true;
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = reason(target_, errno);
        unlink(temporary_.c_str());
        return false;
    }
    return true;
}

}  // namespace tarmix
