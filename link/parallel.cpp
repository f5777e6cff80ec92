#include "link/parallel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "link/serial.h"
#include "platform/termios_port.h"

namespace tarmix {

CParallel::~CParallel() { Close(); }

int CParallel::Open(const std::string& name) {
    Close();
    portName_ = name;
    const std::string path = map_.resolve(name);
    openFailure_ = OpenFailure::NotListed;
    if (path.empty()) return 1;
    // Non-blocking, so a pipe or printer port nobody serves cannot hang the open.
    int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        openFailure_ = OpenFailureOf(errno);
        return 1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        openFailure_ = OpenFailure::InUse;
        return 1;
    }
    openFailure_ = OpenFailure::None;
    fd_ = fd;
    return 0;
}

int CParallel::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return 0;
}

int CParallel::WriteText(const std::string& text) {
    return WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

int CParallel::WriteBytes(const uint8_t* data, size_t count) {
    if (fd_ < 0) return 1;
    for (size_t done = 0; done < count;) {
        const size_t piece = std::min(kWritePiece, count - done);
        if (WritePiece(data + done, piece) != 0) return 1;
        done += piece;
    }
    return 0;
}

int CParallel::WritePiece(const uint8_t* data, size_t count) {
    const Millis deadline = clock_.now() + kWriteTimeout;
    bool refusedWhenReady = false;
    for (size_t written = 0; written < count;) {
        const long put = writeSome(data + written, count - written);
        if (put < 0) return 1;
        if (put > 0) {
            written += size_t(put);
            refusedWhenReady = false;
            continue;
        }
        const Millis left = deadline - clock_.now();
        if (left <= Millis{0}) return 1;  // the port takes nothing
        if (refusedWhenReady) clock_.sleep(std::min(kRefusedPause, left));
        if (!waitWritable(deadline - clock_.now())) return 1;
        refusedWhenReady = true;
    }
    return 0;
}

long CParallel::writeSome(const uint8_t* data, size_t count) {
    const ssize_t put = ::write(fd_, data, count);
    if (put >= 0) return long(put);
    return errno == EAGAIN || errno == EINTR ? 0 : -1;
}

bool CParallel::waitWritable(Millis timeout) {
    pollfd wait{fd_, POLLOUT, 0};
    return poll(&wait, 1, int(std::max<Millis::rep>(timeout.count(), 0))) > 0;
}

int CParallel::SendLine(const std::string& text) {
    return WriteText(text.substr(0, CSerial::kMaxLineLength) + '\r');
}

}  // namespace tarmix
