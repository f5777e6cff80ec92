#include "app/cli/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <set>

#include "app/cli/file_system_cli.h"
#include "app/cli/help_layout.h"
#include "app/operation_trace.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "platform/user_folders.h"

namespace tarmix {

namespace {

constexpr int kTextHeadlessNeedsForm = 65023;  // "--headless needs a form that runs without …"
constexpr int kTextRomFileName = 65024;        // "/p takes a ROM file whose name contains …"
constexpr int kTextEmptyValue = 65025;         // "%s was given an empty value"
constexpr int kTextBadPort = 65026;            // "--port takes PATH (for COM1) or COMn=PATH …"
constexpr int kTextBadLanguage = 65027;        // "--lang takes one of %s, not \"%s\""
constexpr int kTextBadWait = 65028;            // "--wait needs a number of seconds, not \"%s\""
constexpr int kTextOneFileSystemForm = 65029;  // "only one of --ls, --tree, --mkdir, …"
constexpr int kTextNeedsDevicePath = 65030;    // "%s needs a device path, such as A:\\DATA"
constexpr int kTextBadTerminalRate = 65031;    // "--baud with --terminal takes one of %s, …"
constexpr int kTextUnknownOption = 65032;      // "unknown or incomplete option \"%s\""
constexpr int kTextNeedsModel = 65033;         // "--simulate= needs a model"
constexpr int kTextPortWithSimulate = 65034;   // "--port chooses a real device; it cannot …"
constexpr int kTextNeedsFileName = 65035;      // "%s needs a file name"
constexpr int kTextTerminalOnly = 65036;       // "--log, --timestamps and --local-echo go …"
constexpr int kTextResult = 65045;             // "result %d"
// --help: its headings, and what each form and option does.
constexpr int kTextHelpUsage = 65055;
constexpr int kTextHelpForms = 65056;
constexpr int kTextHelpDownload = 65057;
constexpr int kTextHelpBackup = 65058;
constexpr int kTextHelpCopyToDevice = 65059;
constexpr int kTextHelpCopyToPc = 65060;
constexpr int kTextHelpOpenWith = 65061;
constexpr int kTextHelpTimeFactor = 65062;
constexpr int kTextHelpPortWords = 65063;
constexpr int kTextHelpOptions = 65064;
constexpr int kTextHelpHeadless = 65065;
constexpr int kTextHelpSimulate = 65066;
constexpr int kTextHelpSimState = 65067;
constexpr int kTextHelpPort = 65068;
constexpr int kTextHelpPorts = 65069;
constexpr int kTextHelpLibrary = 65070;
constexpr int kTextHelpAnswers = 65071;
constexpr int kTextHelpJson = 65072;
constexpr int kTextHelpLanguage = 65073;
constexpr int kTextHelpVerify = 65074;
constexpr int kTextHelpTrace = 65075;
constexpr int kTextHelpWait = 65076;
constexpr int kTextHelpListPorts = 65077;
constexpr int kTextHelpSettings = 65078;
constexpr int kTextHelpTerminal = 65079;
constexpr int kTextHelpLog = 65080;
constexpr int kTextHelpTerminalBaud = 65081;
constexpr int kTextHelpTimestamps = 65082;
constexpr int kTextHelpLocalEcho = 65083;
constexpr int kTextHelpVerifyBackup = 65084;
constexpr int kTextHelpDryRun = 65085;
constexpr int kTextHelpFileSystemForms = 65086;
constexpr int kTextHelpList = 65087;
constexpr int kTextHelpTree = 65088;
constexpr int kTextHelpMakeDelete = 65089;
constexpr int kTextHelpFormat = 65090;
constexpr int kTextHelpDrives = 65091;
constexpr int kTextHelpHelp = 65092;
constexpr int kTextHelpVersion = 65093;
constexpr int kTextHelpTraces = 65101;         // "Failed console runs keep the wire trace …"
constexpr int kTextHelpExitCodes = 65102;      // "Exit codes:"
constexpr int kTextHelpLineExitCodes = 65103;  // "A line of stations ends with 0 when …"
constexpr int kTextUpdateFirmware = 60616;     // "Update firmware"
constexpr int kTextNewProgram = 60365;         // "New program ..."

// "%u": one unsigned decimal number at the start of the text (blanks before it allowed).
uint32_t readUnsigned(const std::string& text) {
    size_t at = text.find_first_not_of(" \t");
    if (at == std::string::npos) return 0;
    if (text[at] == '+') ++at;
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
    return error == std::errc() ? value : 0;
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

constexpr int kComPorts = 6;  // COM1..COM6; index 6 is LPT1

int portIndex(const std::string& word) {
    static const std::map<std::string, int> kPorts = {
        {"com1", 0}, {"COM1", 0}, {"com2", 1}, {"COM2", 1}, {"com3", 2}, {"COM3", 2}, {"com4", 3},
        {"COM4", 3}, {"com5", 4}, {"COM5", 4}, {"com6", 5}, {"COM6", 5}, {"lpt1", 6}, {"LPT1", 6}};
    const auto found = kPorts.find(word);
    return found == kPorts.end() ? -1 : found->second;
}

// Reads the value of an option that takes one: "--name=VALUE" or "--name VALUE".
bool takeOptionValue(const std::vector<std::string>& arguments, size_t& i, const std::string& name,
                     std::string& value) {
    const std::string& word = arguments[i];
    if (word.rfind(name + "=", 0) == 0) {
        value = word.substr(name.size() + 1);
        return true;
    }
    if (word != name || i + 1 >= arguments.size()) return false;
    value = arguments[++i];
    return true;
}

// "PATH" for COM1, or "COMn=PATH" (any case) for COM1..COM6.
std::optional<ChosenPort> readChosenPort(const std::string& value) {
    const size_t equals = value.find('=');
    if (equals == std::string::npos) {
        if (value.empty() || value.rfind("--", 0) == 0) return std::nullopt;
        return ChosenPort{0, value};
    }
    std::string name = value.substr(0, equals);
    for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
    const int index = portIndex(name);
    const std::string path = value.substr(equals + 1);
    if (index < 0 || index >= kComPorts || path.empty()) return std::nullopt;
    return ChosenPort{index, path};
}

// "~/…" for a path in the home folder: the user's own, and the same text in the man page
// made from this help on a build machine.
std::string withHomeAsTilde(const std::filesystem::path& path) {
    const std::string home = HomeFolder().string();
    const std::string text = path.string();
    if (home.empty() || home == "/" || text.rfind(home + "/", 0) != 0) return text;
    return "~" + text.substr(home.size());
}

// The codes --lang takes, as "cs, da, de, ...".
std::string languageCodes() {
    std::set<std::string> codes;  // sorted
    for (const Language& language : languages())
        if (language.hasCatalogue) codes.insert(language.code);
    std::string text;
    for (const std::string& code : codes) text += (text.empty() ? "" : ", ") + code;
    return text;
}

// The rates of --baud with --terminal, as "9600, 19200, ...".
std::string terminalRates() {
    std::string text;
    for (uint32_t rate : kTerminalRates) text += (text.empty() ? "" : ", ") + std::to_string(rate);
    return text;
}

// A menu entry's name as the help quotes it: without the dots that say it opens a dialog.
std::string menuEntryName(int id) {
    std::string name = LoadText(id);
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    return name;
}

}  // namespace

namespace {

constexpr ExitCode kExitCodes[] = {
    {kResultOk, "no error detected", 64882},
    {kResultBadPort, "port argument not recognised", 64883},
    {kResultBadBaud, "baud argument not recognised", 64884},
    {kResultBadSwitch, "no recognised switch", 64885},
    {kResultNoBackslash, "/d: the controller path has no backslash or no name after it", 64886},
    {kResultFileDownloadFailed, "/d: the file download to the controller failed", 64887},
    {kResultFileUploadFailed, "/u: the file upload from the controller failed", 64888},
    {kResultDownloadFailed, "/p: the download or the script failed", 64889},
    {kResultBackupFailed, "/s: the backup failed", 64890},
    {kResultNoController, "no controller was identified", 64891},
    {kResultCheckFailed, "--verify-backup or --dry-run found a problem", 64892},
    {kResultCommandFailed, "the controller did not carry out the file-system command", 64893},
    {kResultNoSuchPath, "the controller has no such drive or folder", 64894},
    {kResultNoPort, "the port could not be opened (missing, in use, no permission)", 64895},
    {kResultBackupExcept, "/s: backup complete except the entries it names (skipped.txt)", 64896},
    {kResultStationRefused, "a station's port or controller is another station's too", 64804},
    {kResultRecordFailed, "--record: the device history cannot be written", 64805},
    {kResultSettingsFailed, "--settings: the settings file cannot be written", 64937},
    {kResultUsage, "command line not understood", 64897},
    {kResultHangup, "hung up (SIGHUP)", 64806},
    {kResultInterrupted, "interrupted (SIGINT)", 64898},
    {kResultTerminated, "terminated (SIGTERM)", 64899},
};

}  // namespace

std::span<const ExitCode> ExitCodes() { return kExitCodes; }

std::string DescribeResult(int code) {
    for (const ExitCode& row : kExitCodes)
        if (row.code == code) return row.textId != 0 ? LoadText(row.textId) : row.meaning;
    return FormatText(kTextResult, code);
}

std::optional<int> RunPortOf(const ToolOptions& options) {
    if (options.simulate) return 0;
    if (!options.ports.empty()) return options.ports.front().index;
    return std::nullopt;
}

bool HasConsoleAction(const ToolOptions& options) {
    return options.listPorts || !options.verifyBackup.empty() || !options.dryRun.empty() ||
           options.fileSystem.form != FileSystemForm::None;
}

std::string CheckRunnable(const ToolOptions& options, const LauncherArguments& arguments) {
    if (options.headless && !arguments.reportResult && !HasConsoleAction(options)) {
        std::string text = LoadText(kTextHeadlessNeedsForm);
        for (const char* form : kUnattendedForms) text += std::string("\n  ") + form;
        for (const char* action : kConsoleActions) text += std::string("\n  ") + action;
        return text;
    }
    if (arguments.switchArg == "/p" && !contains(arguments.romFileArg, ".rom"))
        return FormatText(kTextRomFileName, arguments.romFileArg);
    return "";
}

LauncherArguments ReadArguments(const std::vector<std::string>& words) {
    LauncherArguments arguments;
    const std::string first = words.empty() ? std::string() : words[0];
    switch (words.size()) {
        case 5:
            arguments.reportResult = true;
            arguments.switchArg = first;
            if (first == "/u" || first == "/d") {
                arguments.firstPathArg = words[1];
                arguments.secondPathArg = words[2];
                arguments.portArg = words[3];
                arguments.baudArg = words[4];
            }
            break;
        case 4:
            arguments.reportResult = true;
            arguments.switchArg = first;
            if (first == "/p") {
                arguments.romFileArg = words[1];
            } else if (first == "/s") {
                arguments.secondPathArg = words[1];
            } else {
                break;
            }
            arguments.portArg = words[2];
            arguments.baudArg = words[3];
            break;
        case 3:
            arguments.romFileArg = words[0];
            arguments.portArg = words[1];
            arguments.baudArg = words[2];
            break;
        case 2:
            if (first == "/t") arguments.timeFactorArg = readUnsigned(words[1]);
            break;
        default:
            break;
    }
    return arguments;
}

MainWindowStart PrepareMainWindow(const LauncherArguments& arguments) {
    MainWindowStart start;
    start.commandLineMode = arguments.reportResult;

    const int port = portIndex(arguments.portArg);
    start.selectedPort = port < 0 ? 0 : port;
    if (port < 0) start.resultCode = kResultBadPort;
    if (port < 0 && !arguments.portArg.empty()) start.unrecognisedPort = arguments.portArg;

    // All three rates the program offers are recognised words.
    if (arguments.baudArg == "115200" || arguments.baudArg == "230400") {
        start.baudRate = std::stoi(arguments.baudArg);
    } else if (arguments.baudArg != "57600") {
        start.resultCode = kResultBadBaud;
        start.unrecognisedBaud = arguments.baudArg;
    }

    if (contains(arguments.romFileArg, ".rom")) start.romFilePath = arguments.romFileArg;

    const std::string& word = arguments.switchArg;
    if (contains(word, "/p")) {
        start.commandSwitch = word;
    } else if (contains(word, "/s")) {
        start.commandSwitch = word;
        start.secondPath = arguments.secondPathArg;
    } else if (contains(word, "/d") || contains(word, "/u")) {
        start.commandSwitch = word;
        start.firstPath = arguments.firstPathArg;
        start.secondPath = arguments.secondPathArg;
    } else {
        start.resultCode = kResultBadSwitch;
    }

    if (arguments.timeFactorArg != 0) start.timeFactor = arguments.timeFactorArg;
    return start;
}

std::optional<int> ChosenLanguage(const std::vector<std::string>& arguments) {
    // The last one counts, as in ParseCommandLine.
    std::optional<int> language;
    std::string value;
    for (size_t i = 0; i < arguments.size(); ++i)
        if (takeOptionValue(arguments, i, "--lang", value)) language = languageOfCode(value);
    return language;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    ToolOptions& options = parsed.options;
    // With --terminal, --baud is the terminal's rate rather than the transfers'.
    const bool terminal =
        std::find(arguments.begin(), arguments.end(), "--terminal") != arguments.end();
    for (size_t i = 0; i < arguments.size() && parsed.error.empty(); ++i) {
        const std::string& word = arguments[i];
        if (word.rfind("--", 0) != 0) {
            parsed.words.push_back(word);
            continue;
        }
        std::string value;
        // An empty value is what an unset shell variable gives: a mistake, never the option
        // left out.
        const auto takeValue = [&](const std::string& name, std::string& into) {
            if (!takeOptionValue(arguments, i, name, into)) return false;
            if (into.empty()) parsed.error = FormatText(kTextEmptyValue, name);
            return true;
        };
        if (word == "--headless") {
            options.headless = true;
        } else if (word == "--simulate") {
            options.simulate = kDefaultSimulatedModel;
        } else if (word.rfind("--simulate=", 0) == 0) {
            options.simulate = word.substr(11);
        } else if (takeValue("--sim-state", value)) {
            options.simulatorState = value;
        } else if (takeValue("--library", value)) {
            options.libraryFolder = value;
        } else if (word == "--yes") {
            options.answerYes = true;
            options.answerGiven = true;
        } else if (word == "--no") {
            options.answerYes = false;
            options.answerGiven = true;
        } else if (word == "--verify") {
            options.verify = true;
        } else if (word == "--json") {
            options.json = true;
        } else if (takeValue("--port", value)) {
            const std::optional<ChosenPort> port = readChosenPort(value);
            if (!port) {
                parsed.error = FormatText(kTextBadPort, value);
                return parsed;
            }
            options.ports.push_back(*port);
        } else if (takeValue("--lang", value)) {
            options.language = languageOfCode(value);
            if (!options.language) {
                parsed.error = FormatText(kTextBadLanguage, languageCodes(), value);
                return parsed;
            }
        } else if (takeValue("--trace", value)) {
            options.traceFile = value;
        } else if (takeValue("--wait", value)) {
            int seconds = -1;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (error != std::errc() || end != value.data() + value.size() || seconds < 0) {
                parsed.error = FormatText(kTextBadWait, value);
                return parsed;
            }
            options.waitSeconds = seconds;
        } else if (bool takesPath = false;
                   FileSystemFormOf(word, takesPath) != FileSystemForm::None) {
            if (options.fileSystem.form != FileSystemForm::None) {
                parsed.error = LoadText(kTextOneFileSystemForm);
                return parsed;
            }
            options.fileSystem.form = FileSystemFormOf(word, takesPath);
            if (takesPath && !takeValue(word, options.fileSystem.path)) {
                parsed.error = FormatText(kTextNeedsDevicePath, word);
                return parsed;
            }
        } else if (takeValue("--verify-backup", value)) {
            options.verifyBackup = value;
        } else if (takeValue("--dry-run", value)) {
            options.dryRun = value;
        } else if (word == "--terminal") {
            options.terminal = true;
        } else if (takeValue("--log", value)) {
            options.logFile = value;
        } else if (word == "--settings") {
            // The change is optional: a next word that is no KEY=VALUE is not taken.
            const bool change = i + 1 < arguments.size() &&
                                arguments[i + 1].find('=') != std::string::npos &&
                                arguments[i + 1].rfind("--", 0) != 0;
            options.settings = change ? arguments[++i] : "";
        } else if (word.rfind("--settings=", 0) == 0) {
            options.settings = word.substr(11);
        } else if (word == "--timestamps") {
            options.terminalSettings.timestamps = true;
        } else if (word == "--local-echo") {
            options.terminalSettings.localEcho = true;
        } else if (terminal && takeValue("--baud", value)) {
            const auto rate = std::find_if(std::begin(kTerminalRates), std::end(kTerminalRates),
                                           [&](uint32_t r) { return std::to_string(r) == value; });
            if (rate == std::end(kTerminalRates)) {
                parsed.error = FormatText(kTextBadTerminalRate, terminalRates(), value);
                return parsed;
            }
            options.terminalSettings.baud = *rate;
        } else if (word == "--list-ports") {
            options.listPorts = true;
        } else if (TakeLineOption(arguments, i, options.line, parsed.error)) {
            if (!parsed.error.empty()) return parsed;
        } else if (word == "--help") {
            options.help = true;
        } else if (word == "--version") {
            options.version = true;
        } else {
            parsed.error = FormatText(kTextUnknownOption, word);
            return parsed;
        }
    }
    if (!parsed.error.empty()) return parsed;
    if (options.simulate && options.simulate->empty()) parsed.error = LoadText(kTextNeedsModel);
    if (options.simulate && !options.ports.empty()) parsed.error = LoadText(kTextPortWithSimulate);
    if (!options.traceFile.empty() && options.traceFile.rfind("--", 0) == 0)
        parsed.error = FormatText(kTextNeedsFileName, "--trace");
    if (!options.logFile.empty() && options.logFile.rfind("--", 0) == 0)
        parsed.error = FormatText(kTextNeedsFileName, "--log");
    if (!options.terminal && (!options.logFile.empty() || options.terminalSettings.timestamps ||
                              options.terminalSettings.localEcho))
        parsed.error = LoadText(kTextTerminalOnly);
    return parsed;
}

std::string UsageText() {
    const HelpEntry forms[] = {
        {"/p ROMFILE PORT BAUD", LoadText(kTextHelpDownload)},
        {"/s FOLDER PORT BAUD", LoadText(kTextHelpBackup)},
        {"/d PCFILE DEVPATH PORT BAUD", LoadText(kTextHelpCopyToDevice)},
        {"/u DEVPATH PCFILE PORT BAUD", LoadText(kTextHelpCopyToPc)},
        {"ROMFILE PORT BAUD", LoadText(kTextHelpOpenWith)},
        {"/t FACTOR", LoadText(kTextHelpTimeFactor)},
    };
    const HelpEntry options[] = {
        {"--headless", LoadText(kTextHelpHeadless)},
        {"--simulate[=MODEL]", FormatText(kTextHelpSimulate, kDefaultSimulatedModel)},
        {"--sim-state DIR", LoadText(kTextHelpSimState)},
        {"--port PATH", LoadText(kTextHelpPort)},
        {"--port COMn=PATH", LoadText(kTextHelpPorts)},
        {"--library DIR", FormatText(kTextHelpLibrary, LoadText(kTextUpdateFirmware))},
        {"--yes, --no", LoadText(kTextHelpAnswers)},
        {"--json", LoadText(kTextHelpJson)},
        {"--lang CODE", FormatText(kTextHelpLanguage, languageCodes())},
        {"--verify", FormatText(kTextHelpVerify, menuEntryName(kTextNewProgram))},
        {"--trace FILE", LoadText(kTextHelpTrace)},
        {"--wait SECONDS", FormatText(kTextHelpWait, kDefaultWaitSeconds)},
        {"--list-ports", LoadText(kTextHelpListPorts)},
        {"--settings [KEY=VALUE]", LoadText(kTextHelpSettings)},
        {"--terminal", LoadText(kTextHelpTerminal)},
        {"--log FILE", LoadText(kTextHelpLog)},
        {"--baud RATE", FormatText(kTextHelpTerminalBaud, terminalRates())},
        {"--timestamps", LoadText(kTextHelpTimestamps)},
        {"--local-echo", LoadText(kTextHelpLocalEcho)},
        {"--verify-backup FOLDER", LoadText(kTextHelpVerifyBackup)},
        {"--dry-run SCRIPT", LoadText(kTextHelpDryRun)},
    };
    const HelpEntry fileSystemForms[] = {
        {"--ls PATH", LoadText(kTextHelpList)},
        {"--tree A:", LoadText(kTextHelpTree)},
        {"--mkdir PATH, --rm PATH, --rmdir PATH", LoadText(kTextHelpMakeDelete)},
        {"--format A:", LoadText(kTextHelpFormat)},
        {"--df", LoadText(kTextHelpDrives)},
        {"--help", LoadText(kTextHelpHelp)},
        {"--version", LoadText(kTextHelpVersion)},
    };
    std::string text = LoadText(kTextHelpUsage) + "\n\n";
    text += LoadText(kTextHelpForms) + "\n" + HelpColumns(forms);
    text += HelpParagraph(LoadText(kTextHelpPortWords), 2) + "\n";
    text += LoadText(kTextHelpOptions) + "\n" + HelpColumns(options) + "\n";
    text += HelpParagraph(LoadText(kTextHelpFileSystemForms)) + HelpColumns(fileSystemForms);
    text += "\n" + LineUsageText() + "\n";
    text += HelpParagraph(
        FormatText(kTextHelpTraces, withHomeAsTilde(TraceFolder()), int(kTracesKept)));
    text += "\n" + LoadText(kTextHelpExitCodes) + "\n";
    for (const ExitCode& row : kExitCodes) {
        const std::string code = std::to_string(row.code);
        text += HelpWrapped("  " + code + std::string(5 - code.size(), ' '),
                            DescribeResult(row.code), 7);
    }
    return text + HelpParagraph(LoadText(kTextHelpLineExitCodes));
}

}  // namespace tarmix
