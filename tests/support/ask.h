// A question to the monitor for tests that identify a controller by hand: what it answers
// within 100 ms.
#pragma once

#include <string>

#include "link/monitor_exchange.h"

namespace tarmix::testing {

inline std::string Ask(MonitorExchange& monitor, const std::string& command) {
    std::string answer;
    monitor.CollectAnswer(command, answer, 999, Wait::Fixed(Millis{100}));
    return answer;
}

}  // namespace tarmix::testing
