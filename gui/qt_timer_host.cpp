#include "gui/qt_timer_host.h"

namespace tarmix::gui {

QtTimerHost::QtTimerHost(Tick tick, Gate holdTicks)
    : tick_(std::move(tick)), holdTicks_(std::move(holdTicks)) {}

QtTimerHost::~QtTimerHost() = default;

void QtTimerHost::start(int id, Millis period) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] { deliver(id); });
    }
    timer->start(static_cast<int>(period.count()));
}

void QtTimerHost::stop(int id) {
    const auto timer = timers_.find(id);
    if (timer != timers_.end()) timer->second->stop();
}

bool QtTimerHost::isRunning(int id) const {
    const auto timer = timers_.find(id);
    return timer != timers_.end() && timer->second->isActive();
}

void QtTimerHost::deliver(int id) {
    if (ticking_ || (holdTicks_ && holdTicks_())) return;
    ticking_ = true;
    tick_(id);
    ticking_ = false;
}

}  // namespace tarmix::gui
