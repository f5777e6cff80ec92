#include "platform/replacing_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxLinks = 40;  // as many as the system follows in one path
constexpr size_t kCopyBlock = 64 * 1024;

std::string Reason(const fs::path& path, int error) {
    return path.string() + ": " + std::strerror(error);
}

std::string NotRegular(const fs::path& path, mode_t mode) {
    int kind = text::kSpecialFile;
    switch (mode & S_IFMT) {
        case S_IFCHR:
            kind = text::kCharacterDevice;
            break;
        case S_IFBLK:
            kind = text::kBlockDevice;
            break;
        case S_IFIFO:
            kind = text::kNamedPipe;
            break;
        case S_IFSOCK:
            kind = text::kSocket;
            break;
        case S_IFDIR:
            kind = text::kFolder;
            break;
    }
    return FormatText(text::kNotRegularFileLeft, path.string(), LoadText(kind));
}

// The file a name leads to: the symlinks of its last part followed, also to a name that
// does not exist yet (a link to a missing file makes that file). Its folder is given
// without links, for messages; `viaLink` tells whether a link was followed. 0 or errno.
int FollowLinks(const fs::path& name, fs::path& target, bool& viaLink) {
    std::error_code failure;
    fs::path path = fs::absolute(name, failure);
    if (failure) return failure.value();
    viaLink = false;
    for (int followed = 0;; ++followed) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
        if (followed == kMaxLinks) return ELOOP;
        const fs::path next = fs::read_symlink(path, failure);
        if (failure) return failure.value();
        path = next.is_absolute() ? next : path.parent_path() / next;
        viaLink = true;
    }
    const fs::path folder = fs::weakly_canonical(path.parent_path(), failure);
    target = (failure ? path.parent_path() : folder) / path.filename();
    return 0;
}

// The user may write it, and it is not marked read-only (which is respected even when the
// program runs as root, whom access() always lets write).
bool Writable(const fs::path& path, const struct stat& status) {
    return ::access(path.c_str(), W_OK) == 0 && (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH));
}

// Writes all of it at `offset`; false with errno set when that failed.
bool WriteAll(int fd, const char* data, size_t count, off_t offset) {
    while (count > 0) {
        const ssize_t written = ::pwrite(fd, data, count, offset);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            if (written == 0) errno = EIO;
            return false;
        }
        data += written;
        offset += written;
        count -= size_t(written);
    }
    return true;
}

// Makes `to` a flushed copy of `from`: the whole of `from` over the start of `to`, which
// is then cut to that length. 0, or the errno of the step that failed.
int CopyOver(int from, int to) {
    std::vector<char> buffer(kCopyBlock);
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) break;
        if (!WriteAll(to, buffer.data(), size_t(got), offset)) return errno;
        offset += got;
    }
    if (::ftruncate(to, offset) != 0 || ::fsync(to) != 0) return errno;
    return 0;
}

// Makes a new name in the folder last until a crash: the folder's entries are flushed.
void FlushFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)::fsync(fd);
    ::close(fd);
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

ReplacingFile::~ReplacingFile() { Discard(); }

bool ReplacingFile::Open(const fs::path& target, std::string& error) {
    Discard();
    bool viaLink = false;
    if (!FindTarget(target, viaLink, error)) return false;
    inPlace_ = exists_ && (viaLink || old_.st_nlink > 1 || !folderWritable_);
    fd_ = MakeAside(".part", true, temporary_);
    if (fd_ < 0) {
        error = Reason(temporary_.parent_path(), errno);
        temporary_.clear();
        return false;
    }
    // Made elsewhere, or owned unlike the old file: renaming it would not keep the file.
    struct stat made {};
    if (temporary_.parent_path() != target_.parent_path()) inPlace_ = true;
    if (exists_ && !inPlace_ && ::fstat(fd_, &made) == 0)
        inPlace_ = made.st_uid != old_.st_uid || made.st_gid != old_.st_gid;
    if (!inPlace_) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, exists_ ? (old_.st_mode & 07777) : (0666 & ~mask));
    }
    size_ = 0;
    writeError_ = 0;
    return true;
}

// Resolves the name to the file it leads to and checks that it may be written: a regular
// file the user may write, or no file in a folder the user may write.
bool ReplacingFile::FindTarget(const fs::path& name, bool& viaLink, std::string& error) {
    if (const int failure = FollowLinks(name, target_, viaLink)) {
        error = Reason(name, failure);
        return false;
    }
    exists_ = ::lstat(target_.c_str(), &old_) == 0;
    if (exists_ && !S_ISREG(old_.st_mode)) {
        error = NotRegular(target_, old_.st_mode);
        return false;
    }
    if (exists_ && !Writable(target_, old_)) {
        error = FormatText(text::kMayNotWrite, target_.string());
        return false;
    }
    const fs::path folder = target_.parent_path();
    struct stat status {};
    const bool found = ::stat(folder.c_str(), &status) == 0;
    const int folderError = !found ? errno : S_ISDIR(status.st_mode) ? EACCES : ENOTDIR;
    folderWritable_ = found && S_ISDIR(status.st_mode) && Writable(folder, status);
    if (!exists_ && !folderWritable_) {
        error = Reason(folder, folderError);
        return false;
    }
    return true;
}

// A new file named after the target with `suffix`: beside it (`hidden` there) where the
// folder may be written, else in the system's temporary folder. -1 with errno when none
// could be made.
int ReplacingFile::MakeAside(const std::string& suffix, bool hidden, fs::path& made) const {
    const std::string name = target_.filename().string() + suffix + "-XXXXXX";
    if (folderWritable_) {
        std::string pattern = (target_.parent_path() / ((hidden ? "." : "") + name)).string();
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        made = pattern;
        if (fd >= 0 || (errno != EACCES && errno != EPERM && errno != EROFS) || !exists_) return fd;
    }
    std::error_code ignored;
    std::string pattern = (fs::temp_directory_path(ignored) / ("tarmix-" + name)).string();
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    made = pattern;
    return fd;
}

bool ReplacingFile::Write(std::string_view text) {
    if (fd_ < 0 || writeError_ != 0) return false;
    if (!WriteAll(fd_, text.data(), text.size(), off_t(size_))) {
        writeError_ = errno;
        return false;
    }
    size_ += text.size();
    return true;
}

bool ReplacingFile::Write(std::span<const uint8_t> bytes) {
    return Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool ReplacingFile::Commit(std::string& error) {
    if (fd_ < 0) {
        error = target_.string() + ": not open";
        return false;
    }
    int failure = writeError_;
    if (failure == 0 && ::fsync(fd_) != 0) failure = errno;
    if (failure != 0) error = Reason(target_, failure);
    const bool done = failure == 0 && (inPlace_ ? WriteInPlace(error) : RenameOverTarget(error));
    Discard();
    return done;
}

// Whether the target found now is still the file Open found (or, when there was none,
// still no other kind of file); another program may have put something else there.
bool ReplacingFile::StillTheFileOpened(const struct stat& now, std::string& error) const {
    if (!S_ISREG(now.st_mode)) {
        error = NotRegular(target_, now.st_mode);
        return false;
    }
    if (exists_ && (now.st_dev != old_.st_dev || now.st_ino != old_.st_ino)) {
        error = FormatText(text::kChangedWhileWriting, target_.string());
        return false;
    }
    return true;
}

bool ReplacingFile::RenameOverTarget(std::string& error) {
    struct stat now {};
    if (::lstat(target_.c_str(), &now) == 0 && !StillTheFileOpened(now, error)) return false;
    if (::close(fd_) != 0 || ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = Reason(target_, errno);
        fd_ = -1;
        return false;
    }
    fd_ = -1;
    temporary_.clear();
    FlushFolder(target_.parent_path());
    return true;
}

bool ReplacingFile::WriteInPlace(std::string& error) {
    // Non-blocking, so that a named pipe put there meanwhile cannot hold the program.
    const Descriptor target(::open(target_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat now {};
    if (target.get() < 0 || ::fstat(target.get(), &now) != 0) {
        error = Reason(target_, errno);
        return false;
    }
    if (!StillTheFileOpened(now, error)) return false;

    // Where the folder allows it, the old contents stay beside the file under a name the
    // user sees, should the machine stop while the new ones are copied in.
    fs::path keptName;
    const Descriptor kept(MakeAside(".old", false, keptName));
    if (kept.get() < 0) {
        error = Reason(keptName.parent_path(), errno);
        return false;
    }
    if (const int failure = CopyOver(target.get(), kept.get())) {
        ::unlink(keptName.c_str());
        error = Reason(keptName, failure);
        return false;
    }
    FlushFolder(keptName.parent_path());
    const int failure = CopyOver(fd_, target.get());
    if (failure != 0 && CopyOver(kept.get(), target.get()) != 0) {
        error = FormatText(text::kOldContentsKept, target_.string(), std::strerror(failure),
                           keptName.string());
        return false;
    }
    ::unlink(keptName.c_str());
    if (failure != 0) error = Reason(target_, failure);
    return failure == 0;
}

void ReplacingFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
}

bool WriteFileSafely(const fs::path& path, std::string_view contents, std::string& error) {
    ReplacingFile file;
    if (!file.Open(path, error)) return false;
    file.Write(contents);
    return file.Commit(error);
}

}  // namespace tarmix
