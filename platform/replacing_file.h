// A PC file that is written beside its final name and takes that name only when the work
// that writes it has succeeded. A file the user already has is never lost to a failed
// operation: until Commit the old file stays as it was, and a ReplacingFile that is
// destroyed without Commit removes what it wrote.
//
// Only a regular file is replaced, or a name that does not exist yet: a device, a named
// pipe, a socket or a folder is refused (Open fails, naming the path and its kind) and
// left alone. A symlink is followed to the file it names; a file the user may not write
// is not replaced.
//
// A plain file owned like a new one is replaced by renaming the new file over it, which a
// crash cannot leave half done. A file that must keep its identity is written in place
// instead: one reached through a symlink, one with other hard links, one owned by someone
// else, and a writable file in a folder the user may not write. Its new contents are
// first complete in a file of their own, then its old contents are copied aside and
// flushed, and only then are the new contents copied into it. When that copy fails the
// old contents are copied back; should that fail too (or the machine stop meanwhile) they
// stay in the copy aside, beside the file where the folder allows it, whose name the
// error gives.
#pragma once

#include <sys/stat.h>

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

    // Opens the file that will become `target` (binary). false with a reason naming the
    // file in `error` when it cannot be created or `target` may not be replaced.
    bool Open(const std::filesystem::path& target, std::string& error);
    bool isOpen() const { return fd_ >= 0; }

    // false once any write has failed (a full disk, for example); Commit then says why.
    bool Write(std::string_view text);
    bool Write(std::span<const uint8_t> bytes);
    // Bytes written so far.
    uint64_t size() const { return size_; }

    // Flushes the new contents and puts them in place. false with a reason naming the file
    // (and the system's reason) when a write failed or they could not be put in place;
    // the written file is then removed and the old file is as it was.
    bool Commit(std::string& error);
    // Closes and removes what was written; the old file stays.
    void Discard();

    // The file that will be written (the target with its symlinks resolved).
    const std::filesystem::path& target() const { return target_; }

  private:
    bool FindTarget(const std::filesystem::path& name, bool& viaLink, std::string& error);
    int MakeAside(const std::string& suffix, bool hidden, std::filesystem::path& made) const;
    bool RenameOverTarget(std::string& error);
    bool WriteInPlace(std::string& error);
    bool StillTheFileOpened(const struct stat& now, std::string& error) const;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    uint64_t size_ = 0;
    int writeError_ = 0;  // errno of the first failed write
    bool exists_ = false;
    struct stat old_ {};           // the target as Open found it
    bool folderWritable_ = false;  // files may be made beside the target
    bool inPlace_ = false;         // the target keeps its identity: copied into on Commit
};

// The whole of `contents` written to `path` as a ReplacingFile writes it. false with the
// reason in `error`.
bool WriteFileSafely(const std::filesystem::path& path, std::string_view contents,
                     std::string& error);

}  // namespace tarmix
