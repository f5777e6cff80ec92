// The device history record in a PostgreSQL table, for lines of several machines:
//   --record postgresql://USER@HOST/DB
//
// Every line goes first into a local spool file (appended and locked as the record file
// is), then to the table, one transaction per line; the spool is emptied once all its
// lines are in the table. While the server is away lines wait in the spool and go at the
// next chance (the next controller, the end of the run, or the next run). A line sent
// twice is kept once: each has a unique id.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/line/device_record.h"

namespace tarmix {

// The table the lines go to (made when missing).
inline constexpr char kRecordTable[] = "tarmix_record";

// Whether `target` names a database ("postgresql://" or "postgres://").
bool IsDatabaseRecord(const std::string& target);

// The spool file of a database record: in the user's state folder, one per address.
std::string RecordSpoolFile(const std::string& target);

// nullptr with `error` when the spool cannot be written or this build has no database
// client. A server that cannot be reached now is not an error: its lines wait.
std::unique_ptr<RecordSink> OpenDatabaseRecord(const std::string& target, std::string& error);

// Every entry in the table, oldest first.
bool ReadDatabaseRecord(const std::string& target, std::vector<std::string>& lines,
                        std::string& error);

}  // namespace tarmix
