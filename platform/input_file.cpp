#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "lang/catalog.h"

namespace tarmix {

namespace {

constexpr int kTextFileNotFound = 63803;     // "File not found"
constexpr int kTextFileNotReadable = 63804;  // "No permission to read the file"
constexpr int kTextFileIsFolder = 63805;     // "This is a folder, not a file"
constexpr int kTextFileIsPipe = 64450;       // "This is a named pipe (FIFO), not a regular file"
constexpr int kTextFileIsDevice = 64451;     // "This is a device, not a regular file"
constexpr int kTextFileIsSocket = 64452;     // "This is a socket, not a regular file"

// What a file that is not a regular one is; empty for a regular file.
std::string NotRegular(mode_t mode) {
    if (S_ISREG(mode)) return {};
    if (S_ISDIR(mode)) return LoadText(kTextFileIsFolder);
    if (S_ISFIFO(mode)) return LoadText(kTextFileIsPipe);
    if (S_ISSOCK(mode)) return LoadText(kTextFileIsSocket);
    return LoadText(kTextFileIsDevice);
}

}  // namespace

std::string DescribeFileError(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return LoadText(kTextFileNotFound);
        case EACCES:
        case EPERM:
            return LoadText(kTextFileNotReadable);
        case EISDIR:
            return LoadText(kTextFileIsFolder);
        case ENXIO:  // a socket, or a device without its driver
            return LoadText(kTextFileIsDevice);
        default:
            return std::generic_category().message(error);
    }
}

bool InputFile::open(const std::string& path) {
    file_.reset();
    size_ = 0;
    problem_.clear();
    // Without O_NONBLOCK the open of a pipe waits for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        problem_ = DescribeFileError(errno);
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        problem_ = DescribeFileError(errno);
    } else {
        problem_ = NotRegular(info.st_mode);
    }
    if (!problem_.empty() || ::fcntl(fd, F_SETFL, O_RDONLY) != 0) {
        if (problem_.empty()) problem_ = DescribeFileError(errno);
        ::close(fd);
        return false;
    }
    file_.reset(::fdopen(fd, "rb"));
    if (!file_) {
        problem_ = DescribeFileError(errno);
        ::close(fd);
        return false;
    }
    size_ = uint64_t(info.st_size);
    return true;
}

}  // namespace tarmix
