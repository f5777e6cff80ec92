#include "batch/batch_run.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <system_error>

#include "batch/batch_commands.h"
#include "batch/script_paths.h"
#include "batch/script_reader.h"
#include "batch/script_words.h"
#include "lang/catalog.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace {

constexpr int kTextFileReadError = 60214;    // "File read error"
constexpr int kTextFileNotFound = 63803;     // "File not found"
constexpr int kTextFileNotReadable = 63804;  // "No permission to read the file"
constexpr int kTextFileIsFolder = 63805;     // "This is a folder, not a file"
constexpr int kTextNotRomOrScript = 63806;   // "Neither a ROM image nor a batch script"

// Why a file could not be read, in the user's language where the reason is a common one.
std::string FileErrorReason(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return LoadText(kTextFileNotFound);
        case EACCES:
        case EPERM:
            return LoadText(kTextFileNotReadable);
        case EISDIR:
            return LoadText(kTextFileIsFolder);
        default:
            return std::generic_category().message(error);
    }
}

// "File read error", then the file and the reason.
BatchOutcome FileError(View& view, const std::string& path, const std::string& reason) {
    view.showMessage(LoadText(kTextFileReadError) + "\n" + path + ": " + reason,
                     LoadText(kTextBatchHandling), MessageIcon::Error);
    return {BatchEnd::FileError};
}

}  // namespace

LocalTime CurrentLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    // A leap second is shown as the last ordinary one.
    return {parts.tm_wday, parts.tm_mday, parts.tm_mon + 1,          parts.tm_year + 1900,
            parts.tm_hour, parts.tm_min,  std::min(parts.tm_sec, 59)};
}

bool BatchFileOpens(View& view, const std::string& path) {
    ScriptReader reader;
    if (reader.Open(path)) return true;
    FileError(view, path, FileErrorReason(reader.error()));
    return false;
}

BatchOutcome RunBatchFile(BatchContext& context, const std::string& path) {
    WaitCursor waitCursor(context.view);
    ScriptReader reader;
    if (!reader.Open(path)) return FileError(context.view, path, FileErrorReason(reader.error()));

    BatchSession session(context, ScriptFolder(path));
    bool firstLine = true;
    while (std::optional<std::string> text = reader.NextLine()) {
        if (firstLine && IsRomImageLine(*text)) {
            reader.Close();  // before the download opens it again
            return {BatchEnd::RomImage, context.downloadApplication(path)};
        }
        // A script is text: a NUL byte in the first line comes from some other kind of file,
        // which would otherwise "run" to its end without a single command.
        if (firstLine && reader.lineHadNul())
            return FileError(context.view, path, LoadText(kTextNotRomOrScript));
        firstLine = false;
        // A stop request ends the run between two lines, where the device is idle.
        if (StopRequested()) return {BatchEnd::Stopped};
        if (text->empty() || IsScriptComment(*text)) continue;
        ScriptLine line{std::move(*text), {}};
        line.words = SplitScriptWords(line.text);
        if (line.words.empty()) continue;
        if (RunScriptLine(session, line) == Step::Stop)
            return {BatchEnd::Stopped, 1, session.eepromRestoreFailed()};
    }
    if (reader.failed()) return FileError(context.view, path, FileErrorReason(reader.error()));
    return {BatchEnd::Finished, 1, session.eepromRestoreFailed()};
}

}  // namespace tarmix
