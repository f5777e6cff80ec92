// How the program names folders and files on the controller's drives A:, B: and C:.
//
// A folder path is the upper-case drive letter, a colon and a backslash, then the name of
// each folder from the root down, each followed by a backslash:
//     A:\            the root of drive A:
//     A:\DATA\LOG\   the folder LOG inside DATA
// A file path is a folder path followed by the file's name: A:\DATA\LOG\DAY1.TXT.
// Monitor commands carry a path in double quotes: dir "A:\DATA\", del "A:\DATA\X.TXT".
//
// Names are device text, one byte per character (ISO 8859-1), exactly as "tree" and "dir"
// give them; convert with Latin1ToUtf8 only to show them. Before a name read from the
// device is put into a path (or a PC file name) it must pass IsSafeDeviceName, and a name
// the program creates must pass CheckNewName: otherwise "\" or ".." in a name would make
// a command act on another entry than the one the user sees.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarmix {

// The longest name the program gives a new folder or file on the device.
inline constexpr size_t kMaxNewNameLength = 19;
// The longest name a row of the monitor's folder listing shows: a file copied to the device
// under a longer name could never be listed, backed up or copied back.
inline constexpr size_t kMaxListedNameLength = 20;

// "A:\" for drive 0, "B:\" for 1, "C:\" for 2.
std::string DriveRootPath(int drive);
// The drive letter in lower case, as "tree %c:", "finfo %c" and "format %c:" want it.
char DriveLetterLower(int drive);
// The folder path of the sub-folder `name` of the folder `folderPath`.
std::string SubFolderPath(const std::string& folderPath, std::string_view name);
// The path of the file `name` in the folder `folderPath`.
std::string FilePathIn(const std::string& folderPath, std::string_view name);
// The last name of a device path: the text after its last "\" (or after the drive's colon).
std::string_view LastNameOf(std::string_view path);
// A command with a path in double quotes: QuotedCommand("dir", "A:\") is `dir "A:\"`.
std::string QuotedCommand(std::string_view command, const std::string& path);

// A name from the device that may stand in a path: not empty, not "." or "..", and without
// "\", "/", ":", double quotes or control characters.
bool IsSafeDeviceName(std::string_view name);

// Why a name for a new folder or file is refused.
enum class NameProblem { None, Empty, Dots, Separator, Control, TooLong };
NameProblem CheckNewName(std::string_view name);

// A device path as the user types it: a drive letter in either case, a colon, then names
// separated by "\", with or without a leading or trailing "\", optionally in one pair of
// double quotes ("a:", A:\DATA, "A:\DATA\LOG\"). Names are device text.
struct DevicePath {
    int drive = 0;
    std::vector<std::string> names;  // from the root down; empty for the root

    std::string folderPath() const;  // with the trailing "\"
    std::string filePath() const;    // without it (the root gives "A:\")
    // The folder the last name lies in; the root for the root itself.
    std::string parentFolderPath() const;
};
// nullopt when it is no device path or one of its names is not a safe device name.
std::optional<DevicePath> ParseDevicePath(std::string_view text);

}  // namespace tarmix
