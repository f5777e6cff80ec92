#include "app/options/command_line.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <set>

#include "app/operation_trace.h"
#include "app/options/help_layout.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/user_folders.h"

namespace tarmix {

namespace {

struct FormName {
    const char* option;
    FileSystemForm form;
    bool takesPath;
};
constexpr FormName kForms[] = {
    {"--ls", FileSystemForm::List, true},
    {"--tree", FileSystemForm::Tree, true},
    {"--mkdir", FileSystemForm::MakeFolder, true},
    {"--rm", FileSystemForm::DeleteFile, true},
    {"--rmdir", FileSystemForm::DeleteFolder, true},
    {"--format", FileSystemForm::Format, true},
    {"--df", FileSystemForm::Drives, false},
};

// The form of an option word ("--ls" …); None for any other word. `takesPath` tells
// whether a value follows.
FileSystemForm FileSystemFormOf(const std::string& option, bool& takesPath) {
    for (const FormName& name : kForms)
        if (option == name.option) {
            takesPath = name.takesPath;
            return name.form;
        }
    return FileSystemForm::None;
}

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
    {kResultOk, "no error detected", text::kResultOk},
    {kResultBadPort, "port argument not recognised", text::kResultBadPort},
    {kResultBadBaud, "baud argument not recognised", text::kResultBadBaud},
    {kResultBadSwitch, "no recognised switch", text::kResultBadSwitch},
    {kResultNoBackslash, "/d: the controller path has no backslash or no name after it",
     text::kResultNoBackslash},
    {kResultFileDownloadFailed, "/d: the file download to the controller failed",
     text::kResultFileDownloadFailed},
    {kResultFileUploadFailed, "/u: the file upload from the controller failed",
     text::kResultFileUploadFailed},
    {kResultDownloadFailed, "/p: the download or the script failed", text::kResultDownloadFailed},
    {kResultBackupFailed, "/s: the backup failed", text::kResultBackupFailed},
    {kResultNoController, "no controller was identified", text::kResultNoController},
    {kResultCheckFailed, "--verify-backup or --dry-run found a problem", text::kResultCheckFailed},
    {kResultCommandFailed, "the controller did not carry out the file-system command",
     text::kResultCommandFailed},
    {kResultNoSuchPath, "the controller has no such drive or folder", text::kResultNoSuchPath},
    {kResultNoPort, "the port could not be opened (missing, in use, no permission)",
     text::kResultNoPort},
    {kResultBackupExcept, "/s: backup complete except the entries it names (skipped.txt)",
     text::kResultBackupExcept},
    {kResultStationRefused, "a station's port or controller is another station's too",
     text::kResultStationRefused},
    {kResultRecordFailed, "--record: the device history cannot be written",
     text::kResultRecordFailed},
    {kResultSettingsFailed, "--settings: the settings file cannot be written",
     text::kResultSettingsFailed},
    {kResultUsage, "command line not understood", text::kResultUsage},
    {kResultHangup, "hung up (SIGHUP)", text::kResultHangup},
    {kResultInterrupted, "interrupted (SIGINT)", text::kResultInterrupted},
    {kResultTerminated, "terminated (SIGTERM)", text::kResultTerminated},
};

}  // namespace

std::span<const ExitCode> ExitCodes() { return kExitCodes; }

std::string DescribeResult(int code) {
    for (const ExitCode& row : kExitCodes)
        if (row.code == code) return row.textId != 0 ? LoadText(row.textId) : row.meaning;
    return FormatText(text::kResultNumber, code);
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
        std::string text = LoadText(text::kHeadlessNeedsForm);
        for (const char* form : kUnattendedForms) text += std::string("\n  ") + form;
        for (const char* action : kConsoleActions) text += std::string("\n  ") + action;
        return text;
    }
    if (arguments.switchArg == "/p" && !contains(arguments.romFileArg, ".rom"))
        return FormatText(text::kRomFileName, arguments.romFileArg);
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
            if (into.empty()) parsed.error = FormatText(text::kEmptyValue, name);
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
                parsed.error = FormatText(text::kBadPort, value);
                return parsed;
            }
            options.ports.push_back(*port);
        } else if (takeValue("--lang", value)) {
            options.language = languageOfCode(value);
            if (!options.language) {
                parsed.error = FormatText(text::kBadLanguage, languageCodes(), value);
                return parsed;
            }
        } else if (takeValue("--trace", value)) {
            options.traceFile = value;
        } else if (takeValue("--wait", value)) {
            int seconds = -1;
            const auto [end, error] =
                std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (error != std::errc() || end != value.data() + value.size() || seconds < 0) {
                parsed.error = FormatText(text::kBadWait, value);
                return parsed;
            }
            options.waitSeconds = seconds;
        } else if (bool takesPath = false;
                   FileSystemFormOf(word, takesPath) != FileSystemForm::None) {
            if (options.fileSystem.form != FileSystemForm::None) {
                parsed.error = LoadText(text::kOneFileSystemForm);
                return parsed;
            }
            options.fileSystem.form = FileSystemFormOf(word, takesPath);
            if (takesPath && !takeValue(word, options.fileSystem.path)) {
                parsed.error = FormatText(text::kNeedsDevicePath, word);
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
                parsed.error = FormatText(text::kBadTerminalRate, terminalRates(), value);
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
            parsed.error = FormatText(text::kUnknownOption, word);
            return parsed;
        }
    }
    if (!parsed.error.empty()) return parsed;
    if (options.simulate && options.simulate->empty()) parsed.error = LoadText(text::kNeedsModel);
    if (options.simulate && !options.ports.empty())
        parsed.error = LoadText(text::kPortWithSimulate);
    if (!options.traceFile.empty() && options.traceFile.rfind("--", 0) == 0)
        parsed.error = FormatText(text::kNeedsFileName, "--trace");
    if (!options.logFile.empty() && options.logFile.rfind("--", 0) == 0)
        parsed.error = FormatText(text::kNeedsFileName, "--log");
    if (!options.terminal && (!options.logFile.empty() || options.terminalSettings.timestamps ||
                              options.terminalSettings.localEcho))
        parsed.error = LoadText(text::kTerminalOnly);
    return parsed;
}

std::string UsageText() {
    const HelpEntry forms[] = {
        {"/p ROMFILE PORT BAUD", LoadText(text::kHelpDownload)},
        {"/s FOLDER PORT BAUD", LoadText(text::kHelpBackup)},
        {"/d PCFILE DEVPATH PORT BAUD", LoadText(text::kHelpCopyToDevice)},
        {"/u DEVPATH PCFILE PORT BAUD", LoadText(text::kHelpCopyToPc)},
        {"ROMFILE PORT BAUD", LoadText(text::kHelpOpenWith)},
        {"/t FACTOR", LoadText(text::kHelpTimeFactor)},
    };
    const HelpEntry options[] = {
        {"--headless", LoadText(text::kHelpHeadless)},
        {"--simulate[=MODEL]", FormatText(text::kHelpSimulate, kDefaultSimulatedModel)},
        {"--sim-state DIR", LoadText(text::kHelpSimState)},
        {"--port PATH", LoadText(text::kHelpPort)},
        {"--port COMn=PATH", LoadText(text::kHelpPorts)},
        {"--library DIR", FormatText(text::kHelpLibrary, LoadText(text::kUpdateFirmware))},
        {"--yes, --no", LoadText(text::kHelpAnswers)},
        {"--json", LoadText(text::kHelpJson)},
        {"--lang CODE", FormatText(text::kHelpLanguage, languageCodes())},
        {"--verify", FormatText(text::kHelpVerify, menuEntryName(text::kNewProgram))},
        {"--trace FILE", LoadText(text::kHelpTrace)},
        {"--wait SECONDS", FormatText(text::kHelpWait, kDefaultWaitSeconds)},
        {"--list-ports", LoadText(text::kHelpListPorts)},
        {"--settings [KEY=VALUE]", LoadText(text::kHelpSettings)},
        {"--terminal", LoadText(text::kHelpTerminal)},
        {"--log FILE", LoadText(text::kHelpLog)},
        {"--baud RATE", FormatText(text::kHelpTerminalBaud, terminalRates())},
        {"--timestamps", LoadText(text::kHelpTimestamps)},
        {"--local-echo", LoadText(text::kHelpLocalEcho)},
        {"--verify-backup FOLDER", LoadText(text::kHelpVerifyBackup)},
        {"--dry-run SCRIPT", LoadText(text::kHelpDryRun)},
    };
    const HelpEntry fileSystemForms[] = {
        {"--ls PATH", LoadText(text::kHelpList)},
        {"--tree A:", LoadText(text::kHelpTree)},
        {"--mkdir PATH, --rm PATH, --rmdir PATH", LoadText(text::kHelpMakeDelete)},
        {"--format A:", LoadText(text::kHelpFormat)},
        {"--df", LoadText(text::kHelpDrives)},
        {"--help", LoadText(text::kHelpHelp)},
        {"--version", LoadText(text::kHelpVersion)},
    };
    std::string text = LoadText(text::kHelpUsage) + "\n\n";
    text += LoadText(text::kHelpForms) + "\n" + HelpColumns(forms);
    text += HelpParagraph(LoadText(text::kHelpPortWords), 2) + "\n";
    text += LoadText(text::kHelpOptions) + "\n" + HelpColumns(options) + "\n";
    text += HelpParagraph(LoadText(text::kHelpFileSystemForms)) + HelpColumns(fileSystemForms);
    text += "\n" + LineUsageText() + "\n";
    text += HelpParagraph(
        FormatText(text::kHelpTraces, withHomeAsTilde(TraceFolder()), int(kTracesKept)));
    text += "\n" + LoadText(text::kHelpExitCodes) + "\n";
    for (const ExitCode& row : kExitCodes) {
        const std::string code = std::to_string(row.code);
        text += HelpWrapped("  " + code + std::string(5 - code.size(), ' '),
                            DescribeResult(row.code), 7);
    }
    return text + HelpParagraph(LoadText(text::kHelpLineExitCodes));
}

}  // namespace tarmix
