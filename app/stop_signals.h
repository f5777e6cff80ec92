// SIGINT, SIGTERM and SIGHUP as stop requests (platform/stop_request.h).
//
// The first signal asks the operation under way to stop where the device is in a known
// state, and says so on the error stream; the program then ends with 128 + the signal's
// number, the rate restored and the settings saved. The second abandons the operation at
// once; a third one ends the program as the signal would.
#pragma once

#include "platform/stop_request.h"

namespace tarmix {

// Installs the handlers. `wakeFd` (when not -1) receives one byte per signal, so that an
// event loop notices; the handlers only set the request and write.
void CatchStopSignals(int wakeFd = -1);
// Puts back what the handlers replaced.
void ReleaseStopSignals();

// 130 after SIGINT, 143 after SIGTERM, 129 after SIGHUP, 0 for anything else.
int ExitCodeOfStop(StopCause cause);

}  // namespace tarmix
