#include "batch/script_reader.h"

#include <cerrno>

namespace tarmix {

bool ScriptReader::Open(const std::string& path) {
    filled_ = next_ = 0;
    ended_ = failed_ = false;
    atStart_ = true;
    lineNumber_ = 0;
    const bool opened = file_.open(path);
    problem_ = file_.problem();
    return opened;
}

std::optional<char> ScriptReader::NextByte() {
    if (next_ == filled_) {
        if (ended_ || !file_.get()) return std::nullopt;
        filled_ = std::fread(buffer_, 1, sizeof buffer_, file_.get());
        next_ = 0;
        if (filled_ < sizeof buffer_) {
            ended_ = true;
            // A folder opens, but reading it fails: that is no script either.
            failed_ = std::ferror(file_.get()) != 0;
            if (failed_) problem_ = DescribeFileError(errno);
        }
        if (filled_ == 0) return std::nullopt;
    }
    return buffer_[next_++];
}

std::optional<std::string> ScriptReader::NextLine() {
    // One character more than is used: the carriage return of a line that is short enough
    // to keep whole.
    std::string kept;
    size_t length = 0;
    std::optional<char> byte = NextByte();
    if (!byte) return std::nullopt;
    ++lineNumber_;
    for (; byte && *byte != '\n'; byte = NextByte()) {
        if (kept.size() <= kLineLimit) kept += *byte;
        ++length;
    }
    if (failed_) return std::nullopt;
    // Only a real carriage return is a line end: a script saved with LF line ends, or
    // without one after its last line, keeps every character of its text.
    if (length == kept.size() && !kept.empty() && kept.back() == '\r') kept.pop_back();
    if (kept.size() > kLineLimit) kept.resize(kLineLimit);
    // A byte-order mark written by an editor is not part of the first command.
    if (atStart_ && kept.starts_with(kUtf8ByteOrderMark)) kept.erase(0, kUtf8ByteOrderMark.size());
    atStart_ = false;
    const size_t nul = kept.find('\0');
    lineHadNul_ = nul != std::string::npos;
    if (lineHadNul_) kept.resize(nul);
    return kept;
}

bool IsRomImageLine(std::string_view firstLine) {
    return firstLine.size() >= 2 && firstLine[0] == 'S' &&
           (firstLine[1] == '0' || firstLine[1] == '2' || firstLine[1] == '3');
}

}  // namespace tarmix
