// A file the program writes: written beside its target under a temporary name and renamed
// onto it once complete, so a reader never sees half a file and a failed write leaves the
// old file as it was. A symbolic link is followed (the file it names is replaced); a file
// the user may not write is not replaced; a writable file in a folder that is not writable
// is written in place.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace tarmix {

class ReplacingFile {
  public:
    ReplacingFile() = default;
    // Without Commit the temporary file is removed and the target stays as it was.
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // false with a reason when the target may not or cannot be written.
    bool Open(const std::filesystem::path& target, std::string& error);
    bool Write(const void* data, size_t size);
    // Puts the written file in the target's place. false with a reason on failure (also
    // when a write failed before).
    bool Commit(std::string& error);
    bool isOpen() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
    bool failed_ = false;
    bool inPlace_ = false;
    std::filesystem::path target_;
    std::filesystem::path temporary_;
};

}  // namespace tarmix
