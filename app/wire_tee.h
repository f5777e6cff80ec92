// Passes every byte of the serial link to two observers (a --trace file and a front end's
// own record of the last operation); either may be nullptr.
#pragma once

#include "link/wire_observer.h"

namespace tarmix {

class WireTee final : public WireObserver {
  public:
    WireTee(WireObserver* first, WireObserver* second) : first_(first), second_(second) {}
    void onSent(Millis at, const uint8_t* data, size_t count) override {
        for (WireObserver* observer : {first_, second_})
            if (observer) observer->onSent(at, data, count);
    }
    void onReceived(Millis at, const uint8_t* data, size_t count) override {
        for (WireObserver* observer : {first_, second_})
            if (observer) observer->onReceived(at, data, count);
    }

  private:
    WireObserver* first_;
    WireObserver* second_;
};

}  // namespace tarmix
