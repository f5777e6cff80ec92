#include "platform/termios_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace tarmix {

namespace {

// The receive queue holds at most this much; a flooding peer then waits in the kernel.
constexpr size_t kReceiveQueueLimit = 1 << 20;

speed_t speedFor(uint32_t baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return 0;
    }
}

bool hungUp(int fd) {
    pollfd check{fd, POLLIN, 0};
    return poll(&check, 1, 0) > 0 && (check.revents & (POLLHUP | POLLERR | POLLNVAL));
}

}  // namespace

OpenFailure OpenFailureOf(int error) {
    switch (error) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return OpenFailure::Missing;
        case EACCES:
        case EPERM:
            return OpenFailure::NoPermission;
        case EBUSY:
        case EWOULDBLOCK:
            return OpenFailure::InUse;
        case ENOTTY:
            return OpenFailure::NotATerminal;
        default:
            return OpenFailure::Other;
    }
}

bool TermiosPort::open(const std::string& name) {
    close();
    openFailure_ = OpenFailure::None;
    const std::string path = map_.resolve(name);
    if (path.empty()) {
        openFailure_ = OpenFailure::NotListed;
        return false;
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        openFailure_ = OpenFailureOf(errno);
        return false;
    }
    // Exclusive: the tty refuses further opens, and the lock keeps out other instances of
    // this program even when they run with the privilege to ignore TIOCEXCL.
    const int refusal = !isatty(fd) ? ENOTTY : flock(fd, LOCK_EX | LOCK_NB) != 0 ? EWOULDBLOCK : 0;
    if (refusal != 0) {
        ::close(fd);
        openFailure_ = OpenFailureOf(refusal);
        return false;
    }
    ioctl(fd, TIOCEXCL);
    fd_ = fd;
    failed_ = false;
    received_.clear();
    return true;
}

OpenFailure ProbeSerialPath(const std::string& path) {
    // The same open as the link's, so a port another instance holds is found in use.
    TermiosPort trial{PortMap()};
    return trial.open(path) ? OpenFailure::None : trial.openFailure();
}

void TermiosPort::close() {
    if (fd_ < 0) return;
    ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
    received_.clear();
}

bool TermiosPort::configure(uint32_t baud) {
    if (fd_ < 0) return false;
    const speed_t speed = speedFor(baud);
    termios settings{};
    if (speed == 0 || tcgetattr(fd_, &settings) != 0) return false;
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD | CS8;
    settings.c_cflag &= ~(CRTSCTS | PARENB | CSTOPB);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    settings.c_cc[VSTART] = 0x11;
    settings.c_cc[VSTOP] = 0x13;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    tcflush(fd_, TCIOFLUSH);
    received_.clear();
    if (tcsetattr(fd_, TCSANOW, &settings) != 0) return false;
    // Pseudo-terminals have no modem lines; there the request fails harmlessly.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ioctl(fd_, TIOCMBIS, &lines);
    return true;
}

bool TermiosPort::pullFromDevice() {
    if (fd_ < 0 || failed_) return false;
    uint8_t chunk[4096];
    while (received_.size() < kReceiveQueueLimit) {
        ssize_t got = ::read(fd_, chunk, sizeof chunk);
        if (got > 0) {
            received_.insert(received_.end(), chunk, chunk + got);
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) break;
        // A raw tty with VMIN 0 reads 0 bytes both when nothing is there and when the line
        // has hung up (the other end of a pty is gone); only poll tells them apart.
        if (got == 0 && !hungUp(fd_)) break;
        failed_ = true;
        return false;
    }
    return true;
}

long TermiosPort::bytesWaiting() {
    if (!pullFromDevice()) return received_.empty() || fd_ < 0 ? -1 : long(received_.size());
    int inKernel = 0;
    ioctl(fd_, FIONREAD, &inKernel);
    return static_cast<long>(received_.size()) + inKernel;
}

long TermiosPort::read(uint8_t* data, size_t capacity) {
    if (fd_ < 0) return -1;
    pullFromDevice();
    if (received_.empty() && failed_) return -1;
    size_t count = std::min(capacity, received_.size());
    std::copy_n(received_.begin(), count, data);
    received_.erase(received_.begin(), received_.begin() + long(count));
    return static_cast<long>(count);
}

long TermiosPort::write(const uint8_t* data, size_t count, Millis timeout) {
    if (fd_ < 0) return -1;
    const Millis deadline = systemClock().now() + timeout;
    size_t written = 0;
    while (written < count) {
        ssize_t put = ::write(fd_, data + written, count - written);
        if (put > 0) {
            written += static_cast<size_t>(put);
            continue;
        }
        if (put < 0 && errno != EAGAIN && errno != EINTR) return written ? long(written) : -1;
        const Millis left = deadline - systemClock().now();
        if (left.count() <= 0) break;
        pollfd wait{fd_, POLLOUT, 0};
        poll(&wait, 1, static_cast<int>(left.count()));
    }
    return static_cast<long>(written);
}

void TermiosPort::waitForInput(Millis timeout) {
    if (!pullFromDevice()) return;
    if (received_.size() >= kReceiveQueueLimit) {
        systemClock().sleep(timeout);
        return;
    }
    pollfd wait{fd_, POLLIN, 0};
    if (poll(&wait, 1, static_cast<int>(std::max<long>(timeout.count(), 0))) > 0 &&
        (wait.revents & (POLLHUP | POLLERR)) && !(wait.revents & POLLIN))
        failed_ = true;
}

PortFactory termiosPortFactory(const PortMap& map) {
    return [map] { return std::make_unique<TermiosPort>(map); };
}

}  // namespace tarmix
