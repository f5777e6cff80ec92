// Bulk work runs at the rate the operator chose; the link rests at 57600. Both ends change
// together: the monitor confirms "setbaudrate" at the old rate and switches, then the PC
// reopens its port at the new rate. Nothing is retried; a refused change leaves the PC at
// its rate and says so once.
#pragma once

#include <cstdint>

#include "link/monitor_exchange.h"
#include "platform/view.h"

namespace tarmix {

class BaudSwitch {
  public:
    BaudSwitch(MonitorExchange& monitor, View& view, uint32_t baudRate)
        : monitor_(monitor), view_(view), baudRate_(baudRate) {}

    // Raises the link to the chosen rate; does nothing when that is 57600 (or not a rate
    // the link knows). Ends with an empty line so the monitor answers at the new rate.
    void RaiseBaudRate();
    // Back to 57600; does nothing when the chosen rate is 57600. true when the PC's port
    // is at 57600 afterwards (the monitor confirmed, or nothing was raised).
    bool RestoreBaudRate();

  private:
    bool raisable() const { return baudRate_ == 115200 || baudRate_ == 230400; }
    // Sends "setbaudrate RATE" and checks the confirmation; says so when it is refused.
    enum class Outcome { Confirmed, Refused, LinkFailed };
    Outcome askForRate(uint32_t rate);
    void reopenAt(uint32_t rate);

    MonitorExchange& monitor_;
    View& view_;
    uint32_t baudRate_;
};

// Raises the rate for its lifetime: every way out of a bulk operation restores it.
class RaisedBaudRate {
  public:
    explicit RaisedBaudRate(BaudSwitch& baud) : baud_(baud) { baud_.RaiseBaudRate(); }
    ~RaisedBaudRate() { baud_.RestoreBaudRate(); }
    RaisedBaudRate(const RaisedBaudRate&) = delete;
    RaisedBaudRate& operator=(const RaisedBaudRate&) = delete;

  private:
    BaudSwitch& baud_;
};

}  // namespace tarmix
