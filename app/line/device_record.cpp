#include "app/line/device_record.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "app/console/console_view.h"
#include "app/json_event.h"
#include "app/line/record_database.h"
#include "app/options/command_line.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/serial_device_info.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

// A record whose disk has less room than this is refused before any controller is touched:
// a line of the record is well below a kilobyte.
constexpr uint64_t kLeastRoom = 64 * 1024;
// The USB serial number sits a few levels above the tty in the device tree.
constexpr int kUsbLevels = 6;

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// "cannot lock the record /x.jsonl: Permission denied"
std::string describeErrno(int textId, const std::string& path) {
    return FormatText(textId, path) + ": " + std::strerror(errno);
}

}  // namespace

std::string RecordLine(const RecordEntry& entry) {
    nlohmann::ordered_json line;
    line["time"] = entry.time;
    line["station"] = entry.station;
    line["port"] = JsonText(entry.port.path);
    line["portById"] = JsonText(entry.port.byId);
    line["usbSerial"] = JsonText(entry.port.usbSerial);
    line["model"] = JsonText(entry.model);
    line["modelCode"] = entry.modelCode;
    line["monitorBefore"] =
        entry.monitorBefore ? nlohmann::ordered_json(*entry.monitorBefore) : nullptr;
    line["monitorAfter"] =
        entry.monitorAfter ? nlohmann::ordered_json(*entry.monitorAfter) : nullptr;
    line["image"] = JsonText(entry.image.name);
    line["imagePath"] = JsonText(entry.image.path);
    line["sha256"] = entry.image.sha256;
    line["imageSize"] = entry.image.size;
    line["bytes"] = entry.bytes;
    line["blocks"] = entry.blocks;
    line["milliseconds"] = entry.milliseconds;
    line["verify"] = entry.verify;
    line["verifyOutcome"] = entry.verifyOutcome;
    line["exitCode"] = entry.exitCode;
    line["meaning"] = JsonText(entry.meaning);
    line["message"] = JsonText(entry.message);
    line["program"] = entry.program;
    line["id"] = entry.id;
    return line.dump();
}

RecordedPort DescribeRecordedPort(const std::string& path, const std::string& sysRoot,
                                  const std::string& devRoot) {
    RecordedPort port{path, "", ""};
    std::error_code failure;
    const fs::path device = fs::canonical(path, failure);
    if (failure) return port;
    port.byId = StableSerialName(device, fs::path(devRoot) / "serial" / "by-id");
    fs::path node =
        fs::canonical(fs::path(sysRoot) / "class" / "tty" / device.filename() / "device", failure);
    for (int level = 0; !failure && level < kUsbLevels && node.has_parent_path();
         ++level, node = node.parent_path()) {
        if (fs::exists(node / "serial", failure)) {
            port.usbSerial = firstLine(node / "serial");
            break;
        }
    }
    return port;
}

std::string RecordTimeNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, int(millis));
    return text;
}

RecordFile::~RecordFile() {
    if (fd_ >= 0) close(fd_);
}

bool RecordFile::open(const std::string& path, std::string& error) {
    path_ = path;
    fd_ = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd_ < 0) {
        error = describeErrno(text::kRecordCannotWrite, path);
        return false;
    }
    struct stat file {};
    struct statvfs disk {};
    if (fstat(fd_, &file) != 0 || !S_ISREG(file.st_mode)) {
        error = FormatText(text::kRecordNotRegular, path);
    } else if (fstatvfs(fd_, &disk) != 0 || uint64_t(disk.f_bavail) * disk.f_frsize < kLeastRoom) {
        error = FormatText(text::kRecordDiskFull, path);
    }
    return error.empty();
}

bool RecordFile::append(const std::string& line, std::string& error) {
    const std::string whole = line + "\n";
    if (flock(fd_, LOCK_EX) != 0) {
        error = describeErrno(text::kRecordCannotLock, path_);
        return false;
    }
    struct stat before {};
    fstat(fd_, &before);
    size_t written = 0;
    while (written < whole.size()) {
        const ssize_t put = write(fd_, whole.data() + written, whole.size() - written);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        written += size_t(put);
    }
    bool ok = written == whole.size() && fdatasync(fd_) == 0;
    if (!ok) {
        error = describeErrno(text::kRecordCannotAppend, path_);
        // Under the lock nobody else has appended: what this line left is taken back.
        if (ftruncate(fd_, before.st_size) != 0) error += " " + LoadText(text::kPartStays);
    }
    flock(fd_, LOCK_UN);
    return ok;
}

std::unique_ptr<RecordSink> OpenRecord(const std::string& target, std::string& error) {
    if (IsDatabaseRecord(target)) return OpenDatabaseRecord(target, error);
    auto file = std::make_unique<RecordFile>();
    if (!file->open(target, error)) return nullptr;
    return file;
}

bool ReadRecordLines(const std::string& target, std::vector<std::string>& lines,
                     std::string& error) {
    if (IsDatabaseRecord(target)) return ReadDatabaseRecord(target, lines, error);
    std::ifstream in(target, std::ios::binary);
    if (!in) {
        error = FormatText(text::kRecordCannotRead, target);
        return false;
    }
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return true;
}

std::string SummarizeRecord(const std::vector<std::string>& lines) {
    struct Tally {
        int programmed = 0;
        int failed = 0;
        std::map<std::string, int> reasons;
    };
    std::map<std::pair<std::string, std::string>, Tally> tallies;  // (day, image)
    size_t unreadable = 0;
    for (const std::string& text : lines) {
        const auto line = nlohmann::json::parse(text, nullptr, false);
        if (!line.is_object() || !line.contains("time") || !line.contains("exitCode") ||
            !line["time"].is_string() || !line["exitCode"].is_number_integer()) {
            ++unreadable;
            continue;
        }
        const std::string day = line["time"].get<std::string>().substr(0, 10);
        const std::string image = line.value("image", std::string()) + " (sha256 " +
                                  line.value("sha256", std::string()).substr(0, 12) + ")";
        Tally& tally = tallies[{day, image}];
        const int code = line["exitCode"].get<int>();
        if (code == kResultOk) {
            ++tally.programmed;
            continue;
        }
        ++tally.failed;
        std::string why = std::to_string(code) + " " + line.value("meaning", std::string());
        const std::string message = line.value("message", std::string());
        if (!message.empty()) why += ": " + message;
        ++tally.reasons[why];
    }
    std::string text;
    for (const auto& [key, tally] : tallies) {
        text += FormatText(text::kDayImage, key.first, key.second, tally.programmed, tally.failed) +
                "\n";
        for (const auto& [why, count] : tally.reasons)
            text += "    " + std::to_string(count) + " x " + WithoutControls(why) + "\n";
    }
    if (tallies.empty()) text += LoadText(text::kNoControllers) + "\n";
    if (unreadable) text += FormatText(text::kNotEntries, int(unreadable)) + "\n";
    return text;
}

int PrintRecordSummary(const std::string& target, std::ostream& out, std::ostream& errors) {
    std::vector<std::string> lines;
    std::string error;
    if (!ReadRecordLines(target, lines, error)) {
        errors << "tarmix: " << error << "\n";
        return kResultRecordFailed;
    }
    out << SummarizeRecord(lines);
    return kResultOk;
}

}  // namespace tarmix
