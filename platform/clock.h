// Time for everything that waits on the controller. The real clock sleeps; the virtual
// clock used in tests only moves its hands, so a 60-second silence costs nothing.
#pragma once

#include <chrono>
#include <cstdint>

namespace tarmix {

using Millis = std::chrono::milliseconds;

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary, fixed origin.
    virtual Millis now() const = 0;
    virtual void sleep(Millis duration) = 0;
};

class SteadyClock final : public Clock {
  public:
    Millis now() const override;
    void sleep(Millis duration) override;
};

// A clock that advances only when someone sleeps on it (or calls advance).
class VirtualClock final : public Clock {
  public:
    Millis now() const override { return now_; }
    void sleep(Millis duration) override { advance(duration); }
    void advance(Millis duration) {
        if (duration.count() > 0) now_ += duration;
    }

  private:
    Millis now_{0};
};

// The clock of the running program.
Clock& systemClock();

}  // namespace tarmix
