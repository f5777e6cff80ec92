// The real port: a tty opened through termios. Works the same on serial adapters, UARTs and
// pseudo-terminals.
#pragma once

#include <deque>

#include "platform/port_backend.h"
#include "platform/port_map.h"

namespace tarmix {

class TermiosPort final : public PortBackend {
  public:
    explicit TermiosPort(PortMap map) : map_(std::move(map)) {}
    ~TermiosPort() override { close(); }
    TermiosPort(const TermiosPort&) = delete;
    TermiosPort& operator=(const TermiosPort&) = delete;

    bool open(const std::string& name) override;
    OpenFailure openFailure() const override { return openFailure_; }
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    bool configure(uint32_t baud) override;
    long bytesWaiting() override;
    long read(uint8_t* data, size_t capacity) override;
    long write(const uint8_t* data, size_t count, Millis timeout) override;
    void waitForInput(Millis timeout) override;

  private:
    // Moves what the kernel holds into the receive queue; false once the device failed.
    bool pullFromDevice();

    PortMap map_;
    int fd_ = -1;
    bool failed_ = false;
    OpenFailure openFailure_ = OpenFailure::None;
    // Bytes taken from the kernel and not yet read by the caller: the driver's queue.
    std::deque<uint8_t> received_;
};

PortFactory termiosPortFactory(const PortMap& map);

// Whether the device at `path` could be opened as the link opens it now (exclusively; it
// is opened and closed again); None when it could.
OpenFailure ProbeSerialPath(const std::string& path);

// Why an open failed, from its errno.
OpenFailure OpenFailureOf(int error);

}  // namespace tarmix
