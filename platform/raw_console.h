// The user's terminal in raw mode for the console terminal: every key arrives as it is
// typed, nothing is echoed or translated, and Ctrl-C, Ctrl-Z and Ctrl-\ are bytes like any
// other instead of signals. The settings found at the start are put back when the object
// ends, and at once when SIGTERM, SIGHUP, SIGINT or SIGQUIT arrives (the handler also
// records the signal, so the program can end its own way).
#pragma once

#include <termios.h>

#include <atomic>

namespace tarmix {

class RawConsole {
  public:
    // Raw mode on `fd` when it is a terminal; otherwise nothing changes. The signals above
    // store their number in `stopSignal` while this object lives.
    RawConsole(int fd, std::atomic<int>& stopSignal);
    ~RawConsole();
    RawConsole(const RawConsole&) = delete;
    RawConsole& operator=(const RawConsole&) = delete;

    // The terminal is in raw mode.
    bool active() const { return active_; }

  private:
    int fd_;
    bool active_ = false;
    termios saved_{};
};

}  // namespace tarmix
