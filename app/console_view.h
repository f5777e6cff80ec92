// The console front end of headless runs: the main window's view on a terminal or in a log.
// Status texts, messages, questions and changes of the information fields go to the error
// stream (with a progress bar when that is a terminal); questions are answered as --yes or
// --no says; with --json every event is also one JSON object per line on the event stream.
// A small loop runs the main window's timers on the clock until the window closes.
#pragma once

#include <atomic>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>

#include "app/json_event.h"
#include "app/launcher.h"
#include "link/wire_trace.h"
#include "platform/transfer_meter.h"

namespace tarmix {

struct ConsoleOptions {
    bool answerYes = false;    // how questions are answered
    bool progressBar = false;  // draw a progress bar on the error stream (a terminal)
    // An unattended run gives up when no controller is identified within this time.
    std::optional<Millis> waitForController;
};

class ConsoleFrontEnd final : public FrontEnd, public MainWindowView, public TimerHost {
  public:
    // `events`: where JSON events go (nullptr: none). `stop`: set by a signal handler to end
    // the run between two ticks (nullptr: never).
    ConsoleFrontEnd(std::ostream& errors, std::ostream* events, Clock& clock,
                    ConsoleOptions options, const std::atomic<bool>* stop = nullptr);

    // FrontEnd
    MainWindowView& view() override { return *this; }
    TimerHost& timers() override { return *this; }
    // Records the bytes of the current tick: a failed run keeps its last operation.
    WireObserver* wireObserver() override { return &lastOperation_; }
    // Runs the timers until the window closes, the stop flag is set, or an unattended run
    // has waited too long (or can no longer get anywhere: no timer left).
    RunEnd run(CDownloadDialog& window) override;
    // The summary line and the "result" event. A failed run saves the wire trace of its
    // last operation and names the file.
    void finish(int exitCode, const std::string& reason) override;

    // View
    void setStatus(const std::string& text) override;
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
    void setModelPicture(int) override {}
    void setLanguage(int) override {}
    void setTitle(const std::string&) override {}
    void setSourceText(const std::string&) override {}
    std::optional<std::string> chooseFile(const std::string&) override { return std::nullopt; }
    void closeWindow() override {}

    // TimerHost
    void start(int id, Millis period) override;
    void stop(int id) override { timers_.erase(id); }

  private:
    // The wire trace of the tick in progress (each tick starts it afresh). A long operation
    // (a script of many downloads) keeps only its latest traffic: what led up to a failure.
    class LastOperation final : public WireObserver {
      public:
        // The trace is cut back to this many characters of its end once it holds twice as many.
        static constexpr size_t kKept = 128 * 1024;

        explicit LastOperation(Millis origin) : trace_(text_, origin) {}
        void onSent(Millis at, const uint8_t* data, size_t count) override {
            trace_.onSent(at, data, count);
            bound();
        }
        void onReceived(Millis at, const uint8_t* data, size_t count) override {
            trace_.onReceived(at, data, count);
            bound();
        }
        void clear() { text_.str(""); }
        std::string text() const { return text_.str(); }

      private:
        void bound();

        std::ostringstream text_;
        WireTrace trace_;
    };

    struct Timer {
        Millis period;
        Millis due;
    };

    // One line on the error stream (the progress bar is taken away first).
    void line(const std::string& text);
    void event(const JsonEvent& json);
    void clearProgressBar();
    void drawProgressBar();
    std::string caption(Control control, const char* fallback) const;
    std::string SaveLastOperation() const;

    std::ostream& errors_;
    std::ostream* events_;
    Clock& clock_;
    ConsoleOptions options_;
    const std::atomic<bool>* stop_;
    LastOperation lastOperation_;

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
};

}  // namespace tarmix
