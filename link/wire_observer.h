// Sees every byte that crosses the serial line, with the time it crossed. The wire trace
// of the command line and the tests hang on this.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/clock.h"

namespace tarmix {

class WireObserver {
  public:
    virtual ~WireObserver() = default;
    virtual void onSent(Millis at, const uint8_t* data, size_t count) = 0;
    virtual void onReceived(Millis at, const uint8_t* data, size_t count) = 0;
};

}  // namespace tarmix
