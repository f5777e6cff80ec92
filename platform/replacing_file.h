// A PC file that is written beside its final name and takes that name only when the work
// that writes it has succeeded. A file the user already has is never lost to a failed
// operation: until Commit the old file stays as it was, and a ReplacingFile that is
// destroyed without Commit removes what it wrote.
//
// A symlink is followed to the file it names; a file the user may not write is not
// replaced (Open fails), nor is a folder. When the folder is not writable but the file
// is, the contents are gathered in the system's temporary folder and copied into the
// file on Commit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace tarmix {

class ReplacingFile {
  public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Opens the file that will become `target` (binary). false with a reason in `error`
    // when it cannot be created or `target` may not be replaced.
    bool Open(const std::filesystem::path& target, std::string& error);
    bool isOpen() const { return fd_ >= 0; }

    // false once any write has failed (a full disk, for example).
    bool Write(std::string_view text);
    bool Write(std::span<const uint8_t> bytes);
    // Bytes written so far.
    uint64_t size() const { return size_; }

    // Flushes, closes and gives the file its final name. false with a reason when a write
    // failed or the rename did not work; the written file is then removed.
    bool Commit(std::string& error);
    // Closes and removes what was written; the old file stays.
    void Discard();

    // The name the file will have (the target with its symlinks resolved).
    const std::filesystem::path& target() const { return target_; }

  private:
    bool CopyIntoTarget(std::string& error);

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    uint64_t size_ = 0;
    bool failed_ = false;
    bool gatheredAside_ = false;  // the folder is not writable: copied into the target
};

}  // namespace tarmix
