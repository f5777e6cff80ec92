#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "lang/catalog.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {

// What a file that is not a regular one is; empty for a regular file.
std::string NotRegular(mode_t mode) {
    if (S_ISREG(mode)) return {};
    if (S_ISDIR(mode)) return LoadText(text::kFileIsFolder);
    if (S_ISFIFO(mode)) return LoadText(text::kFileIsPipe);
    if (S_ISSOCK(mode)) return LoadText(text::kFileIsSocket);
    return LoadText(text::kFileIsDevice);
}

}  // namespace

std::string DescribeFileError(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return LoadText(text::kInputFileNotFound);
        case EACCES:
        case EPERM:
            return LoadText(text::kFileNotReadable);
        case EISDIR:
            return LoadText(text::kFileIsFolder);
        case ENXIO:  // a socket, or a device without its driver
            return LoadText(text::kFileIsDevice);
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
