// Reading a batch script line by line.
//
// The file is 8-bit text, one character per byte, with CR LF line ends. A line ends at a
// line feed (or the end of the file); a carriage return before it is dropped, and LF-only
// line ends are taken as well. What is left is cut to 598 characters, and a NUL byte ends
// the line's text. A UTF-8 byte-order mark before the first line is skipped. Lines are not
// otherwise interpreted here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/input_file.h"

namespace tarmix {

class ScriptReader {
  public:
    static constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
    // The characters of a line that are used; the rest of a longer line is not kept.
    static constexpr size_t kLineLimit = 598;
    static constexpr size_t kReadBuffer = 4096;

    // false when the file cannot be opened for reading or is no regular file (a pipe or
    // a device would never end); problem() then tells why.
    bool Open(const std::string& path);
    // Why the open or a read failed, in the user's language; empty when nothing failed.
    const std::string& problem() const { return problem_; }
    // The line last returned held a NUL byte (text files do not).
    bool lineHadNul() const { return lineHadNul_; }
    // The number of the line last returned, counting from 1.
    int lineNumber() const { return lineNumber_; }
    void Close() { file_.close(); }

    // The next line, reduced as described above (it may be empty). nullopt once the file
    // has no more bytes, or when reading failed (failed() tells which).
    std::optional<std::string> NextLine();
    // A read failed: the rest of the file is unknown.
    bool failed() const { return failed_; }

  private:
    // The next byte of the file; nullopt at its end or on a read error.
    std::optional<char> NextByte();

    InputFile file_;
    char buffer_[kReadBuffer];
    size_t filled_ = 0;
    size_t next_ = 0;
    bool ended_ = false;
    bool failed_ = false;
    bool atStart_ = true;
    std::string problem_;
    bool lineHadNul_ = false;
    int lineNumber_ = 0;
};

// The first line of a ROM image in S-record form starts with "S0", "S2" or "S3".
bool IsRomImageLine(std::string_view firstLine);

}  // namespace tarmix
