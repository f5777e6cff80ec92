// The capability record: 5 to 10 numbers the monitor keeps about the controller's
// configuration. "tell caps" prints it, "init caps" replaces it whole. The program never
// builds a record from nothing: every change reads it, changes one value and sends all
// values back, as many as were read.
//
//   value 1  decimal  sent back unchanged
//   value 2  hex      EEPROM data length (cleared by an application download)
//   value 3  hex      EEPROM end address
//   value 4  decimal  real-time clock flag
//   5..10    decimal  sent back unchanged
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/monitor_exchange.h"

namespace tarmix {

inline constexpr size_t kMinCapabilityValues = 5;
inline constexpr size_t kMaxCapabilityValues = 10;

// The values of a "tell caps" answer (which starts with the 11-character echo), read with
// value 1 decimal, values 2 and 3 hexadecimal, the rest decimal; at most ten. Fewer than
// five values: nullopt, the record is unusable.
std::optional<std::vector<int>> ParseCapabilities(const std::string& answer);

// "init caps %d %04x %04x %d %d" with one more " %d" per value beyond the fifth.
std::string FormatInitCaps(const std::vector<int>& values);

// Reads the record (one receive of `capacity` characters lasting the full 100 ms, scaled),
// replaces value `index` (1-based) with `value` and sends the record back; the answer to
// "init caps" is not read. Returns false, sending nothing, when the record is unusable.
bool RewriteCapability(MonitorExchange& monitor, size_t capacity, size_t index, int value);

}  // namespace tarmix
