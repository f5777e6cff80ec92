// Timers of the main window. The window's toolkit runs them (QTimer); the console front end
// runs a small loop; tests tick by hand. A timer with an id replaces an earlier one with
// the same id.
#pragma once

#include "platform/clock.h"

namespace tarmix {

class TimerHost {
  public:
    virtual ~TimerHost() = default;
    virtual void start(int id, Millis period) = 0;
    virtual void stop(int id) = 0;
};

}  // namespace tarmix
