// CParallel: the parallel port LPT1, opened and written like a file. Some controllers take
// monitor command lines and block data from it while they keep answering on the serial
// line. Every operation returns 0 on success and 1 on failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/port_backend.h"
#include "platform/port_map.h"

namespace tarmix {

class CParallel {
  public:
    // Data go to the port in pieces of at most this many bytes per write.
    static constexpr size_t kWritePiece = 1900;
    // How long one piece may wait for the port to take it.
    static constexpr Millis kWriteTimeout{5000};
    // A printer port may report "ready" at once and still take nothing: the wait between two
    // such writes, so that it is not a busy loop.
    static constexpr Millis kRefusedPause{10};

    explicit CParallel(PortMap map, Clock& clock = systemClock())
        : map_(std::move(map)), clock_(clock) {}
    virtual ~CParallel();
    CParallel(const CParallel&) = delete;
    CParallel& operator=(const CParallel&) = delete;

    // Closes first; stores the name; opens the device ("LPT1" or a path) exclusively.
    int Open(const std::string& name);
    int Close();
    bool IsOpen() const { return fd_ >= 0; }
    // Why the last Open failed; None after a successful one.
    OpenFailure openFailure() const { return openFailure_; }
    const std::string& portName() const { return portName_; }

    int WriteText(const std::string& text);
    int WriteBytes(const uint8_t* data, size_t count);
    // At most 298 characters of the text, then one CR.
    int SendLine(const std::string& text);

  protected:
    // The device calls, replaced in tests by a port that stops taking bytes.
    // Bytes the device took (0 when it would block), or -1 on an error.
    virtual long writeSome(const uint8_t* data, size_t count);
    // Waits up to `timeout` for the device to take bytes; false when it reported nothing.
    virtual bool waitWritable(Millis timeout);

  private:
    // One piece: every wait on it ends by the clock, whatever the device reports.
    int WritePiece(const uint8_t* data, size_t count);

    PortMap map_;
    Clock& clock_;
    std::string portName_;
    int fd_ = -1;
    OpenFailure openFailure_ = OpenFailure::None;
};

}  // namespace tarmix
