#include "platform/raw_console.h"

#include <signal.h>
#include <unistd.h>

#include <array>

namespace tarmix {

namespace {

constexpr std::array<int, 4> kStopSignals = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};

// What the signal handler needs; one raw console lives at a time.
int restoreFd = -1;
termios restoreSettings{};
std::atomic<int>* stopFlag = nullptr;
std::array<struct sigaction, kStopSignals.size()> previous{};

void onStopSignal(int signal) {
    // tcsetattr is async-signal-safe: the terminal is given back even if the program
    // never reaches its own way out.
    if (restoreFd >= 0) tcsetattr(restoreFd, TCSAFLUSH, &restoreSettings);
    if (stopFlag) stopFlag->store(signal);
}

}  // namespace

RawConsole::RawConsole(int fd, std::atomic<int>& stopSignal) : fd_(fd) {
    stopFlag = &stopSignal;
    struct sigaction action {};
    action.sa_handler = onStopSignal;  // no SA_RESTART: a waiting poll() returns at once
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < kStopSignals.size(); ++i)
        sigaction(kStopSignals[i], &action, &previous[i]);

    if (!isatty(fd) || tcgetattr(fd, &saved_) != 0) return;
    restoreSettings = saved_;
    restoreFd = fd;
    termios raw = saved_;
    cfmakeraw(&raw);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(fd, TCSAFLUSH, &raw) == 0;
}

RawConsole::~RawConsole() {
    if (active_) tcsetattr(fd_, TCSAFLUSH, &saved_);
    restoreFd = -1;
    for (size_t i = 0; i < kStopSignals.size(); ++i)
        sigaction(kStopSignals[i], &previous[i], nullptr);
    stopFlag = nullptr;
}

}  // namespace tarmix
