// Turns "so many bytes of so many done" into what people watching a transfer want to know:
// the rate and the time left. The window's status line, the console's progress bar and the
// JSON events all show the same figures from here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"

namespace tarmix {

struct TransferFigures {
    uint64_t done = 0;
    uint64_t total = 0;
    double bytesPerSecond = 0;          // since the transfer began; 0 until time has passed
    std::optional<double> secondsLeft;  // unknown until a rate is known
};

class TransferMeter {
  public:
    // `done` of `total` bytes at `now`. Another total, or fewer bytes done than before,
    // begins a new transfer.
    void update(uint64_t done, uint64_t total, Millis now);
    void reset() { figures_.reset(); }

    // The figures of the current transfer; nothing before the first update.
    const std::optional<TransferFigures>& figures() const { return figures_; }
    // Bytes are still to come.
    bool running() const { return figures_ && figures_->done < figures_->total; }

  private:
    std::optional<TransferFigures> figures_;
    Millis began_{0};
    uint64_t doneAtBegin_ = 0;
};

// "48.0 of 64.0 KiB, 11.2 KiB/s, 0:02 left" (the time left only once it is known).
std::string DescribeTransfer(const TransferFigures& figures);

}  // namespace tarmix
