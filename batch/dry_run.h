// A batch script read without a controller: what each line would do. No port is opened.
//
//   init drives 1024 64 256              send: init drives 1024 64 256
//   program "Flash\Application.rom"      program: /backup/Flash/Application.rom (exists)
//
// Lines that send a monitor command show the command text; program, download, upload,
// restoreeprom and update firmware show their service and the completed PC path. The
// script goes through the same check as a real run before any of it is described, so what
// the dry run refuses the run refuses, with the same message.
#pragma once

#include <ostream>
#include <string>

namespace tarmix {

// 0 when a real run would start on the script (or ROM image); 1 when it would refuse it.
int DryRunScript(const std::string& path, std::ostream& out);

}  // namespace tarmix
