// A PC file that is written beside its final name and takes that name only when the work
// that writes it has succeeded. A file the user already has is never lost to a failed
// operation: until Commit the old file stays as it was, and a ReplacingFile that is
// destroyed without Commit removes what it wrote.
//
// A symlink is followed to the file it names; a file the user may not write is not
// replaced (Open fails); a writable file in a folder that is not writable is written in
// place, because no name can be made beside it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
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
    bool isOpen() const { return out_.is_open(); }

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

    // The name the file will have.
    const std::filesystem::path& target() const { return target_; }

  private:
    std::filesystem::path target_;
    std::filesystem::path written_;  // the temporary name, or target_ when written in place
    std::ofstream out_;
    uint64_t size_ = 0;
    bool failed_ = false;
};

}  // namespace tarmix
