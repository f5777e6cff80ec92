// Reading the monitor's "tree" and "dir" answers into the folder and file tables.
//
// Both answers are the echo of the command, CR LF, lines separated by CR LF, and the prompt.
// "tree a:" gives one line per folder, depth first; each level of depth is a 4-column
// prefix, "|   " for an ancestor's level and "+---" for the folder's own:
//     A:
//     +---DATA
//     |   +---LOG
//     +---BIN
// `dir "A:\DATA\"` gives a line naming the folder, a heading, then one row per entry in
// fixed columns: the name in columns 0-19 (padded with blanks), "<DIR>" in columns 20-24
// for a sub-folder or else the size in decimal (after blanks) from column 20, and the
// creation date and time from column 30:
//     Directory of A:\DATA\       (the line naming the folder)
//     Name                Size      Created
//     LOG                 <DIR>     22.10.2002 07:40:22
//     DAY1.TXT                 1234 22.10.2002 07:40:22
//
// Lines that cannot be read are skipped and named, never guessed at: a row whose name or
// size overruns its columns, a short row, a name that is not safe in a path. A "tree" line
// that jumps more than one level deeper than the line before it is placed one level deeper
// than that line (depth comes from the prefix only, so "+" and "|" in names are names).
// A name that holds a line break is one entry, never two: a "tree" line without a prefix
// after a folder line, and a "dir" row broken inside its name columns, are joined again to
// the line they continue (and the name is then skipped as unsafe).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ffs/drive_tables.h"

namespace tarmix {

// The part of a complete answer between the echo (command and CR LF) and the prompt; empty
// when the answer is shorter than both.
std::string_view AnswerBody(std::string_view answer, size_t commandLength);

// The marker of a damaged file system anywhere in an answer.
bool ReportsFileSystemError(std::string_view answer);

enum class SkipReason {
    UnsafeName,           // a name the PC cannot take as a file or folder name
    UnreadableLine,       // a "dir" row that is not in the fixed columns
    InsideSkippedFolder,  // a folder below a skipped one
};

// A listing entry that was not taken: its device path (folder path and name, or for an
// unreadable row the folder path and the row's text), as the device wrote it.
struct SkippedEntry {
    std::string path;
    SkipReason reason;
    bool folder = false;  // a "tree" line or a sub-folder row
    bool operator==(const SkippedEntry&) const = default;
};

// Device text for a message or a list of names: UTF-8, every control character written as
// \r, \n, \t or \xNN, so a shown name can never start a line of its own.
std::string ShownDeviceText(std::string_view deviceText);

struct TreeParse {
    FolderTable folders;  // entry 0 is the root
    int skipped = 0;      // folder lines that were not taken (with their sub-folders)
    std::vector<SkippedEntry> skippedEntries;  // each of them
};
TreeParse ParseTree(std::string_view body, const std::string& rootPath);

struct DirParse {
    bool headerMatches = false;  // line 0 names the folder asked for
    FileTable rows;
    int skipped = 0;                           // rows that could not be read
    std::vector<SkippedEntry> skippedEntries;  // each of them
};
DirParse ParseDir(std::string_view body, const std::string& folderPath);

}  // namespace tarmix
