#include "link/serial.h"

#include <algorithm>
#include <vector>

namespace tarmix {

CSerial::CSerial(PortFactory factory, Clock& clock) : factory_(std::move(factory)), clock_(clock) {}

CSerial::~CSerial() {
    portName_.clear();
    Close();
    usbAdapter = 0;
}

int CSerial::Open(const std::string& name) {
    Close();
    std::unique_ptr<PortBackend> port = factory_();
    openFailure_ = OpenFailure::Other;
    if (!port) return 1;
    const bool opened = port->open(name);
    openFailure_ = port->openFailure();
    if (!opened) return 1;
    port_ = std::move(port);
    portName_ = name;
    return 0;
}

int CSerial::Configure(uint32_t baud) {
    if (!IsOpen()) return 1;
    return port_->configure(baud) ? 0 : 1;
}

int CSerial::Close() {
    if (port_) port_->close();
    port_.reset();
    return 0;
}

int CSerial::DrainInput() {
    if (!IsOpen()) return 1;
    long waiting = port_->bytesWaiting();
    if (waiting <= 0) return waiting < 0 ? 1 : 0;
    std::vector<uint8_t> scratch(std::min<size_t>(size_t(waiting), kDrainLimit));
    size_t got = 0;
    return ReadWaiting(scratch.data(), scratch.size(), got);
}

int CSerial::WriteText(const std::string& text) {
    return WriteBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

int CSerial::WriteBytes(const uint8_t* data, size_t count) {
    if (!IsOpen()) return 1;
    long written = count ? port_->write(data, count, kWriteTimeout) : 0;
    if (observer_ && written > 0) observer_->onSent(clock_.now(), data, size_t(written));
    return written == long(count) ? 0 : 1;
}

int CSerial::SendLine(const std::string& text) {
    std::string line = text.substr(0, kMaxLineLength);
    line += '\r';
    return WriteText(line);
}

long CSerial::WaitForBytes(size_t capacity, size_t minimum, Millis timeout) {
    // The driver is looked at every poll period, for whole periods (at least one); what the
    // last look saw is what the call returns. The call returns earlier, as soon as enough
    // bytes are there: waiting wakes on arriving bytes instead of sleeping blindly.
    const long periods =
        std::max<long>(1, (timeout.count() + kPollPeriod.count() - 1) / kPollPeriod.count());
    const Millis start = clock_.now();
    const Millis deadline = start + periods * kPollPeriod;
    Millis nextLook = start;
    size_t seen = 0;
    for (;;) {
        const long waiting = port_->bytesWaiting();
        if (waiting < 0) return -1;
        const size_t ready = std::min(size_t(waiting), capacity);
        const Millis now = clock_.now();
        if (ready >= minimum) return long(ready);
        if (now >= deadline) return long(seen);
        if (now >= nextLook) {
            seen = ready;
            nextLook += kPollPeriod * ((now - nextLook) / kPollPeriod + 1);
        }
        port_->waitForInput(std::min(nextLook, deadline) - now);
    }
}

int CSerial::ReadWaiting(uint8_t* buffer, size_t count, size_t& got) {
    got = 0;
    while (got < count) {
        long n = port_->read(buffer + got, count - got);
        if (n <= 0) break;
        got += size_t(n);
    }
    if (observer_ && got) observer_->onReceived(clock_.now(), buffer, got);
    return got == count ? 0 : 1;
}

int CSerial::ReceiveBytes(uint8_t* buffer, size_t capacity, size_t& count, size_t minimum,
                          Millis timeout) {
    count = 0;
    if (!IsOpen()) return 1;
    long ready = WaitForBytes(capacity, minimum, timeout);
    if (ready < 0) return 1;
    if (ready == 0) {
        if (capacity) buffer[0] = 0;
        return 0;
    }
    int result = ReadWaiting(buffer, size_t(ready), count);
    if (count < capacity) buffer[count] = 0;
    return result;
}

int CSerial::ReceiveMore(std::string& received, size_t capacity, Millis deadline) {
    if (!IsOpen()) return 1;
    long waiting = 0;
    for (;;) {
        waiting = port_->bytesWaiting();
        if (waiting < 0) return 1;
        const Millis now = clock_.now();
        if (waiting > 0 || now >= deadline) break;
        port_->waitForInput(deadline - now);
    }
    const size_t count = std::min(size_t(waiting), capacity);
    if (count == 0) return 0;
    const size_t before = received.size();
    received.resize(before + count);
    size_t got = 0;
    const int result =
        ReadWaiting(reinterpret_cast<uint8_t*>(received.data() + before), count, got);
    received.resize(before + got);
    return result;
}

int CSerial::ReceiveText(std::string& received, size_t capacity, size_t minimum, Millis timeout) {
    received.clear();
    if (!IsOpen()) return 1;
    received.resize(capacity);
    size_t count = 0;
    int result = ReceiveBytes(reinterpret_cast<uint8_t*>(received.data()), capacity, count, minimum,
                              timeout);
    received.resize(count);
    return result;
}

}  // namespace tarmix
