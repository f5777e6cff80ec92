#include "batch/batch_run.h"

#include <algorithm>
#include <ctime>

#include "batch/batch_commands.h"
#include "batch/script_paths.h"
#include "batch/script_reader.h"
#include "batch/script_words.h"
#include "lang/catalog.h"

namespace tarmix {

namespace {

constexpr int kTextFileReadError = 60214;  // "File read error"

BatchOutcome FileError(View& view) {
    view.showMessage(LoadText(kTextFileReadError), LoadText(kTextBatchHandling),
                     MessageIcon::Error);
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

BatchOutcome RunBatchFile(BatchContext& context, const std::string& path) {
    WaitCursor waitCursor(context.view);
    ScriptReader reader;
    if (!reader.Open(path)) return FileError(context.view);

    BatchSession session(context, ScriptFolder(path));
    bool firstLine = true;
    while (std::optional<std::string> text = reader.NextLine()) {
        if (firstLine && IsRomImageLine(*text)) {
            reader.Close();  // before the download opens it again
            return {BatchEnd::RomImage, context.downloadApplication(path)};
        }
        firstLine = false;
        if (text->empty() || IsScriptComment(*text)) continue;
        ScriptLine line{std::move(*text), {}};
        line.words = SplitScriptWords(line.text);
        if (line.words.empty()) continue;
        if (RunScriptLine(session, line) == Step::Stop)
            return {BatchEnd::Stopped, 1, session.eepromRestoreFailed()};
    }
    if (reader.failed()) return FileError(context.view);
    return {BatchEnd::Finished, 1, session.eepromRestoreFailed()};
}

}  // namespace tarmix
