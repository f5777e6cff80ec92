// Copies of whole device folders and drives into a PC folder tree, file by file with the
// upload, and the restore-script lines that bring the same files back:
//
//   mkdir "A:\LOG\"                          for every device folder below the root
//   download "Drive_A\LOG\DAY1.TXT" "A:\LOG\DAY1.TXT"    for every file copied
//
// (the first argument is the caller's relative prefix and the path below the drive root).
// A "download" line is written only once its file has arrived on the PC, so a restore never
// names a file the backup does not hold. Every file or listing that could not be copied is
// reported, and the caller learns that the copy is incomplete. Entries whose names the PC
// cannot hold (or whose listing line cannot be read) are not copied: the copy goes on
// without them and names each one in its report, for the caller to show. After a failure
// the copy goes on only while the controller still answers.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "ffs/file_transfer.h"
#include "ffs/listing_parse.h"

namespace tarmix {

// Receives each restore-script line (device text, without its line end) as it becomes due.
using ScriptLineSink = std::function<void(const std::string& line)>;

std::string MkdirLine(const std::string& deviceFolder);
std::string DownloadLine(const std::string& relativePrefix, const std::string& devicePath);

struct CopyReport {
    int copied = 0;
    int failed = 0;                     // files that did not arrive (each reported by the upload)
    int unreadable = 0;                 // listings that never completed or were refused
    bool silent = false;                // the controller stopped answering: the copy ended there
    bool stopped = false;               // a stop request ended it between two files
    std::vector<SkippedEntry> skipped;  // entries left out, each named
    bool complete() const { return failed == 0 && unreadable == 0 && !silent && !stopped; }
    CopyReport& operator+=(const CopyReport& other);
};

class FolderCopy {
  public:
    // `baudRate` is the rate each folder's files go at (raised and restored around them).
    FolderCopy(TransferContext context, uint32_t baudRate)
        : ctx_(std::move(context)), baudRate_(baudRate) {}

    // Every file of the device folder `deviceFolder` (a folder path, "A:\LOG\") into the
    // PC folder `pcFolder`. Sub-folders are not entered.
    CopyReport CopyFolderToPc(int drive, const std::filesystem::path& pcFolder,
                              const std::string& deviceFolder, const std::string& relativePrefix,
                              const ScriptLineSink& script);
    // The whole drive: its folders mirrored below `pcBase`, each folder's files into it.
    CopyReport CopyDriveToPc(int drive, const std::filesystem::path& pcBase,
                             const std::string& relativePrefix, const ScriptLineSink& script);

  private:
    // After a failed listing or file: false (and the copy ends) when the controller no
    // longer answers, after a message that says so.
    bool stillAnswers(CopyReport& result);
    void report(const std::string& text);

    TransferContext ctx_;
    uint32_t baudRate_;
};

}  // namespace tarmix
