// The wire trace of the operation in progress, kept so that a failed console run can leave
// it behind for whoever looks into the failure.
//
// Only the last part of the trace is held (a download of megabytes would otherwise keep
// all of its bytes, several times over, in memory). A failed run writes it into the user's
// state folder as a new file of its own; only the newest few are kept there.
#pragma once

#include <deque>
#include <filesystem>
#include <sstream>
#include <string>

#include "link/wire_trace.h"

namespace tarmix {

// How many saved traces stay in the folder; older ones are removed as new ones arrive.
inline constexpr size_t kTracesKept = 5;

// $XDG_STATE_HOME/tarmix, else ~/.local/state/tarmix.
std::filesystem::path TraceFolder();

class OperationTrace final : public WireObserver {
  public:
    // The end of the trace that is kept; older lines are dropped.
    static constexpr size_t kTailBytes = 256 * 1024;

    explicit OperationTrace(Millis origin) : trace_(line_, origin) {}

    void onSent(Millis at, const uint8_t* data, size_t count) override;
    void onReceived(Millis at, const uint8_t* data, size_t count) override;

    // A new operation begins: what is kept so far is dropped.
    void clear();
    // The kept trace; begins with a note when lines were dropped.
    std::string text() const;

  private:
    void keepLine();

    // One line per burst, held apart so that the oldest can go without copying the rest.
    std::ostringstream line_;
    WireTrace trace_;
    std::deque<std::string> lines_;
    size_t bytes_ = 0;
    bool cut_ = false;
};

// Writes `trace` into a new file in `folder` (made if missing, for the user alone) and
// removes all but the newest kTracesKept traces there. The file is created exclusively and
// never through a symlink. Returns its path; empty with `error` set when it failed.
std::filesystem::path SaveTrace(const std::filesystem::path& folder, const std::string& trace,
                                std::string& error);

}  // namespace tarmix
