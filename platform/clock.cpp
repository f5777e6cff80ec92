#include "platform/clock.h"

#include <thread>

namespace tarmix {

Millis SteadyClock::now() const {
    return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyClock::sleep(Millis duration) {
    if (duration.count() > 0) std::this_thread::sleep_for(duration);
}

Clock& systemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace tarmix
