// What a UART makes of bytes sent at another rate than its own: garbage. Both directions
// are garbled while the program's port and the monitor disagree on the rate, so nothing
// sent at the wrong rate can pass for a command or an answer.
#pragma once

#include <cstdint>
#include <string>

namespace tarmix::sim {

inline constexpr uint32_t kMonitorStartBaud = 57600;

// Garbled bytes never contain CR or printable ASCII.
inline std::string garble(std::string bytes) {
    for (char& c : bytes) c = static_cast<char>(static_cast<uint8_t>(c) | 0x80);
    return bytes;
}

}  // namespace tarmix::sim
