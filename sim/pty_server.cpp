#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "sim/uart.h"

namespace tarmix::sim {

namespace {

constexpr int kMaxPollMs = 100;
// How far a paced line may catch up after a late wake.
constexpr std::chrono::milliseconds kLineCredit{2};
constexpr size_t kReadChunk = 4096;

uint32_t baudOf(speed_t speed) {
    switch (speed) {
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        case B230400:
            return 230400;
        case B460800:
            return 460800;
        case B921600:
            return 921600;
        default:
            return 0;
    }
}

}  // namespace

PtyServer::~PtyServer() {
    std::error_code ignored;
    if (!linkPath_.empty()) std::filesystem::remove(linkPath_, ignored);
    if (parallelIn_ >= 0) close(parallelIn_);
    if (parallelKeepAlive_ >= 0) close(parallelKeepAlive_);
    if (!createdPipe_.empty()) std::filesystem::remove(createdPipe_, ignored);
    for (int fd : {twinMaster_, twinSlave_})
        if (fd >= 0) close(fd);
    closeDevice();
}

bool PtyServer::start(const std::string& linkPath, std::string& error) {
    if (!linkPath.empty()) {
        namespace fs = std::filesystem;
        if (fs::exists(fs::symlink_status(linkPath)) &&
            !fs::is_symlink(fs::symlink_status(linkPath))) {
            error = linkPath + " exists and is not a symbolic link; not replacing it";
            return false;
        }
        linkPath_ = linkPath;
    }
    return createDevice(error);
}

namespace {

// A new pty in raw mode at 57600; its slave side is kept open so it lives on while the
// program reopens it.
bool openPty(int& master, int& slave, std::string& path, std::string& error) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    path = ptsname(master);
    slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    termios settings{};
    tcgetattr(slave, &settings);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B57600);
    tcsetattr(slave, TCSANOW, &settings);
    return true;
}

}  // namespace

bool PtyServer::addTwin(std::string& error) {
    return openPty(twinMaster_, twinSlave_, twinPath_, error);
}

bool PtyServer::createDevice(std::string& error) {
    if (!openPty(master_, slave_, devicePath_, error)) return false;
    if (linkPath_.empty()) return true;
    // Made beside the link and renamed over it, so the link never names nothing.
    std::error_code failure;
    const std::string fresh = linkPath_ + ".new";
    std::filesystem::remove(fresh, failure);
    std::filesystem::create_symlink(devicePath_, fresh, failure);
    if (!failure) std::filesystem::rename(fresh, linkPath_, failure);
    if (failure) {
        error = "cannot create the link " + linkPath_ + ": " + failure.message();
        return false;
    }
    return true;
}

void PtyServer::closeDevice() {
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
    slave_ = master_ = -1;
}

void PtyServer::reenumerate(Clock::time_point now) {
    closeDevice();
    std::error_code ignored;
    if (!linkPath_.empty()) std::filesystem::remove(linkPath_, ignored);
    outgoing_.clear();
    reappearAt_ = now + kReenumerationTime;
}

bool PtyServer::openParallelPipe(const std::string& path, std::string& error) {
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0) {
        if (!S_ISFIFO(existing.st_mode)) {
            error = path + " exists and is not a named pipe; not replacing it";
            return false;
        }
    } else if (mkfifo(path.c_str(), 0600) != 0) {
        error = "cannot create the pipe " + path + ": " + std::strerror(errno);
        return false;
    } else {
        createdPipe_ = path;
    }
    parallelIn_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (parallelIn_ >= 0)
        parallelKeepAlive_ = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (parallelIn_ < 0 || parallelKeepAlive_ < 0) {
        error = "cannot open the pipe " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void PtyServer::takeParallelInput() {
    char buffer[kReadChunk];
    ssize_t got;
    while ((got = read(parallelIn_, buffer, sizeof buffer)) > 0)
        controller_->receiveParallel(std::string_view(buffer, size_t(got)));
}

std::chrono::nanoseconds PtyServer::byteTime() const {
    return std::chrono::nanoseconds(10'000'000'000LL / controller_->uartBaud());
}

bool PtyServer::lineAgrees() const {
    termios settings{};
    if (tcgetattr(slave_, &settings) != 0) return true;
    const bool format = (settings.c_cflag & CSIZE) == CS8 &&
                        !(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS)) &&
                        !(settings.c_iflag & (IXON | IXOFF));
    return format && baudOf(cfgetospeed(&settings)) == controller_->uartBaud();
}

size_t PtyServer::pendingOutput() const {
    size_t pending = 0;
    for (const Outgoing& chunk : outgoing_) pending += chunk.bytes.size();
    return pending;
}

size_t PtyServer::nextPieceSize(Clock::time_point now) {
    if (pieceLimit_ == 0 || pendingOutput() > kBulkPieces * pieceLimit_) return SIZE_MAX;
    if (now < nextPieceAt_) return 0;
    if (paced_) return pieceLimit_;  // the pacing decides how much of it the wire brought
    pieceSeed_ = pieceSeed_ * 1103515245u + 12345u;
    return 1 + (pieceSeed_ >> 16) % pieceLimit_;
}

void PtyServer::takeInput(Clock::time_point now, int from) {
    size_t allowed = kReadChunk;
    if (paced_) {
        // A byte needs its 10 bit times on the wire. The loop wakes about every
        // millisecond, so a busy line may catch up on what it owes since the last wake;
        // an idle line gathers no more credit than that.
        inputFreeAt_ = std::max(inputFreeAt_, now - kLineCredit);
        if (inputFreeAt_ > now) return;
        allowed = std::min<size_t>(kReadChunk, size_t((now - inputFreeAt_) / byteTime()) + 1);
    }
    char buffer[kReadChunk];
    ssize_t got = read(from, buffer, allowed);
    if (got <= 0) return;
    if (paced_) inputFreeAt_ += got * byteTime();
    std::string bytes(buffer, size_t(got));
    FaultInjector::Inbound in;
    if (faults_) {
        in = faults_->receive(bytes);
        bytes = in.bytes;
    }
    controller_->receive(lineAgrees() ? bytes : garble(bytes));
    applyLineEvents(in, now);
}

void PtyServer::applyLineEvents(const FaultInjector::Inbound& in, Clock::time_point now) {
    if (in.stall) holdUntil_ = now + faults_->plan().stall;
    if (in.event == FaultInjector::LineEvent::kReset) {
        outgoing_.clear();
        controller_->powerCycle();
    }
    if (in.event == FaultInjector::LineEvent::kGone) closeLine();
}

void PtyServer::closeLine() {
    closeDevice();
    lineGone_ = true;
    outgoing_.clear();
}

void PtyServer::queueOutput(Clock::time_point now) {
    if (now < holdUntil_) return;
    const Millis at = std::chrono::duration_cast<Millis>(now.time_since_epoch());
    const bool idle = outgoing_.empty();
    while (auto chunk = controller_->takeDue(at))
        outgoing_.push_back(
            {faults_ ? faults_->send(chunk->bytes) : chunk->bytes, chunk->baudAfter});
    // An idle line gathers no more credit than kLineCredit. A busy one keeps what it is owed
    // when the loop wakes late on a loaded machine, so it still runs at its rate on average.
    if (idle && !outgoing_.empty()) outputFreeAt_ = std::max(outputFreeAt_, now - kLineCredit);
}

void PtyServer::sendOutput(Clock::time_point now) {
    size_t piece = nextPieceSize(now);
    while (!outgoing_.empty() && piece > 0) {
        Outgoing& head = outgoing_.front();
        size_t allowed = std::min(head.bytes.size(), piece);
        if (paced_) {
            if (outputFreeAt_ > now) return;
            allowed = std::min(allowed, size_t((now - outputFreeAt_) / byteTime()) + 1);
        }
        const bool mismatch = !lineAgrees();
        const std::string bytes = head.bytes.substr(0, allowed);
        ssize_t put = write(master_, mismatch ? garble(bytes).data() : bytes.data(), bytes.size());
        if (put <= 0) return;  // the program is not reading: the pty is full
        if (twinMaster_ >= 0 && write(twinMaster_, bytes.data(), size_t(put)) < 0) {
            // A twin nobody reads loses what it cannot take, as a wire would.
        }
        if (paced_) outputFreeAt_ += put * byteTime();
        if (pieceLimit_) nextPieceAt_ = now + kPieceGap;
        if (piece != SIZE_MAX) piece -= size_t(put);
        head.bytes.erase(0, size_t(put));
        if (!head.bytes.empty()) return;
        if (head.baudAfter) controller_->setUartBaud(head.baudAfter);
        if (head.baudAfter && faults_) faults_->noteRate(head.baudAfter);
        outgoing_.pop_front();
        if (outgoing_.empty())
            controller_->outputLeft(std::chrono::duration_cast<Millis>(now.time_since_epoch()));
    }
}

int PtyServer::pollTimeoutMs(Clock::time_point now) const {
    auto wait = std::chrono::milliseconds(kMaxPollMs);
    if (!outgoing_.empty()) wait = std::chrono::milliseconds(1);
    if (auto due = controller_->nextDue()) {
        const auto dueAt = std::max(Clock::time_point(*due), holdUntil_);
        wait = std::min(wait, std::chrono::ceil<std::chrono::milliseconds>(dueAt - now));
    }
    return int(std::max<long>(0, wait.count()));
}

void PtyServer::unplug(bool portGoes) {
    controller_ = nullptr;
    outgoing_.clear();
    holdUntil_ = {};
    if (!portGoes) return;
    closeDevice();
    std::error_code ignored;
    if (!linkPath_.empty()) std::filesystem::remove(linkPath_, ignored);
}

void PtyServer::plug(Controller& next) {
    controller_ = &next;
    lineGone_ = false;
    std::string error;
    if (master_ < 0 && !createDevice(error)) lineGone_ = true;  // the port cannot come back
}

void PtyServer::run(const std::atomic<bool>& stop, const std::function<void()>& between) {
    while (!stop) {
        if (between) between();
        if (!controller_ && master_ >= 0) {  // an empty line: what arrives is lost
            char buffer[kReadChunk];
            pollfd wait{master_, POLLIN, 0};
            if (poll(&wait, 1, kMaxPollMs) > 0 && read(master_, buffer, sizeof buffer) < 0)
                poll(nullptr, 0, kMaxPollMs);  // not readable after all: do not spin
            continue;
        }
        if (lineGone_ || !controller_) {  // nothing to serve but the stop
            poll(nullptr, 0, kMaxPollMs);
            continue;
        }
        Clock::time_point now = Clock::now();
        if (reappearAt_ && now >= *reappearAt_) {
            std::string error;
            reappearAt_.reset();
            if (!createDevice(error)) return;  // the device cannot come back
        }
        const bool inputAllowed = !paced_ || inputFreeAt_ <= now;
        pollfd wait[3] = {{master_, short(inputAllowed ? POLLIN : 0), 0},
                          {parallelIn_, POLLIN, 0},  // a negative descriptor is skipped
                          {twinMaster_, short(inputAllowed ? POLLIN : 0), 0}};
        int timeout = pollTimeoutMs(now);
        if (!inputAllowed) timeout = std::min(timeout, 1);
        poll(wait, 3, timeout);
        now = Clock::now();
        if (wait[0].revents & POLLIN) takeInput(now, master_);
        if (wait[2].revents & POLLIN && !lineGone_) takeInput(now, twinMaster_);
        if (lineGone_) continue;
        if (wait[1].revents & POLLIN) takeParallelInput();
        if (controller_->takeReenumeration()) reenumerate(now);
        queueOutput(now);
        if (master_ >= 0)
            sendOutput(now);
        else
            outgoing_.clear();  // nobody is there to receive it
    }
}

}  // namespace tarmix::sim
