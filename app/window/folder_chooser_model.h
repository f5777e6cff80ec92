// What the folder chooser and its "New folder" decide, without a toolkit: the roots it
// offers ("/", the home folder and the mounted volumes), the sub-folders of a folder, the
// path of a node, the walk to a start path, the prompt and the creation of a new folder,
// and the path field's shortening. The window's dialog (gui/folder_chooser.h) shows them.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarmix {

enum class FolderRootKind { System, Home, Volume };

struct FolderRoot {
    std::string path;  // absolute, without a trailing "/" except for "/" itself
    FolderRootKind kind;
};

// "/", the home folder (when there is one and it is not "/"), then every mount point below
// /media, /run/media and /mnt that `mounts` (the text of /proc/self/mounts) lists, sorted.
std::vector<FolderRoot> FolderChooserRoots(const std::string& home, std::string_view mounts);
// The same for this process: $HOME and /proc/self/mounts.
std::vector<FolderRoot> FolderChooserRoots();

// The folders inside `path` (not "." or ".."), sorted by name; none when it cannot be read.
std::vector<std::string> SubFolderNames(const std::string& path);

// A node's path: its parent's path and its own name, with one "/" between them.
std::string JoinFolderPath(const std::string& parent, const std::string& name);

// Where a start path lies: the root it begins in (the longest that fits) and the names of
// the folders below that root. nullopt for an empty path or one outside every root.
struct FolderWalk {
    size_t root = 0;
    std::vector<std::string> names;
};
std::optional<FolderWalk> WalkTo(const std::string& startPath,
                                 const std::vector<FolderRoot>& roots);

// The part of the selected folder the "New folder" question names: from its last "/" on.
std::string NewFolderPlace(const std::string& selected);

// Creates the folder `name` inside `selected`. The new folder's path, or nullopt when the
// name is refused (empty, "." or "..", a "/" or a control character) or the folder cannot
// be made; `attempted` is then the path that was asked for.
std::optional<std::string> CreateChosenFolder(const std::string& selected, const std::string& name,
                                              std::string& attempted);

// The path as the path field shows it: whole when `fits`, otherwise "....." after its first
// 3 characters, dropping characters after the "....." until it fits (or none are left).
std::string ShortenPathToFit(const std::string& path,
                             const std::function<bool(const std::string&)>& fits);

}  // namespace tarmix
