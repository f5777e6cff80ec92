// A port that leads straight into a simulated controller, without a pty, on any clock:
// the protocol tests run on the virtual clock, fast and deterministic. With a fault
// injector between them the line is as bad as the pty server's: the same seed brings the
// same faults at the same bytes.
#pragma once

#include <deque>
#include <set>

#include "platform/port_backend.h"
#include "sim/controller.h"
#include "sim/fault_injector.h"
#include "sim/uart.h"

namespace tarmix::sim {

class InProcessPort final : public PortBackend {
  public:
    InProcessPort(Controller& controller, Clock& clock) : controller_(controller), clock_(clock) {}

    // Names that refuse to open, as a port that does not exist or is in use.
    void refuseOpen(const std::string& name) { refused_.insert(name); }
    // The bad line between the port and the controller (nullptr: a clean line).
    void setFaults(FaultInjector* faults) { faults_ = faults; }
    // The read end of the pipe the program writes as its parallel port (-1: none). What it
    // holds reaches the monitor's parallel input before the serial line is next served, so
    // the order in which the program wrote to the two ports is kept.
    void setParallelInput(int fd) { parallelIn_ = fd; }

    bool open(const std::string& name) override;
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool configure(uint32_t baud) override;
    long bytesWaiting() override;
    long read(uint8_t* data, size_t capacity) override;
    long write(const uint8_t* data, size_t count, Millis timeout) override;
    void waitForInput(Millis timeout) override;

  private:
    void collectDueOutput();
    void takeParallelInput();
    // What the injector decided for input that has just reached the monitor.
    void applyLineEvents(const FaultInjector::Inbound& in);

    Controller& controller_;
    Clock& clock_;
    std::set<std::string> refused_;
    bool open_ = false;
    uint32_t portBaud_ = kMonitorStartBaud;
    std::deque<uint8_t> received_;
    FaultInjector* faults_ = nullptr;
    Millis holdUntil_{0};    // a stalled device says nothing until then
    bool lineGone_ = false;  // for good: a fault took the line away
    int parallelIn_ = -1;
};

}  // namespace tarmix::sim
