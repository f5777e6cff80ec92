// The questions asked before the program writes into a folder or over a file the user
// already has: "Folder already exist!" and "The file already exist!", each with its path.
#pragma once

#include <filesystem>

#include "platform/view.h"

namespace tarmix {

enum class FolderReady {
    Ready,     // the folder exists now: it was made, or the operator agreed to use it
    Declined,  // it existed and the operator said No
    Failed,    // it could not be made; "Could not create the folder" has been shown
};

// Makes the folder (and the folders above it), or asks whether an existing one may be
// written into. Caption "Save".
FolderReady PrepareOutputFolder(View& view, const std::filesystem::path& folder);

// true when the file does not exist or the operator agreed to replace it. Caption "Save".
bool MayReplaceFile(View& view, const std::filesystem::path& file);

}  // namespace tarmix
