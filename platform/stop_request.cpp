#include "platform/stop_request.h"

#include <atomic>

namespace tarmix {

namespace {

std::atomic<int> pending{int(StopCause::None)};
std::atomic<bool> abandon{false};
static_assert(std::atomic<int>::is_always_lock_free, "the request is set from signal handlers");

}  // namespace

void RequestStop(StopCause cause) {
    int expected = int(StopCause::None);
    if (pending.compare_exchange_strong(expected, int(cause))) return;
    // A signal outranks the operator's request: the program is to end.
    if (expected == int(StopCause::Operator) && cause != StopCause::Operator)
        pending.compare_exchange_strong(expected, int(cause));
}

StopCause PendingStop() { return StopCause(pending.load()); }

void ClearOperatorStop() {
    int expected = int(StopCause::Operator);
    pending.compare_exchange_strong(expected, int(StopCause::None));
}

void RequestAbandon() { abandon.store(true); }

bool AbandonRequested() { return abandon.load(); }

void ResetStopRequest() {
    pending.store(int(StopCause::None));
    abandon.store(false);
}

}  // namespace tarmix
