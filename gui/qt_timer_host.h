// The main window's timers on QTimer.
//
// A tick is delivered to the controller only when the window allows it: never while a
// device operation is in progress, nor while one of its message boxes, questions or file
// dialogs is open (their event loops would otherwise let the connection watch talk to the
// controller in the middle of a transfer). A tick that arrives then is dropped; the timers
// are periodic, so the next one comes soon enough. A tick never runs inside another tick.
#pragma once

#include <QTimer>
#include <functional>
#include <map>
#include <memory>

#include "app/window/timer_host.h"

namespace tarmix::gui {

class QtTimerHost final : public TimerHost {
  public:
    using Tick = std::function<void(int id)>;
    using Gate = std::function<bool()>;  // true while ticks must be held back

    QtTimerHost(Tick tick, Gate holdTicks);
    ~QtTimerHost() override;

    void start(int id, Millis period) override;
    void stop(int id) override;

    bool isRunning(int id) const;

  private:
    void deliver(int id);

    Tick tick_;
    Gate holdTicks_;
    bool ticking_ = false;
    std::map<int, std::unique_ptr<QTimer>> timers_;
};

}  // namespace tarmix::gui
