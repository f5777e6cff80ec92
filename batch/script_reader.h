// Reading a batch script line by line.
//
// The file is 8-bit text, one character per byte, with CR LF line ends. A line ends at a
// line feed; its last character (the CR) is always dropped, and so is the last character
// of a final line that ends with the file instead. What is left is cut to 598 characters,
// and a NUL byte ends the line's text. Lines are not otherwise interpreted here.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarmix {

class ScriptReader {
  public:
    // The characters of a line that are used; the rest of a longer line is not kept.
    static constexpr size_t kLineLimit = 598;
    static constexpr size_t kReadBuffer = 4096;

    // false when the file cannot be opened for reading.
    bool Open(const std::string& path);
    void Close() { file_.reset(); }

    // The next line, reduced as described above (it may be empty). nullopt once the file
    // has no more bytes, or when reading failed (failed() tells which).
    std::optional<std::string> NextLine();
    // A read failed: the rest of the file is unknown.
    bool failed() const { return failed_; }

  private:
    // The next byte of the file; nullopt at its end or on a read error.
    std::optional<char> NextByte();

    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    char buffer_[kReadBuffer];
    size_t filled_ = 0;
    size_t next_ = 0;
    bool ended_ = false;
    bool failed_ = false;
};

// The first line of a ROM image in S-record form starts with "S0", "S2" or "S3".
bool IsRomImageLine(std::string_view firstLine);

}  // namespace tarmix
