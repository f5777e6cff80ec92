// Answers that carry no checksum (the monitor version, the capability record, listings)
// count only once two readings agree: a byte the line changed makes its reading differ from
// the others, and two faults that change two readings alike are far rarer than one.
#pragma once

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace tarmix {

// Takes readings from `read` (nullopt: a reading that failed) until `needed` of them are
// equal, and returns that reading; at most `limit` readings, then nullopt.
template <typename Read>
auto FirstAgreeingReading(int limit, Read read, int needed = 2) -> decltype(read()) {
    std::vector<typename decltype(read())::value_type> readings;
    for (int reading = 0; reading < limit; ++reading) {
        auto next = read();
        if (!next) continue;
        readings.push_back(*next);
        if (std::count(readings.begin(), readings.end(), *next) >= needed) return next;
    }
    return std::nullopt;
}

}  // namespace tarmix
