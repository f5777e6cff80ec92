#include "app/line/record_database.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>

#include "app/operation_trace.h"
#include "batch/sha256.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/clock.h"

#ifdef TARMIX_HAVE_LIBPQ
#include <libpq-fe.h>
#endif

namespace tarmix {

namespace fs = std::filesystem;

bool IsDatabaseRecord(const std::string& target) {
    return target.rfind("postgresql://", 0) == 0 || target.rfind("postgres://", 0) == 0;
}

std::string RecordSpoolFile(const std::string& target) {
    const std::string hash =
        Sha256Hex({reinterpret_cast<const uint8_t*>(target.data()), target.size()});
    return (TraceFolder() / ("record-spool-" + hash.substr(0, 16) + ".jsonl")).string();
}

#ifndef TARMIX_HAVE_LIBPQ

std::unique_ptr<RecordSink> OpenDatabaseRecord(const std::string&, std::string& error) {
    error = LoadText(text::kNoClientUseFile);
    return nullptr;
}

bool ReadDatabaseRecord(const std::string&, std::vector<std::string>&, std::string& error) {
    error = LoadText(text::kNoClient);
    return false;
}

#else

namespace {

// How long one attempt to reach the server may take, and how long a station waits before
// it tries again after the server was away.
constexpr char kConnectTimeoutSeconds[] = "3";
constexpr Millis kRetryPause{2000};

const std::string kCreateTable = std::string("CREATE TABLE IF NOT EXISTS ") + kRecordTable +
                                 " (id text PRIMARY KEY, time timestamptz NOT NULL,"
                                 " station integer, port text, image text, sha256 text,"
                                 " exit_code integer, entry jsonb NOT NULL)";
const std::string kInsert = std::string("INSERT INTO ") + kRecordTable +
                            " (id, time, station, port, image, sha256, exit_code, entry)"
                            " VALUES ($1, $2, $3, $4, $5, $6, $7, $8::jsonb)"
                            " ON CONFLICT (id) DO NOTHING";
const std::string kSelect =
    std::string("SELECT entry::text FROM ") + kRecordTable + " ORDER BY time, id";

struct ConnectionDeleter {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
using Connection = std::unique_ptr<PGconn, ConnectionDeleter>;

struct ResultDeleter {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// The connection string of the address with a bounded connect time.
Connection connect(const std::string& target) {
    const char* keys[] = {"dbname", "connect_timeout", "application_name", nullptr};
    const char* values[] = {target.c_str(), kConnectTimeoutSeconds, "tarmix", nullptr};
    return Connection(PQconnectdbParams(keys, values, 1));
}

bool ok(PGconn* connection, const std::string& command, std::string& error) {
    Result result(PQexec(connection, command.c_str()));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return true;
    error = PQerrorMessage(connection);
    return false;
}

// Two machines may make the table at the same moment: the loser tries once more.
bool makeTable(PGconn* connection, std::string& error) {
    return ok(connection, kCreateTable, error) || ok(connection, kCreateTable, error);
}

// Spool lines kept under the spool file's lock.
class Spool {
  public:
    bool open(const std::string& path, std::string& error) {
        path_ = path;
        std::error_code failure;
        fs::create_directories(fs::path(path).parent_path(), failure);
        return file_.open(path, error);
    }
    bool append(const std::string& line, std::string& error) { return file_.append(line, error); }
    // Reads the waiting lines, lets `send` take them in order; when it took all of them
    // the spool is emptied. Holds the lock meanwhile, so no other process sends the same
    // lines at the same time. Returns how many lines still wait.
    template <class Send>
    size_t drain(Send send) {
        const int fd = ::open(path_.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return 0;
        flock(fd, LOCK_EX);
        std::vector<std::string> lines;
        {
            std::ifstream in(path_, std::ios::binary);
            for (std::string line; std::getline(in, line);)
                if (!line.empty()) lines.push_back(line);
        }
        size_t sent = 0;
        while (sent < lines.size() && send(lines[sent])) ++sent;
        if (sent == lines.size() && !lines.empty() && ftruncate(fd, 0) == 0) fdatasync(fd);
        flock(fd, LOCK_UN);
        close(fd);
        return lines.size() - sent;
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    RecordFile file_;
};

class DatabaseRecord final : public RecordSink {
  public:
    explicit DatabaseRecord(std::string target) : target_(std::move(target)) {}

    bool open(std::string& error) {
        if (!spool_.open(RecordSpoolFile(target_), error)) return false;
        std::lock_guard<std::mutex> hold(lock_);
        waiting_ = send();  // what an earlier run left
        return true;
    }
    bool append(const std::string& line, std::string& error) override {
        if (!spool_.append(line, error)) return false;
        std::lock_guard<std::mutex> hold(lock_);
        waiting_ = send();
        return true;
    }
    std::string finish() override {
        std::lock_guard<std::mutex> hold(lock_);
        lastTry_.reset();  // one more try at the end, whatever the pause
        waiting_ = send();
        if (waiting_ == 0) return "";
        return FormatText(text::kLinesWaiting, int(waiting_), lastError_, spool_.path());
    }

  private:
    // Sends the spool's lines; how many still wait.
    size_t send() {
        if (!connected()) return spool_.drain([](const std::string&) { return false; });
        return spool_.drain([this](const std::string& line) { return insert(line); });
    }
    bool connected() {
        if (connection_ && PQstatus(connection_.get()) == CONNECTION_OK) return true;
        const Millis now = systemClock().now();
        if (lastTry_ && now - *lastTry_ < kRetryPause) return false;
        lastTry_ = now;
        connection_ = connect(target_);
        if (PQstatus(connection_.get()) != CONNECTION_OK ||
            !makeTable(connection_.get(), lastError_)) {
            if (PQstatus(connection_.get()) != CONNECTION_OK)
                lastError_ = PQerrorMessage(connection_.get());
            connection_.reset();
            return false;
        }
        return true;
    }
    bool insert(const std::string& text) {
        const auto line = nlohmann::json::parse(text, nullptr, false);
        if (!line.is_object()) return true;  // not an entry: nothing to keep
        const std::string id = line.value("id", std::string()),
                          time = line.value("time", std::string()),
                          station = std::to_string(line.value("station", 0)),
                          port = line.value("port", std::string()),
                          image = line.value("image", std::string()),
                          sha = line.value("sha256", std::string()),
                          code = std::to_string(line.value("exitCode", 0));
        const char* values[] = {id.c_str(),    time.c_str(), station.c_str(), port.c_str(),
                                image.c_str(), sha.c_str(),  code.c_str(),    text.c_str()};
        Result result(PQexecParams(connection_.get(), kInsert.c_str(), 8, nullptr, values, nullptr,
                                   nullptr, 0));
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK) return true;
        lastError_ = PQerrorMessage(connection_.get());
        if (PQstatus(connection_.get()) != CONNECTION_OK) connection_.reset();
        return false;
    }

    std::string target_;
    Spool spool_;
    std::mutex lock_;  // one connection, used by one station at a time
    Connection connection_;
    std::optional<Millis> lastTry_;
    std::string lastError_ = LoadText(text::kNotTried);
    size_t waiting_ = 0;
};

}  // namespace

std::unique_ptr<RecordSink> OpenDatabaseRecord(const std::string& target, std::string& error) {
    auto record = std::make_unique<DatabaseRecord>(target);
    if (!record->open(error)) return nullptr;
    return record;
}

bool ReadDatabaseRecord(const std::string& target, std::vector<std::string>& lines,
                        std::string& error) {
    Connection connection = connect(target);
    if (PQstatus(connection.get()) != CONNECTION_OK) {
        error =
            FormatText(text::kCannotReach, target, std::string(PQerrorMessage(connection.get())));
        return false;
    }
    Result result(PQexec(connection.get(), kSelect.c_str()));
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK) {
        error = FormatText(text::kCannotReadTable, std::string(kRecordTable),
                           std::string(PQerrorMessage(connection.get())));
        return false;
    }
    for (int row = 0; row < PQntuples(result.get()); ++row)
        lines.push_back(PQgetvalue(result.get(), row, 0));
    return true;
}

#endif

}  // namespace tarmix
