// The console front end of headless runs: the main window's view on a terminal or in a log.
// Status texts, messages, questions and changes of the information fields go to the error
// stream (with a progress bar when that is a terminal); questions are answered as --yes or
// --no says; with --json every event is also one JSON object per line on the event stream.
// A small loop runs the main window's timers on the clock until the window closes.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/json_event.h"
#include "app/operation_trace.h"
#include "app/window/front_end.h"
#include "platform/transfer_meter.h"

namespace tarmix {

struct ConsoleOptions {
    bool answerYes = false;  // how questions are answered
    // Where the operator answers questions (y/N) instead; nullptr: answerYes answers.
    std::istream* operatorAnswers = nullptr;
    bool progressBar = false;  // draw a progress bar on the error stream (a terminal)
    // An unattended run gives up when no controller is identified within this time.
    std::optional<Millis> waitForController;
    // Where a failed run leaves the wire trace of its last operation (empty: nowhere).
    std::filesystem::path traceFolder;
};

// Every character of `text` that a terminal would act on (C0 and C1 controls, DEL) as "?":
// text from a script or a device must not move the cursor or clear the operator's screen.
std::string WithoutControls(std::string_view text);

class ConsoleFrontEnd : public FrontEnd, public MainWindowView, public TimerHost {
  public:
    // `events`: where JSON events go (nullptr: none). The run ends between two ticks once a
    // signal's stop request is pending (platform/stop_request.h).
    ConsoleFrontEnd(std::ostream& errors, std::ostream* events, Clock& clock,
                    ConsoleOptions options);

    // The station of a production line this console belongs to: every JSON event says so.
    void setStation(int station) { station_ = station; }

    // FrontEnd
    MainWindowView& view() override { return *this; }
    TimerHost& timers() override { return *this; }
    // Records the bytes of the current tick: a failed run keeps its last operation.
    WireObserver* wireObserver() override { return &lastOperation_; }
    // Runs the timers until the window closes, the stop flag is set, or an unattended run
    // has waited too long (or can no longer get anywhere: no timer left).
    RunEnd run(CDownloadDialog& window) override;
    // The summary line and the "result" event, with the port and device used. A failed run
    // saves the wire trace of its last operation and names the file.
    void finish(const RunOutcome& outcome) override;

    // View
    void setStatus(const std::string& text) override;
    std::string statusText() const override { return status_; }
    void setProgressRange(int low, int high) override;
    void setProgress(int position) override;
    void setTransferred(uint64_t done, uint64_t total) override;
    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
    void setWaitCursor(bool) override {}

    // MainWindowView
    void setEnabled(Control, bool) override {}
    void setVisible(Control, bool) override {}
    void setCaption(Control control, const std::string& caption) override;
    void setChecked(Control, bool) override {}
    void setInfo(InfoField field, const std::string& text) override;
    void setUsage(const UsageFigures& usage) override;
    void reportDownload(const DownloadSummary& summary) override;
    void setModelPicture(int) override {}
    void setLanguage(int) override {}
    void setTitle(const std::string&) override {}
    void setSourceText(const std::string&) override {}
    std::optional<std::string> chooseFile(const std::string&) override { return std::nullopt; }
    void closeWindow() override {}
    void printEntry(const std::string& line, const JsonEvent& json) override;
    // The console run has no keyboard for a terminal (tarmix --terminal is its own run).
    void setTerminalShown(bool) override {}
    void focusTerminal() override {}
    void updateTerminal(const TerminalUpdate&) override {}

    // TimerHost
    void start(int id, Millis period) override;
    void stop(int id) override { timers_.erase(id); }

  private:
    struct Timer {
        Millis period;
        Millis due;
    };

    // One line on the error stream (the progress bar is taken away first).
    void line(const std::string& text);
    void event(const JsonEvent& json);
    void clearProgressBar();
    void drawProgressBar();
    std::string caption(Control control, int fallbackTextId) const;
    std::string SaveLastOperation();

    std::ostream& errors_;
    std::ostream* events_;
    Clock& clock_;
    ConsoleOptions options_;
    OperationTrace lastOperation_;  // the tick in progress (each tick starts it afresh)

    std::map<int, Timer> timers_;
    std::map<Control, std::string> captions_;
    std::map<InfoField, std::string> info_;
    std::string status_;
    std::optional<UsageFigures> usage_;
    int progressLow_ = 0;
    int progressHigh_ = kProgressRange;
    std::optional<int> progress_;
    bool progressShown_ = false;
    TransferMeter transfer_;
    std::optional<int> station_;
};

}  // namespace tarmix
