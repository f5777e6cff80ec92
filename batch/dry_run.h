// A batch script read without a controller: what each line would do. No port is opened.
//
//   init drives 1024 64 256              send: init drives 1024 64 256
//   program "Flash\Application.rom"      program: /backup/Flash/Application.rom (exists)
//
// Lines that send a monitor command show the command text; program, download, upload,
// restoreeprom and update firmware show their service, the completed PC path and whether
// that file exists.
#pragma once

#include <ostream>
#include <string>

namespace tarmix {

// 0 when the script could be read and every file it names for reading exists; 1 otherwise.
int DryRunScript(const std::string& path, std::ostream& out);

}  // namespace tarmix
