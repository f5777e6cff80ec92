// Writing a file the user already has without losing it.
//
// The new contents go to a temporary file beside the old one, which is renamed into place
// only when everything was written. A symlink is followed to the file it names (the link
// stays a link). A file the user may not write is not replaced; a writable file in a
// folder the user may not write is written in place.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tarmix {

enum class WriteOutcome {
    Written,
    ReadOnly,  // the file exists and the user may not write it: left as it was
    Failed,    // the file could not be written; `error` says why
};

struct WriteResult {
    WriteOutcome outcome = WriteOutcome::Failed;
    std::string error;
    bool ok() const { return outcome == WriteOutcome::Written; }
};

WriteResult WriteFileSafely(const std::filesystem::path& path, std::string_view contents);

}  // namespace tarmix
