// What the commands of one batch run share: the line being run, the last monitor answer,
// and the steps every command takes the same way (exchange, retries, failure messages).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/batch_run.h"

namespace tarmix {

// A script line as its command sees it.
struct ScriptLine {
    std::string text;                // as read: one byte per character
    std::vector<std::string> words;  // at least one; words[0] is the command word
    int number = 0;                  // its line in the script, counting from 1
    size_t count() const { return words.size(); }
};

// Where a message about a line points: "Script line 3: format d:".
std::string ScriptLinePlace(const ScriptLine& line);

// What a command leaves for the run: go on with the next line, or end here.
enum class Step { Continue, Stop };

class BatchSession {
  public:
    // An answer keeps at most this many characters.
    static constexpr size_t kAnswerCapacity = 1999;
    // The device commands judged by their answer are tried this often.
    static constexpr int kAttempts = 3;

    BatchSession(BatchContext& context, std::string scriptFolder)
        : context_(context), scriptFolder_(std::move(scriptFolder)) {}

    BatchContext& context() { return context_; }

    // Sends the command and collects its answer until the prompt, which becomes the last
    // answer (echo and prompt included). true when the answer ended with the prompt; false
    // when the line stayed silent for `silence` without one.
    bool Exchange(const std::string& command, Wait silence);
    // The most recent answer of this run; empty before the first exchange.
    const std::string& lastAnswer() const { return lastAnswer_; }

    // Runs `attempt` until it succeeds, at most kAttempts times, at once and unchanged.
    // true at the first success.
    static bool Attempts(const std::function<bool()>& attempt);

    // A command begins: its failure messages start with `heading` ("<mkdir>\n\n") and end
    // with the place of `line`.
    void BeginCommand(std::string_view heading, const ScriptLine& line) {
        heading_ = heading;
        line_ = &line;
    }
    // The message box of a failing command: the heading, the catalogue text and, with
    // `withAnswer`, an empty line and the last answer as received; then an empty line and
    // the line's place. Returns Stop.
    Step Fail(int textId, bool withAnswer = false);
    // The message box of a command whose service this version does not have. Returns Stop.
    Step NotAvailable(std::string_view service);
    // The command being sent, in the status field.
    void ShowCommand(std::string_view text);

    // A file named in the script as a PC path, completed with the script's folder.
    std::string PcPath(std::string_view name) const;

    // A step that does not stop the run failed (restoreeprom).
    void NoteEepromRestoreFailed() { eepromRestoreFailed_ = true; }
    bool eepromRestoreFailed() const { return eepromRestoreFailed_; }

  private:
    void ShowError(const std::string& text);

    BatchContext& context_;
    std::string scriptFolder_;
    std::string lastAnswer_;
    std::string_view heading_;
    const ScriptLine* line_ = nullptr;
    bool eepromRestoreFailed_ = false;
};

}  // namespace tarmix
