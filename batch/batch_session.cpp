#include "batch/batch_session.h"

#include "batch/script_paths.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/latin1.h"
#include "platform/stop_request.h"

namespace tarmix {

std::string ScriptLinePlace(const ScriptLine& line) {
    return FormatText(text::kScriptLine, line.number, Latin1ToUtf8(line.text));
}

bool BatchSession::Exchange(const std::string& command, Wait silence) {
    return context_.monitor.SendAndWaitPrompt(command, lastAnswer_, kAnswerCapacity, silence).ok();
}

bool BatchSession::Attempts(const std::function<bool()>& attempt) {
    // A stop request ends the retries: the attempt that failed was the last.
    for (int i = 0; i < kAttempts && (i == 0 || !StopRequested()); ++i)
        if (attempt()) return true;
    return false;
}

Step BatchSession::Fail(int textId, bool withAnswer) {
    std::string text = std::string(heading_) + LoadText(textId);
    if (withAnswer) text += "\n\n" + Latin1ToUtf8(lastAnswer_);
    ShowError(text);
    return Step::Stop;
}

Step BatchSession::NotAvailable(std::string_view service) {
    ShowError(std::string(heading_) + std::string(service) + " is not available in this version.");
    return Step::Stop;
}

void BatchSession::ShowError(const std::string& message) {
    const std::string text = line_ ? message + "\n\n" + ScriptLinePlace(*line_) : message;
    // A run that is being stopped fails on purpose: no box waits for the operator.
    if (StopRequested()) return context_.view.setStatus(text);
    context_.view.showMessage(text, LoadText(text::kBatchHandling), MessageIcon::Error);
}

void BatchSession::ShowCommand(std::string_view text) {
    if (context_.showCommand) context_.showCommand(Latin1ToUtf8(text));
}

std::string BatchSession::PcPath(std::string_view name) const {
    return ScriptFileToPcPath(name, scriptFolder_);
}

}  // namespace tarmix
