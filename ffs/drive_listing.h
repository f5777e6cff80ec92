// Reading a drive's folder tree and a folder's listing from the monitor: the command, the
// listing collection, and the parse. Used by the extended view, the command line and the
// copies of folders and drives.
#pragma once

#include <string>

#include "ffs/answer_collection.h"
#include "ffs/listing_parse.h"

namespace tarmix {

// A listing carries no checksum. Where a missing entry would go unnoticed (the copy of a
// whole folder or drive, a backup among them) it is taken only when two complete readings
// agree; the extended view and the console's listings show what one reading said.
enum class ListingReadings { One, TwoAgreeing };
// Readings of one listing taken at most while looking for two that agree.
inline constexpr int kListingReadingsLimit = 4;

struct TreeListing {
    Collected collected = Collected::SendFailed;
    bool damaged = false;  // the drive reported a file system error
    TreeParse parse;       // the root alone unless the answer was complete and sound
};
// Sends "tree %c:" (drive 0..2) and reads its answer.
TreeListing ReadTree(MonitorExchange& monitor, int drive,
                     ListingReadings readings = ListingReadings::One);

struct FolderListing {
    Collected collected = Collected::SendFailed;
    bool damaged = false;
    DirParse parse;  // empty unless the answer was complete and names the folder
    // The answer's own text when it was complete but did not list the folder (for
    // example "Path not found"), to show the user.
    std::string refusal;
};
// Sends `dir "folderPath"` and reads its answer.
FolderListing ReadFolder(MonitorExchange& monitor, const std::string& folderPath,
                         ListingReadings readings = ListingReadings::One);

// The lines of a complete answer between echo and prompt, as one UTF-8 text for a message.
std::string AnswerText(const std::string& answer, size_t commandLength);

}  // namespace tarmix
