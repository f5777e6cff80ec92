// The folder a backup goes into, and how a new backup takes the place of an earlier one.
//
// A backup folder holds one backup: the entries IsBackupEntry names (backup_manifest.h).
// A new backup is built in the work folder FOLDER/.tarmix-new, on the same file system as
// its final place, and its entries are renamed into the folder only at the end, so an
// earlier backup stays whole until the new one is complete. The earlier backup's entries
// go as a whole, stale files with them; anything else in the folder is the user's and
// stays as it is. A file inside the backup's entries that is not part of the earlier
// backup (not in its manifest) stops a backup before it begins: it is the user's, and it
// would be lost with the earlier backup.
//
// Taking the place: the earlier entries move into FOLDER/.tarmix-old (Reload.rom first),
// the new ones into the folder (Reload.rom last), then .tarmix-old is removed. A run that
// ended in between is put right by the next one: while .tarmix-old holds a Reload.rom and
// the folder none, the earlier backup goes back into place.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarmix {

struct BackupFolderSurvey {
    bool earlierBackup = false;              // the folder holds a Reload.rom
    std::vector<std::string> foreignInside;  // files in the backup's entries not part of it
    std::vector<std::string> besideBackup;   // the user's entries beside the backup
};
// Paths relative to the folder, "/" separated, sorted.
BackupFolderSurvey SurveyBackupFolder(const std::filesystem::path& folder);

// Puts back an earlier backup whose replacement was interrupted, and removes what such a
// run left behind. false with a reason.
bool TidyBackupFolder(const std::filesystem::path& folder, std::string& error);

// The empty work folder where the new backup is built; empty with a reason on failure.
std::filesystem::path MakeBackupWorkFolder(const std::filesystem::path& folder, std::string& error);

// The work folder's entries take the place of the folder's backup entries, and the work
// folder goes. false with a reason; the folder then holds its earlier backup as it was.
bool InstallBackup(const std::filesystem::path& folder, std::string& error);

// Removes the work folder and what it holds.
void DiscardBackupWork(const std::filesystem::path& folder);

}  // namespace tarmix
