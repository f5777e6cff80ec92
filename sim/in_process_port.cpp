#include "sim/in_process_port.h"

#include <unistd.h>

#include <algorithm>

#include "sim/uart.h"

namespace tarmix::sim {

bool InProcessPort::open(const std::string& name) {
    if (refused_.count(name) || lineGone_) return false;
    open_ = true;
    received_.clear();
    return true;
}

bool InProcessPort::configure(uint32_t baud) {
    if (!open_ || lineGone_) return false;
    portBaud_ = baud;
    received_.clear();
    return true;
}

void InProcessPort::takeParallelInput() {
    if (parallelIn_ < 0) return;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(parallelIn_, buffer, sizeof buffer)) > 0)
        controller_.receiveParallel(std::string_view(buffer, size_t(got)));
}

void InProcessPort::collectDueOutput() {
    takeParallelInput();
    if (clock_.now() < holdUntil_) return;
    while (auto chunk = controller_.takeDue(clock_.now())) {
        const std::string sent = faults_ ? faults_->send(chunk->bytes) : chunk->bytes;
        const std::string bytes = portBaud_ == controller_.uartBaud() ? sent : garble(sent);
        received_.insert(received_.end(), bytes.begin(), bytes.end());
        if (!chunk->baudAfter) continue;
        controller_.setUartBaud(chunk->baudAfter);
        if (faults_) faults_->noteRate(chunk->baudAfter);
    }
}

long InProcessPort::bytesWaiting() {
    if (!open_ || lineGone_) return -1;
    collectDueOutput();
    return long(received_.size());
}

long InProcessPort::read(uint8_t* data, size_t capacity) {
    if (!open_ || lineGone_) return -1;
    size_t count = std::min(capacity, received_.size());
    std::copy_n(received_.begin(), count, data);
    received_.erase(received_.begin(), received_.begin() + long(count));
    return long(count);
}

long InProcessPort::write(const uint8_t* data, size_t count, Millis) {
    if (!open_ || lineGone_) return -1;
    takeParallelInput();
    std::string bytes(reinterpret_cast<const char*>(data), count);
    FaultInjector::Inbound in;
    if (faults_) {
        in = faults_->receive(bytes);
        bytes = in.bytes;
    }
    controller_.receive(portBaud_ == controller_.uartBaud() ? bytes : garble(bytes));
    applyLineEvents(in);
    return long(count);
}

void InProcessPort::applyLineEvents(const FaultInjector::Inbound& in) {
    if (in.stall) holdUntil_ = clock_.now() + faults_->plan().stall;
    if (in.event == FaultInjector::LineEvent::kReset) controller_.powerCycle();
    if (in.event == FaultInjector::LineEvent::kGone) {
        lineGone_ = true;
        received_.clear();
    }
}

void InProcessPort::waitForInput(Millis timeout) {
    const size_t before = received_.size();
    collectDueOutput();
    if (received_.size() > before) return;
    const Millis now = clock_.now();
    if (lineGone_) return clock_.sleep(timeout);
    if (now < holdUntil_) {
        clock_.sleep(std::min(holdUntil_ - now, timeout));
        return;
    }
    const auto next = controller_.nextDue();
    clock_.sleep(next && *next - now < timeout ? std::max(*next - now, Millis{0}) : timeout);
}

}  // namespace tarmix::sim
