// Opening a PC file that the program reads as input (ROM images, scripts, Tarmix.ini).
//
// Only a regular file is read (a symbolic link is followed to what it names). A named pipe
// would block the open until some other program writes into it, and a device such as
// /dev/zero never ends: both are refused at once, without waiting, and so are folders
// and sockets. The file is opened without blocking and checked on the open handle, so a
// name that is swapped for a pipe in between cannot slip through.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace tarmix {

class InputFile {
  public:
    // Opens `path` for reading. false when it cannot be opened or is no regular file;
    // problem() then says why.
    bool open(const std::string& path);
    void close() { file_.reset(); }

    // The open file, or nullptr.
    std::FILE* get() const { return file_.get(); }
    // The size the file had when it was opened.
    uint64_t size() const { return size_; }

    // Why the last open failed, in the user's language ("File not found", "This is a
    // named pipe (FIFO), not a regular file" …); empty after a good open.
    const std::string& problem() const { return problem_; }

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    uint64_t size_ = 0;
    std::string problem_;
};

// Why a file could not be opened or read, from the errno of the failure, in the user's
// language where the reason is a common one.
std::string DescribeFileError(int error);

}  // namespace tarmix
