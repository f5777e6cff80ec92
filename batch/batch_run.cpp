#include "batch/batch_run.h"

#include <algorithm>
#include <ctime>

#include "batch/batch_commands.h"
#include "batch/batch_run_check.h"
#include "flash/rom_image_check.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace {

// "File read error", then the file and the reason.
BatchOutcome FileError(View& view, const std::string& path, const std::string& reason) {
    view.showMessage(LoadText(text::kFileReadError) + "\n" + path + ": " + reason,
                     LoadText(text::kBatchHandling), MessageIcon::Error);
    return {BatchEnd::FileError};
}

BatchOutcome Refused(View& view, const std::string& message) {
    view.showMessage(message, LoadText(text::kBatchHandling), MessageIcon::Error);
    return {BatchEnd::Refused};
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

bool CheckBatchFile(View& view, const std::string& path) {
    const ScriptCheck check = CheckBatchScript(path);
    switch (check.kind) {
        case ScriptCheck::Kind::FileError:
            FileError(view, path, check.problem);
            return false;
        case ScriptCheck::Kind::Refused:
            Refused(view, check.problem);
            return false;
        case ScriptCheck::Kind::RomImage:
            if (std::string problem; !CheckRomImage(path, problem)) {
                view.showMessage(problem, "", MessageIcon::Warning);
                return false;
            }
            return true;
        case ScriptCheck::Kind::Script:
            break;
    }
    return true;
}

BatchOutcome RunBatchFile(BatchContext& context, const std::string& path) {
    WaitCursor waitCursor(context.view);
    const ScriptCheck check = CheckBatchScript(path);
    switch (check.kind) {
        case ScriptCheck::Kind::FileError:
            return FileError(context.view, path, check.problem);
        case ScriptCheck::Kind::Refused:
            return Refused(context.view, check.problem);
        case ScriptCheck::Kind::RomImage:
            return {BatchEnd::RomImage, context.downloadApplication(path)};
        case ScriptCheck::Kind::Script:
            break;
    }
    if (check.unchecked) context.view.setStatus(LoadText(text::kNoManifest));
    BatchSession session(context, check.folder);
    for (const ScriptLine& line : check.lines) {
        // A stop request ends the run between two lines, where the device is idle.
        if (StopRequested()) {
            context.view.setStatus(FormatText(text::kStoppedBeforeLine, line.number));
            return {BatchEnd::Stopped, 1, session.eepromRestoreFailed()};
        }
        if (RunScriptLine(session, line) == Step::Stop) {
            context.view.setStatus(FormatText(text::kStoppedAtLine, line.number));
            return {BatchEnd::Stopped, 1, session.eepromRestoreFailed()};
        }
    }
    return {BatchEnd::Finished, 1, session.eepromRestoreFailed()};
}

}  // namespace tarmix
