// The picture of the controller's file system that the extended view shows, kept in memory
// by the main window: the drive table, the folder table of the drive on the selected tab,
// and the file table of the selected folder.
//
// How to use them: the folder table comes from the drive's "tree" answer (ParseTree), the
// file table from a folder's "dir" answer (ParseDir). Entry `selectedFolder` of the folder
// table is the folder whose files the list shows; a device path for a row of the list is
//     FilePathIn(tables.folders[tables.selectedFolder].path, row.name)
// and for a sub-folder row SubFolderPath(...) (ffs/device_path.h). Row i of the file table
// is row i of the list on the screen, and every row read is kept (no cap), so an index from
// the view always names the entry the user sees. Names are device text (ISO 8859-1 bytes);
// DisplayName turns them into UTF-8 for the screen.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lang/text_names.h"
#include "models/device.h"

namespace tarmix {

struct DriveRow {
    char letter;    // upper case
    int tabTextId;  // the tab's title in the string table
};

inline constexpr std::array<DriveRow, kDriveCount> kDriveTable = {
    {{'A', text::kDriveA}, {'B', text::kDriveB}, {'C', text::kDriveC}}};

// A drive is available when identification found a size for it.
bool DriveAvailable(const DeviceDescription& device, int drive);
// The first available drive, or 0 when there is none.
int FirstAvailableDrive(const DeviceDescription& device);

// Pictures of the tree and the list (one strip shared by both).
enum class FsIcon {
    Folder = 1,
    OpenFolder = 2,
    DriveMissing = 3,
    DriveError = 4,
    WaitingUpload = 5,
    File = 6,
    Application = 7,
    NewFile = 8,
};

// One folder of the drive, in the order of the "tree" answer. Entry 0 is the root.
struct FolderEntry {
    std::string name;  // device text; the root has none
    std::string path;  // folder path, ending with "\"
    int depth = 0;     // 0 for the root
    int parent = -1;   // index of the parent entry; -1 for the root
};
using FolderTable = std::vector<FolderEntry>;

// One row of a folder's listing, in the order of the "dir" answer.
struct FileRow {
    std::string name;  // device text, at most 20 characters
    bool isFolder = false;
    std::optional<uint64_t> size;  // files only; nullopt when the answer held no number
    std::string created;           // device text, as the device gives it

    FsIcon icon() const;
    // "<DIR>", the size in decimal, or "?".
    std::string sizeText() const;
};
using FileTable = std::vector<FileRow>;

// What the tree of the drive on the selected tab shows.
enum class DriveState {
    Unavailable,  // size 0: nothing was asked
    Damaged,      // the "tree" answer reported a file system error
    Incomplete,   // the "tree" answer never completed: only the root is known
    Listed,
};

struct DriveTables {
    int drive = 0;  // the selected tab
    DriveState state = DriveState::Unavailable;
    FolderTable folders;     // never empty once a drive was shown
    int selectedFolder = 0;  // index into folders
    FileTable files;         // the listing of folders[selectedFolder]
    // Lines of the last answers that could not be read; the view says the listing is partial.
    int skippedFolders = 0;
    int skippedRows = 0;
    bool listingComplete = false;  // the last "dir" answer was complete and readable

    const FolderEntry& selected() const { return folders.at(size_t(selectedFolder)); }
};

// Device text as UTF-8 for the screen.
std::string DisplayName(const std::string& deviceText);

// The outcome line of a file-system command that was done, naming its device path
// ("Formatted <A:\>"), in the window and on the console alike.
enum class FsCommand { Format, MakeFolder, DeleteFile, RemoveFolder };
std::string CommandDoneText(FsCommand command, const std::string& devicePath);

}  // namespace tarmix
