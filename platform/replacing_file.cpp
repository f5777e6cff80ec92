#include "platform/replacing_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tarmix {

namespace fs = std::filesystem;

namespace {

std::string Reason(const fs::path& path, int error) {
    return path.string() + ": " + std::strerror(error);
}

// The file a name leads to: symlinks followed, also to a target that does not exist yet.
fs::path ResolvedTarget(const fs::path& target) {
    std::error_code ignored;
    fs::path resolved = fs::weakly_canonical(fs::absolute(target, ignored), ignored);
    return resolved.empty() ? target : resolved;
}

// The user may write it, and it is not marked read-only (which is respected even when the
// program runs as root, whom access() always lets write).
bool Writable(const fs::path& path, const struct stat& status) {
    return ::access(path.c_str(), W_OK) == 0 && (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH));
}

bool WriteAll(int fd, const char* data, size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(fd, data, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        count -= size_t(written);
    }
    return true;
}

// A new file named from `pattern` (ending in XXXXXX), with the permissions of `like` when
// a file is replaced, the user's usual ones otherwise. -1 on failure.
int MakeTemporary(std::string& pattern, const struct stat* like) {
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, like ? (like->st_mode & 07777) : (0666 & ~mask));
    return fd;
}

}  // namespace

ReplacingFile::~ReplacingFile() { Discard(); }

bool ReplacingFile::Open(const fs::path& target, std::string& error) {
    Discard();
    target_ = ResolvedTarget(target);
    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        error = target_.string() + " is a folder";
        return false;
    }
    if (exists && !Writable(target_, existing)) {
        error = target_.string() + ": the file may not be written; it stays as it is";
        return false;
    }
    const fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    std::string pattern = (folder / ("." + target_.filename().string() + ".part-XXXXXX")).string();
    fd_ = MakeTemporary(pattern, exists ? &existing : nullptr);
    gatheredAside_ = false;
    if (fd_ < 0 && exists && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        std::error_code ignored;
        pattern = (fs::temp_directory_path(ignored) / "tarmix-part-XXXXXX").string();
        fd_ = MakeTemporary(pattern, nullptr);
        gatheredAside_ = true;
    }
    if (fd_ < 0) {
        error = Reason(folder, errno);
        return false;
    }
    temporary_ = pattern;
    size_ = 0;
    failed_ = false;
    return true;
}

bool ReplacingFile::Write(std::string_view text) {
    if (fd_ < 0 || failed_) return false;
    failed_ = !WriteAll(fd_, text.data(), text.size());
    if (!failed_) size_ += text.size();
    return !failed_;
}

bool ReplacingFile::Write(std::span<const uint8_t> bytes) {
    return Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool ReplacingFile::Commit(std::string& error) {
    if (fd_ < 0) {
        error = target_.string() + ": not open";
        return false;
    }
    const bool flushed = !failed_ && ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    if (!flushed || !closed) {
        error = target_.string() + ": cannot be written (is the disk full?)";
        Discard();
        return false;
    }
    if (gatheredAside_) {
        const bool copied = CopyIntoTarget(error);
        Discard();
        return copied;
    }
    if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = Reason(target_, errno);
        Discard();
        return false;
    }
    temporary_.clear();
    return true;
}

// The folder may not be written, the file may: the complete contents go into it at once.
bool ReplacingFile::CopyIntoTarget(std::string& error) {
    const int from = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC);
    const int to = ::open(target_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool copied = from >= 0 && to >= 0;
    std::vector<char> buffer(64 * 1024);
    while (copied) {
        const ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got <= 0) {
            copied = got == 0;
            break;
        }
        copied = WriteAll(to, buffer.data(), size_t(got));
    }
    const int reason = errno;
    if (from >= 0) ::close(from);
    if (to >= 0 && ::close(to) != 0) copied = false;
    if (!copied) error = Reason(target_, reason);
    return copied;
}

void ReplacingFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

}  // namespace tarmix
