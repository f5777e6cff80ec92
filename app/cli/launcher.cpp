#include "app/cli/launcher.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "app/cli/port_listing.h"
#include "app/cli/settings_command.h"
#include "app/cli/simulator_launcher.h"
#include "app/console/console_terminal.h"
#include "app/console/console_view.h"
#include "app/line/device_record.h"
#include "app/line/production_line.h"
#include "app/operation_trace.h"
#include "app/port_problem.h"
#include "app/settings.h"
#include "app/stop_signals.h"
#include "app/wire_tee.h"
#include "batch/backup_manifest.h"
#include "batch/dry_run.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/wire_trace.h"
#include "models/models.h"
#include "platform/program_folder.h"
#include "platform/termios_port.h"

namespace tarmix {

namespace {

namespace fs = std::filesystem;

// The monitor dialogue this build keeps to, as the window title shows it.
constexpr char kMonitorCompatibility[] = "Tarmix 3.5u";

bool displayAvailable() {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return true;
    }
    return false;
}

// Paths of PC files on the command line are taken relative to where the program was
// started; names with a drive colon or a leading "/" stay as they are.
std::string fromWorkingFolder(const std::string& path) {
    if (path.empty() || path.find(':') != std::string::npos || path.front() == '/') return path;
    std::error_code error;
    const fs::path here = fs::current_path(error);
    return error ? path : (here / path).string();
}

// The run's language: --lang, else the settings file's (the locale's before there is one).
void useRunLanguage() {
    Settings settings;
    ReadSettings(FindProgramFolders(executableFolder()).settings, settings);
    CheckSettingValues(settings);
    setLanguageIndex(settings.languageIndex);
}

void resolvePcPaths(MainWindowStart& start) {
    start.romFilePath = fromWorkingFolder(start.romFilePath);
    if (start.commandSwitch == "/d") start.firstPath = fromWorkingFolder(start.firstPath);
    if (start.commandSwitch == "/u" || start.commandSwitch == "/s")
        start.secondPath = fromWorkingFolder(start.secondPath);
}

// --port: the named devices stand behind their COM names for this run. Unless the run only
// lists the ports, a device that cannot be opened ends it before anything else, with the
// reason (and how to fix a permission problem).
bool chooseRequestedPorts(const std::vector<ChosenPort>& ports, bool mustOpen, PortMap& map) {
    for (const ChosenPort& port : ports) {
        const OpenFailure failure = mustOpen ? ProbeSerialPath(port.path) : OpenFailure::None;
        if (failure != OpenFailure::None) {
            std::cerr << "tarmix: --port " << portName(port.index) << "=" << port.path << ": "
                      << DescribeOpenFailure(failure, port.path) << "\n";
            return false;
        }
        map.setCom(port.index, SerialDeviceAt(port.path, isUsbSerialDevice(port.path)));
    }
    return true;
}

}  // namespace

int RunTarmix(int argc, char** argv, const FrontEndFactory& windowed) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    // Everything the run says, from its first refusal on, is said in the run's language.
    SetRunLanguage(ChosenLanguage(words));
    useRunLanguage();
    const ParsedCommandLine parsed = ParseCommandLine(words);
    const ToolOptions& options = parsed.options;
    if (!parsed.error.empty()) {
        std::cerr << "tarmix: " << parsed.error << "\n" << LoadText(text::kHelpHint) << "\n";
        return kResultUsage;
    }
    if (options.help) {
        std::cout << UsageText();
        return kResultOk;
    }
    if (options.settings) {
        const std::filesystem::path folder = FindProgramFolders(executableFolder()).settings;
        return options.settings->empty()
                   ? ShowSettings(folder, std::cout)
                   : ChangeSettingsFile(folder, *options.settings, std::cout, std::cerr);
    }
    if (!options.verifyBackup.empty()) {
        const BackupCheck check = VerifyBackup(options.verifyBackup);
        std::cout << DescribeBackupCheck(check);
        return check.ok() ? kResultOk : kResultCheckFailed;
    }
    if (!options.dryRun.empty()) {
        return DryRunScript(options.dryRun, std::cout) == 0 ? kResultOk : kResultCheckFailed;
    }
    if (options.version) {
        std::cout << "tarmix " << TARMIX_VERSION << " "
                  << LoadText(windowed ? text::kWithWindow : text::kConsoleOnly) << "\n"
                  << FormatText(text::kCompatibleWith, kMonitorCompatibility) << "\n";
        return kResultOk;
    }

    if (!options.line.recordSummary.empty())
        return PrintRecordSummary(options.line.recordSummary, std::cout, std::cerr);
    if (options.line.active()) return RunProductionLine(options, parsed.words);

    const LauncherArguments arguments = ReadArguments(parsed.words);
    if (const std::string refusal = CheckRunnable(options, arguments); !refusal.empty()) {
        std::cerr << "tarmix: " << refusal << "\n";
        return kResultUsage;
    }

    // The simulator outlives the window: the window closes its port first.
    SimulatorLauncher simulator;
    DemoLibrary demoLibrary;
    PortMap portMap = PortMap::fromSystem();
    if (!chooseRequestedPorts(options.ports, !options.listPorts, portMap)) return kResultNoPort;
    if (options.simulate) {
        std::vector<std::string> extra;
        if (!options.simulatorState.empty()) extra = {"--state", options.simulatorState};
        std::string error;
        const std::vector<std::string> models = SimulatorModels();
        if (!models.empty() &&
            std::find(models.begin(), models.end(), *options.simulate) == models.end()) {
            std::cerr << "tarmix: " << FormatText(text::kUnknownModel, *options.simulate) << "\n";
            for (const std::string& model : models) std::cerr << "  " << model << "\n";
            return kResultUsage;
        }
        if (!simulator.start(*options.simulate, extra, error)) {
            std::cerr << "tarmix: " << error << "\n";
            return kResultNoController;
        }
        // Its boot images are made for this run (models without an update have none); the
        // simulator says why when it cannot make them.
        // (The VANTIX models have no keyword in scripts: they have an update.)
        const int32_t code = modelByKeyword(*options.simulate);
        const bool updatable = code == 0 || findModel(code)->update != UpdateKind::NotSupported;
        if (options.libraryFolder.empty() && updatable)
            demoLibrary.make(simulator.executable(), *options.simulate, error);
        // The simulated controller is the only serial port.
        PortMap simulated;
        simulated.setLpt(portMap.lpt());
        simulated.setCom(0, {simulator.devicePath(), false});
        portMap = simulated;
    }
    if (options.listPorts) {
        ListPorts(portMap, std::cout, options.json);
        return kResultOk;
    }
    if (options.terminal) {
        std::signal(SIGPIPE, SIG_IGN);
        std::atomic<int> terminalStop{0};  // the signal the raw console caught
        const PortFactory factory = termiosPortFactory(portMap);
        return RunConsoleTerminal(
            {portMap, factory, FindProgramFolders(executableFolder()).settings, RunPortOf(options),
             STDIN_FILENO, STDOUT_FILENO, std::cerr, options.logFile, options.terminalSettings},
            terminalStop);
    }

    MainWindowStart start = PrepareMainWindow(arguments);
    // A file-system form runs on the console like the unattended forms.
    const bool fileSystemForm = options.fileSystem.form != FileSystemForm::None;
    if (fileSystemForm) {
        start.commandLineMode = true;
        start.fileSystem = options.fileSystem;
        start.resultCode = kResultOk;
    }
    const bool reportResult = arguments.reportResult || fileSystemForm;
    start.verifyAfterWrite = options.verify;
    start.runPort = RunPortOf(options);
    resolvePcPaths(start);

    std::unique_ptr<FrontEnd> frontEnd;
    if (!options.headless && !fileSystemForm && windowed && displayAvailable())
        frontEnd = windowed(argc, argv, options);
    if (!frontEnd) {
        // Without a form the console only watches: say so, and which forms do work.
        if (!options.headless && !reportResult)
            std::cerr << "tarmix: " << LoadText(text::kNoWindow) << "\n"
                      << "tarmix: " << LoadText(text::kWatchingLink) << "\n";
        ConsoleOptions console;
        console.answerYes = options.answerYes;
        // At a terminal, without --yes or --no, the operator answers as in the window.
        if (!options.answerGiven && !options.headless && isatty(STDIN_FILENO) == 1)
            console.operatorAnswers = &std::cin;
        console.progressBar = isatty(STDERR_FILENO) == 1;
        console.waitForController =
            std::chrono::seconds(options.waitSeconds.value_or(kDefaultWaitSeconds));
        // Only a form that does work leaves the trace of a failed run; the watching one
        // ends on Ctrl-C.
        if (reportResult) console.traceFolder = TraceFolder();
        CatchStopSignals();
        frontEnd = std::make_unique<ConsoleFrontEnd>(std::cerr, options.json ? &std::cout : nullptr,
                                                     systemClock(), console);
    }

    std::ofstream traceFile;
    std::unique_ptr<WireTrace> trace;
    if (!options.traceFile.empty()) {
        traceFile.open(options.traceFile, std::ios::binary | std::ios::trunc);
        if (!traceFile) {
            std::cerr << "tarmix: " << FormatText(text::kTraceUnwritable, options.traceFile)
                      << "\n";
            return kResultUsage;
        }
        trace = std::make_unique<WireTrace>(traceFile, systemClock().now());
    }
    WireTee tee(trace.get(), frontEnd->wireObserver());

    ProgramFolders folders = FindProgramFolders(executableFolder());
    if (!options.libraryFolder.empty())
        folders.library = fromWorkingFolder(options.libraryFolder);
    else if (!demoLibrary.folder().empty())
        folders.library = demoLibrary.folder();
    MainWindowServices services{frontEnd->view(),
                                frontEnd->timers(),
                                systemClock(),
                                portMap,
                                termiosPortFactory(portMap),
                                folders,
                                &tee};
    CDownloadDialog window(std::move(services), start);
    window.OnInitDialog();
    const RunEnd end = frontEnd->run(window);
    if (!window.closed()) window.CloseThroughOk();

    int exitCode = reportResult ? window.resultCode() : kResultOk;
    // A signal decides the code also when the operation it stopped ended the run itself.
    if (const int stopped = ExitCodeOfStop(PendingStop()); stopped != 0)
        exitCode = stopped;
    else if (end == RunEnd::Interrupted)
        exitCode = kResultInterrupted;
    if (end == RunEnd::NoController) exitCode = kResultNoController;
    std::string reason = DescribeResult(exitCode);
    if (exitCode != kResultOk && !window.resultDetail().empty())
        reason += "; " + window.resultDetail();
    frontEnd->finish({exitCode, reason, window.linkPort(), portMap.resolve(window.linkPort())});
    return exitCode;
}

}  // namespace tarmix
