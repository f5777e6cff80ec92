// The production line: several stations programming at once (--gang), each station
// programming one controller after another (--repeat), and the device history record of
// every controller handled (--record).
//
// One process, one thread per station. Each station owns its port, its link, its window
// controller and its console; the stations share only what is fixed for the run (the image,
// the options), the console (behind a lock), the record (appended under a lock) and the
// stop request, which a signal sets for all of them at once: each stops at its next safe
// point.
#pragma once

#include <string>
#include <vector>

#include "app/options/command_line.h"

namespace tarmix {

// Runs the line the options ask for with the form in `words` ("/p FILE"); the exit code.
int RunProductionLine(const ToolOptions& options, const std::vector<std::string>& words);

}  // namespace tarmix
