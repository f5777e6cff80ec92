#include "batch/script_reader.h"

namespace tarmix {

bool ScriptReader::Open(const std::string& path) {
    file_.reset(std::fopen(path.c_str(), "rb"));
    filled_ = next_ = 0;
    ended_ = failed_ = false;
    return file_ != nullptr;
}

std::optional<char> ScriptReader::NextByte() {
    if (next_ == filled_) {
        if (ended_ || !file_) return std::nullopt;
        filled_ = std::fread(buffer_, 1, sizeof buffer_, file_.get());
        next_ = 0;
        if (filled_ < sizeof buffer_) {
            ended_ = true;
            // A folder opens, but reading it fails: that is no script either.
            failed_ = std::ferror(file_.get()) != 0;
        }
        if (filled_ == 0) return std::nullopt;
    }
    return buffer_[next_++];
}

std::optional<std::string> ScriptReader::NextLine() {
    // One character more than is used: the one that the removal of the last character
    // takes away when the line is short enough to keep whole.
    std::string kept;
    size_t length = 0;
    std::optional<char> byte = NextByte();
    if (!byte) return std::nullopt;
    for (; byte && *byte != '\n'; byte = NextByte()) {
        if (kept.size() <= kLineLimit) kept += *byte;
        ++length;
    }
    if (failed_) return std::nullopt;
    if (length <= kLineLimit + 1) {
        if (!kept.empty()) kept.pop_back();
    } else {
        kept.resize(kLineLimit);
    }
    const size_t nul = kept.find('\0');
    if (nul != std::string::npos) kept.resize(nul);
    return kept;
}

bool IsRomImageLine(std::string_view firstLine) {
    return firstLine.size() >= 2 && firstLine[0] == 'S' &&
           (firstLine[1] == '0' || firstLine[1] == '2' || firstLine[1] == '3');
}

}  // namespace tarmix
