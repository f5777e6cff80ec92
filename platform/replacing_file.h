// A PC file written so that the file the user already has is never lost to a failed write:
// the new contents go to a temporary file beside the target and replace it only when the
// writer commits. A symlink is followed to the file it names; a file the user may not write
// is not replaced. When the folder itself is not writable but the file is, the contents are
// gathered in the system's temporary folder and copied into the file on commit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace tarmix {

class ReplacingFile {
  public:
    ReplacingFile() = default;
    // Removes the temporary file unless the writer committed.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Prepares to replace (or create) `target`. false with a reason in `error` when the
    // target is a folder, may not be written, or no temporary file can be made.
    bool open(const std::filesystem::path& target, std::string& error);
    // false with a reason when the bytes could not all be written (a full disk).
    bool write(const uint8_t* data, size_t count, std::string& error);
    // Puts the written contents in place of the target. false with a reason when that
    // failed; the target is then as it was (except for a failed in-place copy, see above).
    bool commit(std::string& error);

    // The file that is finally written (the target with its symlinks resolved).
    const std::filesystem::path& target() const { return target_; }

  private:
    void discard();

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    bool inPlace_ = false;  // the folder is not writable: copy into the target on commit
};

}  // namespace tarmix
