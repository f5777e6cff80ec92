// tarmix-faults: one run of the program's console form against the simulated controller in
// this process, on the virtual clock, with a seeded bad line between them. A run that takes
// minutes of line time takes milliseconds here, and the same seed gives the same run byte
// for byte: the fault matrix's --in-process runs use it, and a failing seed is replayed
// alone with it.
//
//   tarmix-faults --model KEYWORD --state DIR --settings DIR [--faults PLAN] [--seed N]
//                 [--log FILE] [--lpt PIPE] [--new-program ROM] -- TARMIX-ARGUMENTS...
//   tarmix-faults --port DEVICE --settings DIR [--log FILE] [--lpt PIPE] [--new-program ROM]
//                 -- TARMIX-ARGUMENTS...
//
// The device's state is read from DIR before the run and written back after it, as
// tarmix-sim does. The program's settings (Tarmix.ini) come from the settings folder.
// Everything the console says, and every injected fault, goes to the log (stderr without
// --log); relative paths in the arguments are taken from the working folder, so that two
// runs of one seed in two folders write the same log. The exit status is the program's.
// With --lpt the program's parallel port LPT1 is a named pipe made at PIPE, which the
// controller reads; the run switches the parallel transfer on as the user does with the
// window's LPT1 choice before the controller is found (the parallel line has no faults).
// With --new-program the run is the extended view's "New program ..." instead of a form of
// the command line: the controller is identified once on the line, then ROM goes into the
// root of A: as Application.exe (--verify among the arguments reads it back); the exit
// status is 0 or 1.
// With --port the controller is not in this process: the run goes to DEVICE (tarmix-sim's
// pty, its faults its own) on the system clock, and --lpt names the pipe tarmix-sim made.
// That is the pty path of the parallel transfer and of New program, which the console
// form of the program cannot start.
//
//   tarmix-faults --serve
//
// Many runs from one process, as the matrix makes them: each line on stdin is a run's
// folder and its arguments (as above), separated by tabs; the run goes on in a child forked
// from this process, in that folder, and its exit status comes back as a line on stdout (a
// negative number: the signal that ended it). A fork costs a fraction of starting the
// program afresh, and the child starts from the same state, so that its log is the same
// bytes as that of the run started on its own.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/console/console_view.h"
#include "app/settings.h"
#include "app/window/front_end.h"
#include "app/wire_tee.h"
#include "ffs/new_program.h"
#include "lang/catalog.h"
#include "lang/text_ids.h"
#include "link/identify.h"
#include "link/monitor_exchange.h"
#include "link/wire_trace.h"
#include "platform/clock.h"
#include "platform/port_map.h"
#include "platform/stop_request.h"
#include "platform/termios_port.h"
#include "sim/controller.h"
#include "sim/fault_injector.h"
#include "sim/in_process_port.h"

namespace tarmix {
namespace {

namespace fs = std::filesystem;

constexpr int kUsage = 125;  // the runner could not run (the program never returns it)
// A run still going after this much line time hangs: it is stopped as by two SIGTERMs, and
// the runner ends with kHang (what `timeout` returns).
constexpr Millis kHangAfter = std::chrono::hours(2);
constexpr int kHang = 124;

// The virtual clock, with a limit: the program's own waits end, however long they are.
class LimitedClock final : public Clock {
  public:
    Millis now() const override { return clock_.now(); }
    void sleep(Millis duration) override {
        clock_.advance(duration);
        if (clock_.now() < kHangAfter || hung_) return;
        hung_ = true;
        RequestStop(StopCause::Terminate);
        RequestAbandon();
    }
    bool hung() const { return hung_; }

  private:
    VirtualClock clock_;
    bool hung_ = false;
};
constexpr char kUsageText[] =
    "usage: tarmix-faults --model KEYWORD --state DIR --settings DIR [--faults PLAN] "
    "[--seed N] [--log FILE] [--lpt PIPE] [--new-program ROM] -- TARMIX-ARGUMENTS...\n"
    "   or: tarmix-faults --port DEVICE --settings DIR [--log FILE] [--lpt PIPE] "
    "[--new-program ROM] -- TARMIX-ARGUMENTS...\n"
    "   or: tarmix-faults --serve\n";

struct RunnerOptions {
    std::string model;
    fs::path state;
    fs::path settings;
    std::optional<sim::FaultPlan> faults;
    uint64_t seed = 1;
    std::string logFile;
    std::string lpt;
    std::string port;        // a real serial device: the controller is not in this process
    std::string newProgram;  // the ROM image New program sends; empty: a command-line form
    std::vector<std::string> program;  // the program's own command line
};

bool readOptions(int argc, char** argv, RunnerOptions& options, std::string& error) {
    int i = 1;
    for (; i < argc && std::string(argv[i]) != "--"; ++i) {
        const std::string word = argv[i];
        if (i + 1 >= argc) {
            error = word + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        if (word == "--model") {
            options.model = value;
        } else if (word == "--state") {
            options.state = value;
        } else if (word == "--settings") {
            options.settings = value;
        } else if (word == "--log") {
            options.logFile = value;
        } else if (word == "--lpt") {
            options.lpt = value;
        } else if (word == "--port") {
            options.port = value;
        } else if (word == "--new-program") {
            options.newProgram = value;
        } else if (word == "--seed") {
            options.seed = std::stoull(value);
        } else if (word == "--faults") {
            if (!sim::ParseFaultPlan(value, options.faults.emplace(), error)) return false;
        } else {
            error = "unknown option " + word;
            return false;
        }
    }
    options.program.assign(argv + std::min(i + 1, argc), argv + argc);
    const bool inProcess = options.port.empty();
    if ((inProcess && (options.model.empty() || options.state.empty())) ||
        options.settings.empty() || options.program.empty()) {
        error =
            "--model and --state (or --port), --settings and the program's arguments are needed";
        return false;
    }
    return true;
}

// The program's console form as the launcher runs it, on this clock and port.
int runProgram(const RunnerOptions& runner, Clock& clock, const PortFactory& ports,
               std::ostream& log) {
    const ParsedCommandLine parsed = ParseCommandLine(runner.program);
    const LauncherArguments arguments = ReadArguments(parsed.words);
    if (!parsed.error.empty()) {
        log << "tarmix: " << parsed.error << "\n";
        return kResultUsage;
    }
    if (const std::string refusal = CheckRunnable(parsed.options, arguments); !refusal.empty()) {
        log << "tarmix: " << refusal << "\n";
        return kResultUsage;
    }
    Settings stored;
    ReadSettings(runner.settings, stored);
    CheckSettingValues(stored);
    setLanguageIndex(stored.languageIndex);

    MainWindowStart start = PrepareMainWindow(arguments);
    // A file-system form runs as the unattended forms do.
    const bool fileSystemForm = parsed.options.fileSystem.form != FileSystemForm::None;
    if (fileSystemForm) {
        start.commandLineMode = true;
        start.fileSystem = parsed.options.fileSystem;
        start.resultCode = kResultOk;
    }
    start.verifyAfterWrite = parsed.options.verify;
    ConsoleOptions console;
    console.answerYes = parsed.options.answerYes;
    console.waitForController =
        std::chrono::seconds(parsed.options.waitSeconds.value_or(kDefaultWaitSeconds));
    ConsoleFrontEnd frontEnd(log, nullptr, clock, console);
    // --trace FILE keeps the wire trace, on the virtual clock, as the program's own does.
    std::ofstream traceFile;
    std::unique_ptr<WireTrace> trace;
    if (!parsed.options.traceFile.empty()) {
        traceFile.open(parsed.options.traceFile, std::ios::binary | std::ios::trunc);
        trace = std::make_unique<WireTrace>(traceFile, clock.now());
    }
    WireTee tee(trace.get(), frontEnd.wireObserver());
    PortMap map;
    map.setCom(0, {runner.port.empty() ? "simulated controller" : runner.port, false});
    if (!runner.lpt.empty()) map.setLpt(runner.lpt);
    CDownloadDialog window({frontEnd.view(),
                            frontEnd.timers(),
                            clock,
                            map,
                            ports,
                            {runner.settings, parsed.options.libraryFolder},
                            &tee},
                           start);
    window.OnInitDialog();
    if (!runner.lpt.empty()) window.OnComLpt();
    const RunEnd end = frontEnd.run(window);
    if (!window.closed()) window.CloseThroughOk();
    int exitCode = arguments.reportResult || fileSystemForm ? window.resultCode() : kResultOk;
    if (end == RunEnd::NoController) exitCode = kResultNoController;
    std::string reason = DescribeResult(exitCode);
    if (exitCode != kResultOk && !window.resultDetail().empty())
        reason += "; " + window.resultDetail();
    frontEnd.finish({exitCode, reason, window.linkPort(), "simulated controller"});
    return exitCode;
}

// The controller's end of the parallel port: a named pipe made afresh at `path` and opened
// for reading first, so that the program's open for writing finds a reader. -1 without a
// path, or with an error.
int openParallelPipe(const std::string& path, std::string& error) {
    if (path.empty()) return -1;
    ::unlink(path.c_str());
    const int fd = ::mkfifo(path.c_str(), 0600) == 0
                       ? ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)
                       : -1;
    if (fd < 0) error = "cannot make the parallel pipe " + path + ": " + std::strerror(errno);
    return fd;
}

// New program as the extended view sends it, on a controller identified as the window does
// first (model, monitor version, drives), at the link's rate.
int runNewProgram(const RunnerOptions& runner, Clock& clock, const PortFactory& ports,
                  std::ostream& log) {
    const ParsedCommandLine parsed = ParseCommandLine(runner.program);
    Settings stored;
    ReadSettings(runner.settings, stored);
    CheckSettingValues(stored);
    setLanguageIndex(stored.languageIndex);
    ConsoleFrontEnd frontEnd(log, nullptr, clock, ConsoleOptions{});
    CSerial serial(ports, clock);
    if (serial.Open("COM1") != 0 || serial.Configure(CSerial::kLinkBaud) != 0) return 1;
    MonitorExchange monitor(serial);
    const auto ask = [&monitor](const std::string& command) {
        std::string answer;
        monitor.CollectAnswer(command, answer, 999, Wait::Fixed(Millis{100}));
        return answer;
    };
    DeviceDescription device;
    identifyModel(ask("please answer me"), device, "");
    applyVersion(device, parseVersionAnswer(ask("tell version")));
    applyDrives(device, parseDrivesAnswer(ask("tell drives")));
    device.deviceIdentified = true;
    bool askBeforeOverwrite = false;
    TransferContext context{monitor, frontEnd.view(),      device, askBeforeOverwrite,
                            {},      parsed.options.verify};
    const int result = DownloadProgram(context, runner.newProgram, "A:\\");
    log << "tarmix-faults: New program " << (result == 0 ? "done" : "failed") << "\n";
    return result == 0 ? 0 : 1;
}

int runOperation(const RunnerOptions& runner, Clock& clock, const PortFactory& ports,
                 std::ostream& log) {
    return runner.newProgram.empty() ? runProgram(runner, clock, ports, log)
                                     : runNewProgram(runner, clock, ports, log);
}

int run(int argc, char** argv);

// A run of the server still going after this much real time is ended by SIGALRM: the
// virtual clock's limit ends any wait of the program, so only a loop that never waits
// gets here.
constexpr unsigned kServedRunSeconds = 60;

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    return fields;
}

// The child's end of one served run: in its folder, with stdin and stdout away from the
// server's pipes.
[[noreturn]] void runServed(std::vector<std::string> fields) {
    const int null = ::open("/dev/null", O_RDWR);
    if (null < 0 || ::chdir(fields[0].c_str()) != 0) ::_exit(kUsage);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::alarm(kServedRunSeconds);
    fields[0] = "tarmix-faults";
    std::vector<char*> argv;
    for (std::string& field : fields) argv.push_back(field.data());
    argv.push_back(nullptr);
    const int code = run(static_cast<int>(fields.size()), argv.data());
    std::cerr.flush();
    ::_exit(code);
}

int serve() {
    builtInCatalogues();  // parsed once here instead of in every run
    // So is each language's index of texts, by which the console names what it shows.
    const int language = languageIndex();
    for (int i = 0; i < static_cast<int>(languages().size()); ++i) {
        setLanguageIndex(i);
        TextIdsOf("");
    }
    setLanguageIndex(language);
    for (std::string line; std::getline(std::cin, line);) {
        const pid_t child = ::fork();
        if (child == 0) runServed(splitTabs(line));
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child) {
            std::cerr << "tarmix-faults: cannot run a child: " << std::strerror(errno) << "\n";
            return kUsage;
        }
        std::cout << (WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status)) << std::endl;
    }
    return 0;
}

int run(int argc, char** argv) {
    RunnerOptions runner;
    std::string error;
    if (!readOptions(argc, argv, runner, error)) {
        std::cerr << "tarmix-faults: " << error << "\n" << kUsageText;
        return kUsage;
    }
    std::ofstream logFile;
    if (!runner.logFile.empty()) logFile.open(runner.logFile, std::ios::binary | std::ios::app);
    std::ostream& log = runner.logFile.empty() ? std::cerr : logFile;
    if (!runner.port.empty()) {
        PortMap map;
        map.setCom(0, {runner.port, false});
        return runOperation(runner, systemClock(), termiosPortFactory(map), log);
    }
    const sim::ModelSpec* model = sim::findModel(runner.model);
    if (!model) {
        std::cerr << "tarmix-faults: no model \"" << runner.model << "\"\n";
        return kUsage;
    }

    LimitedClock clock;
    sim::Controller controller(*model, clock);
    if (!controller.loadState(runner.state, error)) {
        std::cerr << "tarmix-faults: " << error << "\n";
        return kUsage;
    }
    std::optional<sim::FaultInjector> faults;
    if (runner.faults) faults.emplace(*runner.faults, runner.seed, log);
    const int parallelIn = openParallelPipe(runner.lpt, error);
    if (!error.empty()) {
        std::cerr << "tarmix-faults: " << error << "\n";
        return kUsage;
    }
    // The simulated controller is COM1; no other port opens.
    const PortFactory ports = [&] {
        auto port = std::make_unique<sim::InProcessPort>(controller, clock);
        for (int i = 1; i <= kLptPortIndex; ++i) port->refuseOpen(portName(i));
        port->setFaults(faults ? &*faults : nullptr);
        port->setParallelInput(parallelIn);
        return port;
    };
    const int exitCode = runOperation(runner, clock, ports, log);
    if (parallelIn >= 0) ::close(parallelIn);
    faults.reset();  // its last words (an unpaired flip) go to the log
    if (clock.hung())
        log << "tarmix-faults: still running after " << kHangAfter.count() << " ms of line time\n";
    if (!controller.saveState(runner.state, error)) {
        std::cerr << "tarmix-faults: " << error << "\n";
        return kUsage;
    }
    return clock.hung() ? kHang : exitCode;
}

}  // namespace
}  // namespace tarmix

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--serve") return tarmix::serve();
    return tarmix::run(argc, argv);
}
