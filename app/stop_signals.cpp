#include "app/stop_signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "app/result_codes.h"
#include "lang/catalog.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {

// The notices in the run's language, made before a handler can need them: a handler
// only writes.
std::string stoppingNotice;
std::string abandonNotice;

std::atomic<int> wakeSocket{-1};
std::atomic<int> signalsSeen{0};
struct sigaction previousInt {};
struct sigaction previousTerm {};
struct sigaction previousHup {};

StopCause causeOf(int number) {
    return number == SIGTERM  ? StopCause::Terminate
           : number == SIGHUP ? StopCause::Hangup
                              : StopCause::Interrupt;
}

void say(const char* text, size_t length) {
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, text, length);
}

void onStopSignal(int number) {
    const int seen = ++signalsSeen;
    if (seen == 1) {
        RequestStop(causeOf(number));
        say(stoppingNotice.data(), stoppingNotice.size());
    } else {
        RequestAbandon();
        say(abandonNotice.data(), abandonNotice.size());
        // A third signal is the signal itself.
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signal(SIGHUP, SIG_DFL);
    }
    const int wake = wakeSocket.load();
    if (wake >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t woken = write(wake, &byte, 1);
    }
}

}  // namespace

void CatchStopSignals(int wakeFd) {
    stoppingNotice = "\ntarmix: " + LoadText(text::kStoppingNotice) + "\n";
    abandonNotice = "\ntarmix: " + LoadText(text::kAbandonNotice) + "\n";
    wakeSocket = wakeFd;
    signalsSeen = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
    sigaction(SIGHUP, &action, &previousHup);
    signal(SIGPIPE, SIG_IGN);  // a closed event reader must not kill a download
}

void ReleaseStopSignals() {
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    sigaction(SIGHUP, &previousHup, nullptr);
    wakeSocket = -1;
}

int ExitCodeOfStop(StopCause cause) {
    switch (cause) {
        case StopCause::Interrupt:
            return kResultInterrupted;
        case StopCause::Terminate:
            return kResultTerminated;
        case StopCause::Hangup:
            return kResultHangup;
        case StopCause::None:
        case StopCause::Operator:
            break;
    }
    return 0;
}

}  // namespace tarmix
