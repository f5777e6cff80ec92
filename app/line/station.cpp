#include "app/line/station.h"

#include <unistd.h>

#include <fstream>
#include <memory>

#include "app/console/console_view.h"
#include "app/operation_trace.h"
#include "app/settings.h"
#include "app/stop_signals.h"
#include "app/window/download_dialog.h"
#include "app/window/front_end.h"
#include "app/wire_tee.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/connection_watch.h"
#include "link/identify.h"
#include "link/monitor_exchange.h"
#include "link/serial.h"
#include "platform/stop_request.h"
#include "platform/termios_port.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

// How often a station looks whether its controller is still there, or its port back.
constexpr Millis kPresencePoll{500};
// A controller counts as gone after this many handshakes in a row without an answer: one
// lost answer on a busy line is not a removal.
constexpr int kSilentHandshakes = 2;
// An unplugged port must not be probed in a tight loop while nobody is there.
constexpr Millis kStopPoll{100};

// The console front end of one station: as the console's, and besides it keeps what the
// operation did for the station's result, and shows the progress on the station's line.
class StationFrontEnd final : public ConsoleFrontEnd {
  public:
    // `messageShowing` is true while a message's line goes to `errors`.
    StationFrontEnd(std::ostream& errors, std::ostream* events, ConsoleOptions options,
                    LineConsole& console, int station, bool& messageShowing)
        : ConsoleFrontEnd(errors, events, systemClock(), std::move(options)),
          console_(console),
          station_(station),
          messageShowing_(messageShowing) {
        setStation(station);
    }

    void setEnabled(Control control, bool enabled) override {
        if (control != Control::StartDownload || !enabled || identified) return;
        identified = true;
        identifiedAt = systemClock().now();
    }
    void setStatus(const std::string& text) override {
        ConsoleFrontEnd::setStatus(text);
        if (text == LoadText(text::kVerified)) verified = true;
    }
    void setProgressRange(int low, int high) override {
        ConsoleFrontEnd::setProgressRange(low, high);
        low_ = low;
        high_ = high;
    }
    void setProgress(int position) override {
        ConsoleFrontEnd::setProgress(position);
        if (high_ > low_)
            console_.stationProgress(station_, (position - low_) * 100 / (high_ - low_));
    }
    void setTransferred(uint64_t done, uint64_t total) override {
        ConsoleFrontEnd::setTransferred(done, total);
        bytesDone = done;
        allSent = done >= total;
    }
    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        messageShowing_ = true;
        ConsoleFrontEnd::showMessage(text, caption, icon);
        messageShowing_ = false;
        if (icon == MessageIcon::Error || icon == MessageIcon::Warning) message = text;
    }
    void setInfo(InfoField field, const std::string& text) override {
        ConsoleFrontEnd::setInfo(field, text);
        if (field == InfoField::Panel) panel = text;
    }
    void reportDownload(const DownloadSummary& summary) override {
        ConsoleFrontEnd::reportDownload(summary);
        download = summary;
    }

    bool identified = false;
    Millis identifiedAt{0};
    bool verified = false;
    bool allSent = false;
    uint64_t bytesDone = 0;
    std::string message;
    std::string panel;
    std::optional<DownloadSummary> download;

  private:
    LineConsole& console_;
    int station_;
    bool& messageShowing_;
    int low_ = 0;
    int high_ = kProgressRange;
};

// One line: line breaks of a message box become " / ".
std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    return text;
}

std::string verifyOutcome(bool verify, const StationFrontEnd& seen, int exitCode) {
    if (!verify) return "off";
    if (seen.verified || (exitCode == kResultOk && seen.download)) return "passed";
    return seen.allSent ? "failed" : "not reached";
}

// The station's port alone, as COM1; no parallel port (the stations would share it).
PortMap stationPorts(const std::string& port) {
    PortMap map;
    map.setCom(0, SerialDeviceAt(port, isUsbSerialDevice(port)));
    map.setLpt("");
    return map;
}

}  // namespace

fs::path StationSettings(const fs::path& userFolder, int station, std::optional<int> baud,
                         std::string& error) {
    Settings settings;
    ReadSettings(userFolder, settings);
    CheckSettingValues(settings);
    if (baud) settings.baudRate = *baud;
    std::error_code failure;
    const fs::path folder =
        fs::temp_directory_path(failure) /
        ("tarmix-station-" + std::to_string(getpid()) + "-" + std::to_string(station));
    fs::create_directories(folder, failure);
    if (failure || WriteSettings(folder, settings) != 0) {
        error = FormatText(text::kSettingsNotKept, folder.string());
        return {};
    }
    return folder;
}

Station::Station(int number, std::string port, const StationPlan& plan, LineConsole& console)
    : number_(number), port_(std::move(port)), plan_(plan), console_(console) {}

Station::~Station() {
    std::error_code ignored;
    if (!settingsFolder_.empty()) fs::remove_all(settingsFolder_, ignored);
}

const fs::path& Station::settingsFolder() {
    if (settingsFolder_.empty()) {
        std::string error;
        settingsFolder_ = StationSettings(plan_.folders.settings, number_, plan_.baud, error);
        if (settingsFolder_.empty()) console_.stationText(number_, error, true);
    }
    return settingsFolder_;
}

ControllerOutcome Station::programOne() {
    // Messages stay above the board; the other lines give way to the next status.
    bool messageShowing = false;
    LineHandOver errorLines([this, &messageShowing](const std::string& line) {
        console_.stationText(number_, line, messageShowing);
    });
    LineHandOver eventLines([this](const std::string& line) { console_.event(line); });
    std::ostream errors(&errorLines);
    std::ostream events(&eventLines);
    ConsoleOptions options;
    options.waitForController = plan_.waitFor;
    options.traceFolder = TraceFolder();
    StationFrontEnd seen(errors, plan_.json ? &events : nullptr, options, console_, number_,
                         messageShowing);

    std::ofstream traceFile;
    std::optional<WireTrace> trace;
    if (!plan_.traceFile.empty()) {
        traceFile.open(plan_.traceFile + "." + std::to_string(number_),
                       std::ios::binary | std::ios::app);
        trace.emplace(traceFile, systemClock().now());
    }
    WireTee tee(trace ? &*trace : nullptr, seen.wireObserver());

    const PortMap ports = stationPorts(port_);
    MainWindowServices services{seen,
                                seen,
                                systemClock(),
                                ports,
                                termiosPortFactory(ports),
                                {settingsFolder(), plan_.folders.library},
                                &tee};
    MainWindowStart start;
    start.commandLineMode = true;
    start.commandSwitch = "/p";
    start.romFilePath = plan_.file;
    start.verifyAfterWrite = plan_.verify;

    ControllerOutcome outcome;
    {
        CDownloadDialog window(std::move(services), start);
        window.OnInitDialog();
        const RunEnd end = seen.run(window);
        // A stop decides the code unless it came after the controller was done.
        const bool done = !window.awaitingController() && window.resultCode() == kResultOk;
        if (!window.closed()) window.CloseThroughOk();
        outcome.exitCode = window.resultCode();
        if (const int stopped = ExitCodeOfStop(PendingStop()); stopped != 0 && !done)
            outcome.exitCode = stopped;
        else if (end == RunEnd::Interrupted && !done)
            outcome.exitCode = kResultInterrupted;
        if (end == RunEnd::NoController) outcome.exitCode = kResultNoController;
        outcome.modelCode = window.device().hardwareModel;
        if (seen.identified) outcome.monitorBefore = window.device().firmwareVersion;
    }
    outcome.handled = seen.identified;
    outcome.reason = DescribeResult(outcome.exitCode);
    outcome.message = oneLine(seen.message);
    outcome.model = seen.panel;
    outcome.bytes = seen.download ? seen.download->bytes : seen.bytesDone;
    outcome.blocks = seen.download ? seen.download->blocks : 0;
    // A failed operation took from the identification to its end.
    outcome.duration = seen.download     ? seen.download->duration
                       : seen.identified ? systemClock().now() - seen.identifiedAt
                                         : Millis{0};
    outcome.verifyOutcome = verifyOutcome(plan_.verify, seen, outcome.exitCode);
    seen.finish({outcome.exitCode, outcome.reason, "COM1", port_});
    if (outcome.handled) outcome.monitorAfter = askVersion();
    outcome.finished = std::chrono::system_clock::now();
    return outcome;
}

namespace {

// The link to a station's controller outside the window: for the questions between two
// controllers.
struct StationLink {
    explicit StationLink(const std::string& port)
        : ports(stationPorts(port)),
          serial(termiosPortFactory(ports), systemClock()),
          monitor(serial) {
        open = serial.Open("COM1") == 0 && serial.Configure(CSerial::kLinkBaud) == 0;
    }
    // What the controller answers `command` within the watch's wait.
    std::string ask(std::string_view command) {
        std::string answer;
        monitor.CollectAnswer(std::string(command), answer, kAnswerCapacity, kWatchAnswerWait);
        return answer;
    }
    bool answers() { return isHandshakeAnswer(ask(kHandshakeCommand)); }
    // The answers to these questions keep at most this many bytes.
    static constexpr size_t kAnswerCapacity = 998;
    PortMap ports;
    CSerial serial;
    MonitorExchange monitor;
    bool open = false;
};

}  // namespace

std::vector<int> SharedControllers(const std::vector<std::string>& ports) {
    // The handshake's answer as a listening port hears it.
    constexpr std::string_view kAnswerMark = "here I am";
    std::vector<std::unique_ptr<StationLink>> links;
    for (const std::string& port : ports) links.push_back(std::make_unique<StationLink>(port));
    std::vector<int> shared(ports.size(), -1);
    for (size_t asking = 0; asking < links.size(); ++asking) {
        if (!links[asking]->open || shared[asking] >= 0) continue;
        for (auto& link : links)
            if (link->open) link->serial.DrainInput();
        if (!links[asking]->answers()) continue;
        for (size_t other = asking + 1; other < links.size(); ++other) {
            std::string heard;
            if (!links[other]->open || shared[other] >= 0) continue;
            links[other]->monitor.Receive(heard, kWatchAnswerCapacity, kWatchAnswerCapacity,
                                          Wait::Fixed(Millis{0}));
            if (heard.find(kAnswerMark) != std::string::npos) shared[other] = int(asking);
        }
    }
    return shared;
}

std::optional<int32_t> Station::askVersion() {
    StationLink link(port_);
    if (!link.open || !link.answers()) return std::nullopt;
    return parseVersionAnswer(link.ask(kVersionCommand));
}

bool Station::waitUntilRemoved() {
    console_.stationStatus(number_, LoadText(text::kTakeAway));
    std::optional<StationLink> link;
    int silent = 0;
    while (!StopRequested()) {
        if (!link || !link->open) link.emplace(port_);
        if (!link->open || !link->answers()) {
            if (!link->open || ++silent >= kSilentHandshakes) return true;
        } else {
            silent = 0;
        }
        for (Millis waited{0}; waited < kPresencePoll && !StopRequested(); waited += kStopPoll)
            systemClock().sleep(kStopPoll);
    }
    return false;
}

bool Station::waitForPort() {
    bool said = false;
    while (!StopRequested()) {
        if (ProbeSerialPath(port_) == OpenFailure::None) return true;
        if (!std::exchange(said, true))
            console_.stationStatus(number_, LoadText(text::kWaitingForPort));
        systemClock().sleep(kStopPoll);
    }
    return false;
}

}  // namespace tarmix
