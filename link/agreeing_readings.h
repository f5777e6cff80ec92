// Answers that carry no checksum (the monitor version, the capability record, listings)
// count only once two readings agree: a byte the line changed makes its reading differ from
// the others, and two faults that change two readings alike are far rarer than one.
#pragma once

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace tarmix {

// Takes readings from `read` (nullopt: a reading that failed) until one equals an earlier
// one, which it returns; at most `limit` readings, then nullopt.
template <typename Read>
auto FirstAgreeingReading(int limit, Read read) -> decltype(read()) {
    std::vector<typename decltype(read())::value_type> readings;
    for (int reading = 0; reading < limit; ++reading) {
        auto next = read();
        if (!next) continue;
        if (std::find(readings.begin(), readings.end(), *next) != readings.end()) return next;
        readings.push_back(std::move(*next));
    }
    return std::nullopt;
}

}  // namespace tarmix
