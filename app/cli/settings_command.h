// `tarmix --settings [KEY=VALUE]`: the settings file in plain text, and one setting changed
// from the shell. The file itself stays as the program writes it (16-bit little-endian
// characters without a byte-order mark), which text tools show as garbage.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace tarmix {

// Prints the path of folder/Tarmix.ini and one "KEY=VALUE" line per setting (the defaults
// when there is no file yet). Returns the exit code: always kResultOk.
int ShowSettings(const std::filesystem::path& folder, std::ostream& out);

// Reads folder/Tarmix.ini, sets the one setting `assignment` ("BAUDRATE=115200") names and
// writes the file back, then shows the settings on `out`. An unknown key or a value the
// setting does not take changes nothing: the reason goes to `err` and the result is
// kResultUsage; a file that cannot be written gives kResultSettingsFailed.
int ChangeSettingsFile(const std::filesystem::path& folder, const std::string& assignment,
                       std::ostream& out, std::ostream& err);

}  // namespace tarmix
