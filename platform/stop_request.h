// A request to stop the operation that is under way, from a signal or the operator.
//
// Operations poll it where the device is in a known state (between blocks, between script
// lines, after a wait) and end there the way a failure ends them: the baud rate is
// restored on the way out, and the operation says what it left undone. Setting it is safe
// in a signal handler.
#pragma once

namespace tarmix {

enum class StopCause {
    None = 0,
    Operator,   // the window's Stop control or Escape: the program goes on afterwards
    Interrupt,  // SIGINT: the program ends once the operation has stopped
    Terminate,  // SIGTERM: the same
    Hangup,     // SIGHUP (the terminal went away): the same
};

// Records the request; an earlier signal is not replaced by a later operator request.
void RequestStop(StopCause cause);
// The cause of the pending request; None when there is none.
StopCause PendingStop();
inline bool StopRequested() { return PendingStop() != StopCause::None; }
// The operator's request has done its work once the operation ended; a signal's stays,
// because the program is to end.
void ClearOperatorStop();
// A second signal: the operation is abandoned at once. Every wait for the device ends as
// if its time were up, so the operation fails its quickest way out (the rate is still put
// back and the settings saved where the line allows).
void RequestAbandon();
bool AbandonRequested();
// For the tests: no request at all.
void ResetStopRequest();

}  // namespace tarmix
