// CSerial: the one byte pipe between the PC and the controller's boot monitor.
//
// Every operation returns 0 on success and 1 on failure; on a closed port every operation
// fails at once and does nothing else. The class knows nothing of the monitor's protocol.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "link/wire_observer.h"
#include "platform/clock.h"
#include "platform/port_backend.h"

namespace tarmix {

class CSerial {
  public:
    // The device link always starts at this rate; higher rates are reached by asking the
    // monitor to switch.
    static constexpr uint32_t kLinkBaud = 57600;
    // A command line carries at most this many characters before its carriage return.
    static constexpr size_t kMaxLineLength = 298;
    // How long a write may wait for the device to take the bytes.
    static constexpr Millis kWriteTimeout{1000};
    // Polling period of the receive loop; a wait lasts whole periods.
    static constexpr Millis kPollPeriod{50};
    // DrainInput throws away at most this many bytes in its single read.
    static constexpr size_t kDrainLimit = 5000;

    CSerial(PortFactory factory, Clock& clock);
    virtual ~CSerial();
    CSerial(const CSerial&) = delete;
    CSerial& operator=(const CSerial&) = delete;

    // Closes first if open. Opens the named port (or device path) exclusively.
    // Failure: 1, port closed, portName unchanged. Success: portName = name, 0.
    int Open(const std::string& name);
    // Why the last Open failed (None after a good one).
    OpenFailure LastOpenFailure() const { return openFailure_; }
    // Raw 8N1 at `baud`, DTR/RTS asserted, no flow control, both directions purged.
    int Configure(uint32_t baud);
    // Always 0. portName stays set so the same port can be reopened.
    int Close();
    // Reads and discards what is waiting, at most kDrainLimit bytes; the rest stays queued.
    int DrainInput();

    // Writes the characters as bytes (one byte each). 1 unless all of them went out.
    int WriteText(const std::string& text);
    int WriteBytes(const uint8_t* data, size_t count);
    // At most kMaxLineLength characters of `text`, then one CR (no LF).
    int SendLine(const std::string& text);

    // Waits until `minimum` bytes are waiting or `timeout` has passed (in whole poll periods,
    // at least one), then reads what the last look saw, at most `capacity` bytes, into
    // `received` (replacing its contents). Returns as soon as `minimum` bytes are there.
    // A short answer is not an error: 1 only when reading fails (then `received` holds what
    // was read before the failure).
    int ReceiveText(std::string& received, size_t capacity, size_t minimum, Millis timeout);
    int ReceiveBytes(uint8_t* buffer, size_t capacity, size_t& count, size_t minimum,
                     Millis timeout);
    // Waits until at least one byte is waiting or the clock reaches `deadline` (exactly, not
    // in poll periods), then appends what is waiting, at most `capacity` bytes, to
    // `received`. 1 only when reading fails.
    int ReceiveMore(std::string& received, size_t capacity, Millis deadline);

    bool IsOpen() const { return port_ && port_->isOpen(); }
    const std::string& portName() const { return portName_; }
    Clock& clock() { return clock_; }
    void setObserver(WireObserver* observer) { observer_ = observer; }

    // Set by the connection watch for the models that reach the PC through a USB adapter;
    // the terminal reads it.
    int32_t usbAdapter = 0;

  private:
    // Number of bytes ready to read once `minimum` are there or the wait is over; -1 on error.
    long WaitForBytes(size_t capacity, size_t minimum, Millis timeout);
    int ReadWaiting(uint8_t* buffer, size_t count, size_t& got);

    PortFactory factory_;
    Clock& clock_;
    std::unique_ptr<PortBackend> port_;
    std::string portName_;
    OpenFailure openFailure_ = OpenFailure::None;
    WireObserver* observer_ = nullptr;
};

}  // namespace tarmix
