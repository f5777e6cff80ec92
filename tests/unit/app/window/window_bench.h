// The main window on the virtual clock: a recording window and timer host, and a simulated
// controller behind COM1 (in process, no pty). Timers are ticked by hand.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/window/download_dialog.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"
#include "support/recording_drives.h"

namespace tarmix::testing {

class RecordingWindow final : public MainWindowView, public TimerHost {
  public:
    struct Message {
        std::string text;
        MessageIcon icon;
    };

    void setStatus(const std::string& text) override { statuses.push_back(text); }
    std::string statusText() const override { return lastStatus(); }
    void setProgressRange(int, int) override {}
    void setProgress(int) override {}
    void showMessage(const std::string& text, const std::string&, MessageIcon icon) override {
        messages.push_back({text, icon});
        if (duringMessage) duringMessage();
    }
    bool askYesNo(const std::string& text, const std::string&) override {
        questions.push_back(text);
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void setWaitCursor(bool) override {}
    void setEnabled(Control control, bool on) override { enabled[control] = on; }
    void setVisible(Control control, bool on) override { visible[control] = on; }
    void setCaption(Control control, const std::string& text) override { captions[control] = text; }
    void setChecked(Control control, bool on) override { checked[control] = on; }
    void setInfo(InfoField field, const std::string& text) override { info[field] = text; }
    void setUsage(const UsageFigures& figures) override { usage = figures; }
    void setModelPicture(int model) override { picture = model; }
    void setLanguage(int index) override { languageRadio = index; }
    void setTitle(const std::string& text) override { title = text; }
    void setSourceText(const std::string& text) override { source = text; }
    std::optional<std::string> chooseFile(const std::string&) override { return chosenFile; }
    std::optional<std::string> chooseFolder(const std::string&) override { return chosenFolder; }
    std::optional<std::string> chooseSaveFile(const std::string& name) override {
        proposedNames.push_back(name);
        return chosenSaveFile;
    }
    std::vector<std::string> chooseFiles() override { return chosenFiles; }
    std::optional<std::string> chooseRomImage() override { return chosenFile; }
    DriveView* driveView() override { return withDrives ? &drives : nullptr; }
    void closeWindow() override { closed = true; }
    void printEntry(const std::string& line, const JsonEvent&) override { entries.push_back(line); }
    void setTerminalShown(bool shown) override { terminalShown = shown; }
    void focusTerminal() override { ++terminalFocus; }
    std::string shownTerminalText() const override { return terminalText; }
    // The terminal's text as the view would hold it (erasing assumes ASCII at the end).
    void updateTerminal(const TerminalUpdate& update) override {
        for (const TerminalPiece& piece : update) {
            switch (piece.kind) {
                case TerminalPiece::Text:
                    terminalText += piece.text;
                    break;
                case TerminalPiece::NewLine:
                    terminalText += '\n';
                    break;
                case TerminalPiece::Erase:
                    terminalText.pop_back();
                    break;
                case TerminalPiece::Drop: {
                    // `count` characters: UTF-8 continuation bytes go with their lead.
                    size_t end = 0;
                    for (size_t n = 0; n < piece.count && end < terminalText.size(); ++n) {
                        ++end;
                        while (end < terminalText.size() && (terminalText[end] & 0xc0) == 0x80)
                            ++end;
                    }
                    terminalText.erase(0, end);
                    break;
                }
            }
        }
    }

    void start(int id, Millis period) override {
        timers[id] = period;
        timerLog.push_back("start " + std::to_string(id));
    }
    void stop(int id) override {
        timers.erase(id);
        timerLog.push_back("stop " + std::to_string(id));
    }

    std::string lastStatus() const { return statuses.empty() ? "" : statuses.back(); }
    bool isEnabled(Control control) const {
        auto found = enabled.find(control);
        return found != enabled.end() && found->second;
    }
    bool isChecked(Control control) const {
        auto found = checked.find(control);
        return found != checked.end() && found->second;
    }

    std::vector<std::string> statuses;
    std::vector<std::string> entries;
    std::vector<Message> messages;
    std::vector<std::string> questions;
    std::deque<bool> answers;
    std::function<void()> duringMessage;
    std::map<Control, bool> enabled, visible, checked;
    std::map<Control, std::string> captions;
    std::map<InfoField, std::string> info;
    UsageFigures usage;
    int picture = -1;
    int languageRadio = -1;
    std::string title, source;
    std::optional<std::string> chosenFile;
    std::optional<std::string> chosenFolder;
    std::optional<std::string> chosenSaveFile;
    std::vector<std::string> chosenFiles;
    std::vector<std::string> proposedNames;
    bool withDrives = false;  // the window has the extended view's drive area
    RecordingDrives drives;
    bool closed = false;
    bool terminalShown = false;
    int terminalFocus = 0;
    std::string terminalText;
    std::map<int, Millis> timers;
    std::vector<std::string> timerLog;
};

// Every line the program sends to the controller.
class SentLines final : public WireObserver {
  public:
    void onSent(Millis, const uint8_t* data, size_t count) override {
        for (size_t i = 0; i < count; ++i) {
            if (data[i] == '\r') {
                lines.push_back(current);
                current.clear();
            } else {
                current += char(data[i]);
            }
        }
    }
    void onReceived(Millis, const uint8_t*, size_t) override {}
    size_t count(const std::string& line) const {
        return size_t(std::count(lines.begin(), lines.end(), line));
    }
    std::vector<std::string> lines;
    std::string current;
};

// What can go wrong with the port behind COM1.
struct PortFaults {
    bool silent = false;   // the controller left its monitor: nothing comes back
    bool gone = false;     // the adapter was pulled out: the line fails, opens fail
    int refusedOpens = 0;  // the next opens fail (a USB device coming back)
};

// The in-process port, which can fall silent as a controller that left its monitor.
class GatedPort final : public PortBackend {
  public:
    // Only COM1 opens, and not even that with `noPorts`.
    // A refused open fails for `refusal`.
    GatedPort(sim::Controller& controller, Clock& clock, PortFaults& faults, bool noPorts,
              OpenFailure refusal = OpenFailure::Missing)
        : port_(controller, clock), clock_(clock), faults_(faults), refusal_(refusal) {
        for (int i = noPorts ? 0 : 1; i <= kLptPortIndex; ++i) port_.refuseOpen(portName(i));
    }
    bool open(const std::string& name) override {
        failure_ = opens(name) ? OpenFailure::None : refusal_;
        return failure_ == OpenFailure::None;
    }
    OpenFailure openFailure() const override { return failure_; }
    void close() override { port_.close(); }
    bool isOpen() const override { return port_.isOpen(); }
    bool configure(uint32_t baud) override { return port_.configure(baud); }
    long bytesWaiting() override {
        if (faults_.gone) return -1;
        return faults_.silent ? (isOpen() ? 0 : -1) : port_.bytesWaiting();
    }
    long read(uint8_t* data, size_t capacity) override {
        if (faults_.gone) return -1;
        return faults_.silent ? 0 : port_.read(data, capacity);
    }
    long write(const uint8_t* data, size_t count, Millis timeout) override {
        if (faults_.gone) return -1;
        return faults_.silent ? long(count) : port_.write(data, count, timeout);
    }
    void waitForInput(Millis timeout) override {
        if (faults_.silent || faults_.gone)
            clock_.sleep(timeout);
        else
            port_.waitForInput(timeout);
    }

  private:
    bool opens(const std::string& name) {
        if (faults_.gone) return false;
        if (faults_.refusedOpens > 0) {
            --faults_.refusedOpens;
            return false;
        }
        return port_.open(name);
    }

    sim::InProcessPort port_;
    Clock& clock_;
    PortFaults& faults_;
    OpenFailure refusal_;
    OpenFailure failure_ = OpenFailure::None;
};

inline std::string uniqueFolderName(const std::string& stem) {
    static int counter = 0;
    return stem + "_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

struct WindowBench {
    explicit WindowBench(const std::string& keyword, MainWindowStart start = {})
        : controller(*sim::findModel(keyword), clock),
          folder(std::filesystem::temp_directory_path() / uniqueFolderName("tarmix_window")),
          settingsFolder(folder) {
        std::filesystem::create_directories(folder);
        writeSettings("[LANGUAGE]: 1\r\n");
        map.setCom(0, {"sim", false});
        map.setLpt((folder / "lpt1").string());
        makeWindow(start);
    }
    ~WindowBench() {
        window.reset();
        std::filesystem::remove_all(folder);
    }

    void makeWindow(const MainWindowStart& start) { makeWindowOn(view, view, start); }
    // The window on another view and timer host (a front end under test).
    void makeWindowOn(MainWindowView& shown, TimerHost& timers, const MainWindowStart& start,
                      WireObserver* observer = nullptr) {
        window.reset();
        window = std::make_unique<CDownloadDialog>(
            MainWindowServices{
                shown, timers, clock, map,
                [this] {
                    return std::make_unique<GatedPort>(controller, clock, faults, noPorts, refusal);
                },
                ProgramFolders{settingsFolder, folder / "Library"}, observer ? observer : &sent},
            start);
    }
    void writeSettings(const std::string& text) {
        std::ofstream(folder / "Tarmix.ini", std::ios::binary) << text;
    }
    // Lets the period of a running timer pass and ticks it. false when it is not running.
    bool tick(int id = CDownloadDialog::kWatchTimer) {
        auto running = view.timers.find(id);
        if (running == view.timers.end()) return false;
        clock.advance(running->second);
        window->onTimer(id);
        return true;
    }

    VirtualClock clock;
    sim::Controller controller;
    RecordingWindow view;
    SentLines sent;
    PortMap map;
    PortFaults faults;
    bool& silent = faults.silent;
    bool noPorts = false;
    OpenFailure refusal = OpenFailure::Missing;  // why a refused port does not open
    std::filesystem::path folder;
    std::filesystem::path settingsFolder;
    std::unique_ptr<CDownloadDialog> window;
};

}  // namespace tarmix::testing
