// The wire trace: every byte each way with its time, as readable text. One line per burst:
//   "    12.345 PC> please answer me\r"
//   "    12.391 <DV please answer me\r\nhere I am : ALDER    200000\r\nBoot> "
// Control and non-ASCII bytes are written as C escapes (\r, \n, \xNN).
#pragma once

#include <ostream>
#include <string>

#include "link/wire_observer.h"

namespace tarmix {

// Bytes as C-escaped text.
std::string EscapeBytes(const uint8_t* data, size_t count);
std::string EscapeBytes(const std::string& bytes);

class WireTrace final : public WireObserver {
  public:
    // Times are written relative to `origin`.
    WireTrace(std::ostream& out, Millis origin) : out_(out), origin_(origin) {}

    void onSent(Millis at, const uint8_t* data, size_t count) override;
    void onReceived(Millis at, const uint8_t* data, size_t count) override;

  private:
    void write(Millis at, const char* direction, const uint8_t* data, size_t count);

    std::ostream& out_;
    Millis origin_;
};

}  // namespace tarmix
