// The settings file "Tarmix.ini": language, baud rate, port and the keep-receipts choice,
// kept between runs. It is written as 16-bit little-endian characters without a byte-order
// mark, CR LF line ends, in this order:
//
//   [LANGUAGE]: 0
//   [BAUDRATE]: 57600
//   [COMPORT]: 0
//   [KEEP_RECEIPTS]: 0
//   [VERIFY]: 0
//
// The last key is this build's own; older versions skip the line.
// Reading also takes files saved as UTF-8 or ASCII by a text editor.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarmix {

inline constexpr const char* kSettingsFileName = "Tarmix.ini";
// Shown when the file cannot be written; a fixed text, the same in every language.
inline constexpr const char* kSettingsWriteFailedText = "Ini-File konnte nicht beschrieben werden!";

inline constexpr int kDefaultBaudRate = 57600;

struct Settings {
    int languageIndex = 0;  // see lang/catalog.h
    int baudRate = kDefaultBaudRate;
    int selectedPort = 0;      // 0..5 COM1..COM6, 6 LPT1, -1 none
    int keepReceipts = 0;      // the KEEP_SETTINGS check box, 0 or 1
    int verifyAfterWrite = 0;  // the Verify check box beside Compare, 0 or 1
};

// Reads folder/Tarmix.ini into settings. Language, baud rate and port are first reset to
// German, 57600 and COM1 (keepReceipts keeps its value); when there is no file yet, the
// language is the locale's (languageOfLocale). Then each line of the file
// that starts with one of the four keys sets its value from the first decimal number
// after the line's first ":". Lines starting with ";" and all other lines are skipped; a
// value without a readable number (or one beyond the 32-bit range) stays as it was. The
// values are not checked here (see CheckSettingValues).
// A language chosen for the run (SetRunLanguage) replaces the one read.
// Returns 0 when the file was read, 1 when it could not be opened (defaults kept).
int ReadSettings(const std::filesystem::path& folder, Settings& settings);

// --lang: the language of this run only. ReadSettings gives it instead of the stored one,
// and WriteSettings writes the language read instead of it, so that only a language the
// user picks in the window is kept. std::nullopt ends it.
void SetRunLanguage(std::optional<int> language);

// The reading rules above applied to the contents of a settings file.
void ParseSettings(std::string_view contents, Settings& settings);

// Writes the lines to folder/Tarmix.ini as a ReplacingFile does (platform/replacing_file.h):
// a failed write leaves the old file as it was; a symlink is followed; a file the user may
// not write, and anything but a regular file (a device, a named pipe), is left alone as a
// failure.
// Returns 0 on success, 1 when the file could not be created or written: the caller then
// shows kSettingsWriteFailedText with `reason`, which names the file and says why.
int WriteSettings(const std::filesystem::path& folder, const Settings& settings,
                  std::string* reason = nullptr);

// The checks the main window makes after reading: a baud rate other than 57600, 115200
// and 230400 becomes 57600, and a language index above 11 becomes 1 (English). The port
// is checked against the ports found by the port scan, not here.
void CheckSettingValues(Settings& settings);

}  // namespace tarmix
