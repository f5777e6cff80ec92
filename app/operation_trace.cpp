#include "app/operation_trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/user_folders.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

constexpr char kTracePrefix[] = "tarmix-";
constexpr char kTraceExtension[] = ".trace";
constexpr char kCutNote[] = "(earlier lines of this operation left out)\n";

// tarmix-20261207-223015-4711.trace: the names sort by their time.
std::string traceName() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &parts);
    return std::string(kTracePrefix) + stamp + "-" + std::to_string(getpid()) + kTraceExtension;
}

bool isTrace(const fs::directory_entry& entry) {
    const std::string name = entry.path().filename().string();
    return entry.is_regular_file() && name.starts_with(kTracePrefix) &&
           name.ends_with(kTraceExtension);
}

void keepNewest(const fs::path& folder) {
    std::vector<fs::directory_entry> traces;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (isTrace(entry)) traces.push_back(entry);
    if (traces.size() <= kTracesKept) return;
    std::sort(traces.begin(), traces.end(), [](const auto& a, const auto& b) {
        std::error_code ignored;
        const auto timeA = a.last_write_time(ignored), timeB = b.last_write_time(ignored);
        return timeA != timeB ? timeA > timeB : a.path().filename() > b.path().filename();
    });
    for (size_t i = kTracesKept; i < traces.size(); ++i) fs::remove(traces[i].path(), error);
}

}  // namespace

fs::path TraceFolder() { return XdgFolder("XDG_STATE_HOME", ".local/state") / "tarmix"; }

void OperationTrace::onSent(Millis at, const uint8_t* data, size_t count) {
    trace_.onSent(at, data, count);
    keepLine();
}

void OperationTrace::onReceived(Millis at, const uint8_t* data, size_t count) {
    trace_.onReceived(at, data, count);
    keepLine();
}

void OperationTrace::clear() {
    lines_.clear();
    bytes_ = 0;
    cut_ = false;
}

void OperationTrace::keepLine() {
    lines_.push_back(line_.str());
    line_.str("");
    bytes_ += lines_.back().size();
    while (bytes_ > kTailBytes && lines_.size() > 1) {
        bytes_ -= lines_.front().size();
        lines_.pop_front();
        cut_ = true;
    }
}

std::string OperationTrace::text() const {
    std::string text = cut_ && !lines_.empty() ? kCutNote : "";
    text.reserve(text.size() + bytes_);
    for (const std::string& line : lines_) text += line;
    return text;
}

fs::path SaveTrace(const fs::path& folder, const std::string& trace, std::string& error) {
    std::error_code made;
    // Traces hold what went over the line: a folder of the program's making is the user's.
    if (fs::create_directories(folder, made)) fs::permissions(folder, fs::perms::owner_all, made);
    const fs::path file = folder / traceName();
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = file.string() + ": " + std::strerror(errno);
        return {};
    }
    std::string_view rest = trace;
    while (!rest.empty()) {
        const ssize_t written = ::write(fd, rest.data(), rest.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) break;
        rest.remove_prefix(size_t(written));
    }
    const int writeError = errno;
    if (::close(fd) != 0 || !rest.empty()) {
        error = file.string() + ": " + std::strerror(rest.empty() ? errno : writeError);
        fs::remove(file, made);
        return {};
    }
    keepNewest(folder);
    return file;
}

}  // namespace tarmix
