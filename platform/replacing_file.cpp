#include "platform/replacing_file.h"

#include <unistd.h>

namespace tarmix {

namespace fs = std::filesystem;

namespace {

// The file a name leads to: symlinks followed, also to a target that does not exist yet.
fs::path ResolvedTarget(const fs::path& target) {
    std::error_code ignored;
    fs::path resolved = fs::weakly_canonical(target, ignored);
    return resolved.empty() ? target : resolved;
}

// The user may write it, and it is not marked read-only (which is respected even when the
// program runs as root, whom access() always lets write).
bool Writable(const fs::path& path) {
    std::error_code failure;
    const fs::perms perms = fs::status(path, failure).permissions();
    constexpr fs::perms kAnyWrite =
        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    return ::access(path.c_str(), W_OK) == 0 && !failure && (perms & kAnyWrite) != fs::perms::none;
}

}  // namespace

ReplacingFile::~ReplacingFile() { Discard(); }

bool ReplacingFile::Open(const fs::path& target, std::string& error) {
    Discard();
    target_ = ResolvedTarget(target);
    std::error_code ignored;
    const bool exists = fs::exists(target_, ignored);
    if (exists && !Writable(target_)) {
        error = target_.string() + ": the file may not be written";
        return false;
    }
    fs::path folder = target_.parent_path();
    if (folder.empty()) folder = ".";
    const bool inPlace = exists && !Writable(folder);
    written_ =
        inPlace
            ? target_
            : folder / ("." + target_.filename().string() + ".part-" + std::to_string(::getpid()));
    out_.open(written_, std::ios::binary | std::ios::trunc);
    if (!out_) {
        error = written_.string() + ": cannot be created";
        written_.clear();
        return false;
    }
    // A replaced file keeps its permissions.
    if (exists && !inPlace)
        fs::permissions(written_, fs::status(target_, ignored).permissions(), ignored);
    size_ = 0;
    failed_ = false;
    return true;
}

bool ReplacingFile::Write(std::string_view text) {
    if (!out_.is_open() || failed_) return false;
    out_.write(text.data(), std::streamsize(text.size()));
    failed_ = !out_;
    if (!failed_) size_ += text.size();
    return !failed_;
}

bool ReplacingFile::Write(std::span<const uint8_t> bytes) {
    return Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool ReplacingFile::Commit(std::string& error) {
    if (!out_.is_open()) {
        error = target_.string() + ": not open";
        return false;
    }
    out_.flush();
    failed_ = failed_ || !out_;
    out_.close();
    failed_ = failed_ || out_.fail();
    if (failed_) {
        error = target_.string() + ": cannot be written (is the disk full?)";
        Discard();
        return false;
    }
    std::error_code failure;
    if (written_ != target_) fs::rename(written_, target_, failure);
    if (failure) {
        error = target_.string() + ": " + failure.message();
        Discard();
        return false;
    }
    written_.clear();
    return true;
}

void ReplacingFile::Discard() {
    if (out_.is_open()) out_.close();
    std::error_code ignored;
    // A file written in place has already lost its old contents; what arrived stays.
    if (!written_.empty() && written_ != target_) fs::remove(written_, ignored);
    written_.clear();
}

}  // namespace tarmix
