// The device history record: one JSON object per controller a line handled, appended as
// soon as its result is known, never rewritten. An audit reads it back, or asks for the
// summary per day and image.
//
// A record is either a file of JSON lines (the default) or a PostgreSQL table
// (postgresql://USER@HOST/DB, see record_database.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tarmix {

// The image or script every station programs.
struct RecordedImage {
    std::string name;    // the file name, without its folder
    std::string path;    // as the line ran it
    std::string sha256;  // 64 lower-case hex digits
    uint64_t size = 0;
};

// The port as the system names it.
struct RecordedPort {
    std::string path;
    std::string byId;       // /dev/serial/by-id/...; empty when the system gives none
    std::string usbSerial;  // the USB adapter's serial number; empty when none
};

// One controller's line of the record.
struct RecordEntry {
    std::string time;  // UTC, "2026-12-08T12:00:00.123Z"
    int station = 0;
    RecordedPort port;
    std::string model;  // the model's name as identified ("" when unknown)
    int32_t modelCode = 0;
    std::optional<int32_t> monitorBefore;
    std::optional<int32_t> monitorAfter;
    RecordedImage image;
    uint64_t bytes = 0;
    uint32_t blocks = 0;
    int64_t milliseconds = 0;
    bool verify = false;
    std::string verifyOutcome;  // "off", "passed", "failed", "not reached"
    int exitCode = 0;
    std::string meaning;  // the exit code's meaning
    std::string message;  // the last warning or error shown, if any
    std::string program;  // this program and its version
    std::string id;       // unique: a line sent twice is kept once
};

// The entry as one line of JSON, without a line end.
std::string RecordLine(const RecordEntry& entry);

// The port's names: its stable by-id name and its USB serial number where the system gives
// them. `sysRoot` and `devRoot` let tests use a fake machine.
RecordedPort DescribeRecordedPort(const std::string& path, const std::string& sysRoot = "/sys",
                                  const std::string& devRoot = "/dev");

// The current time as RecordEntry::time wants it.
std::string RecordTimeNow();

// Where the lines go.
class RecordSink {
  public:
    virtual ~RecordSink() = default;
    // Appends one line whole, or not at all. false with `error` when it could not.
    virtual bool append(const std::string& line, std::string& error) = 0;
    // At the end of the run: a warning about lines that are not where they belong yet
    // (empty when there is none).
    virtual std::string finish() { return ""; }
};

// A file of JSON lines. Each line is appended under an exclusive lock of the whole file and
// flushed to the disk before the lock goes, so that stations and other processes never
// interleave; a line the disk cannot take whole is taken back.
class RecordFile final : public RecordSink {
  public:
    ~RecordFile() override;
    // Opens (creates) the file for appending and checks that it can take lines: a regular
    // file, writable, on a disk with room. false with `error` otherwise.
    bool open(const std::string& path, std::string& error);
    bool append(const std::string& line, std::string& error) override;

  private:
    std::string path_;
    int fd_ = -1;
};

// The sink for `target`: a postgresql:// address or a file. nullptr with `error` when it
// cannot take lines.
std::unique_ptr<RecordSink> OpenRecord(const std::string& target, std::string& error);

// Every line of the record `target`. false with `error` when it cannot be read.
bool ReadRecordLines(const std::string& target, std::vector<std::string>& lines,
                     std::string& error);

// Per day (UTC) and image: how many controllers were programmed, how many failed and why.
// Lines that are not record entries are counted and named at the end.
std::string SummarizeRecord(const std::vector<std::string>& lines);

// --record-summary: the summary of the record `target` on `out`; an exit code.
int PrintRecordSummary(const std::string& target, std::ostream& out, std::ostream& errors);

}  // namespace tarmix
