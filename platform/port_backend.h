// The byte pipe under CSerial: a serial device opened by name. The real one is a termios
// tty (pseudo-terminals included); tests put an in-process peer in its place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/clock.h"

namespace tarmix {

// Why the last open failed, so the user can be told how to fix it.
enum class OpenFailure {
    None,
    NotListed,     // the port name stands for no device
    Missing,       // the device path does not exist
    NoPermission,  // the user may not open the device
    InUse,         // another program holds the port
    NotATerminal,  // the path is not a serial device
    Other,
};

class PortBackend {
  public:
    virtual ~PortBackend() = default;

    // Opens the device for exclusive reading and writing; false when it cannot be opened.
    // The name is a port name ("COM3", "LPT1") or a device path.
    virtual bool open(const std::string& name) = 0;
    // Why the last open() failed; None after a good one.
    virtual OpenFailure openFailure() const { return OpenFailure::None; }
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Raw 8N1 at `baud`, DTR and RTS asserted, no flow control; both queues purged.
    // false when the device refuses the settings.
    virtual bool configure(uint32_t baud) = 0;

    // Bytes received and not yet read; -1 when the device has failed (peer gone, I/O error).
    virtual long bytesWaiting() = 0;

    // Reads up to `capacity` received bytes without waiting. The count read, or -1 on error.
    virtual long read(uint8_t* data, size_t capacity) = 0;

    // Writes `count` bytes, waiting at most `timeout` for the device to take them.
    // The count actually written (short on time-out), or -1 on error.
    virtual long write(const uint8_t* data, size_t count, Millis timeout) = 0;

    // Returns when more bytes have arrived than bytesWaiting() last reported, when the
    // device fails, or after `timeout`, whichever comes first.
    virtual void waitForInput(Millis timeout) = 0;
};

using PortFactory = std::function<std::unique_ptr<PortBackend>()>;

}  // namespace tarmix
