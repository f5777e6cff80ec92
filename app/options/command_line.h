// The command line. Two layers:
//
// - the program's own word forms, which the number of words decides:
//     /u A B PORT BAUD    /d A B PORT BAUD      copy a controller file to the PC, or back
//     /p ROMFILE PORT BAUD                      download a ROM image, unattended
//     /s FOLDER PORT BAUD                       back up the controller, unattended
//     ROMFILE PORT BAUD                         open the window with the file chosen
//     /t FACTOR                                 every monitor time-out FACTOR times longer
//   The unattended forms (five and six words with the program name) report their result
//   as the exit code;
// - this build's own options, all beginning with "--", taken out before the forms are
//   matched (see ToolOptions).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/options/line_options.h"
#include "app/result_codes.h"
#include "app/terminal/terminal.h"

namespace tarmix {

struct ExitCode {
    int code;
    const char* meaning;  // one line of English, as the README lists it
    int textId = 0;       // the meaning in the catalogue; 0: the English only
};

// Every exit code the program ends with, in ascending order.
std::span<const ExitCode> ExitCodes();

// A one-line explanation of a result code in the current language, for the console summary.
std::string DescribeResult(int code);

// The file-system forms of this build (--ls, --tree, --mkdir, --rm, --rmdir, --format, --df).
enum class FileSystemForm {
    None,
    List,
    Tree,
    MakeFolder,
    DeleteFile,
    DeleteFolder,
    Format,
    Drives
};
struct FileSystemRequest {
    FileSystemForm form = FileSystemForm::None;
    std::string path;  // the device path as typed (UTF-8); empty for --df
};

// The words of the program's forms, as the launcher keeps them.
struct LauncherArguments {
    std::string romFileArg;
    std::string portArg;
    std::string baudArg;
    std::string switchArg;
    std::string firstPathArg;
    std::string secondPathArg;
    uint32_t timeFactorArg = 0;  // from "/t"; 0 when none or not a number
    bool reportResult = false;   // the unattended forms
};

// Reads the words that follow the program name. Switches are compared exactly; a five- or
// six-word form with another first word keeps only that word in switchArg (the run then
// ends with code 3). Any other number of words fills nothing.
LauncherArguments ReadArguments(const std::vector<std::string>& words);

// What the launcher hands the main window before it opens.
struct MainWindowStart {
    int resultCode = kResultOk;  // 1, 2 or 3 when a word was not recognised
    bool commandLineMode = false;
    int selectedPort = 0;  // from the port word; the settings file replaces it
    int baudRate = 57600;  // from the baud word; the settings file replaces it
    std::string romFilePath;
    std::string commandSwitch;
    std::string firstPath;
    std::string secondPath;
    uint32_t timeFactor = 1;
    FileSystemRequest fileSystem;  // run instead of the switch once identified
    // Port and baud words that were given but not understood (empty otherwise): the
    // window says which port and rate it uses instead before it touches the device.
    std::string unrecognisedPort;
    std::string unrecognisedBaud;
    bool verifyAfterWrite = false;  // --verify: for this run, whatever the settings say
    // The port this run must use instead of the stored one (which stays stored): the one
    // --port or --simulate put a device behind.
    std::optional<int> runPort;
};

// The launcher's mapping: port word "com1".."com6" / "COM1".."COM6" / "lpt1" / "LPT1"
// (otherwise COM1 and code 1); baud word "57600", "115200" or "230400" (otherwise 57600
// and code 2); the ROM file only when its name contains ".rom"; the switch when it contains
// "/p", "/s", "/d" or "/u" (otherwise code 3). A later code replaces an earlier one.
MainWindowStart PrepareMainWindow(const LauncherArguments& arguments);

// A device chosen with --port for one of COM1..COM6 (index 0..5).
struct ChosenPort {
    int index = 0;
    std::string path;
};

// This build's options.
struct ToolOptions {
    bool headless = false;                // the console front end, no window
    std::optional<std::string> simulate;  // model keyword: run tarmix-sim as COM1
    std::string simulatorState;           // --sim-state DIR: the simulator keeps its memory here
    std::string libraryFolder;            // --library DIR: the boot images' folder for this run
    bool answerYes = false;               // how the console answers questions (default No)
    bool answerGiven = false;             // --yes or --no was given
    bool json = false;                    // JSON events on stdout
    bool verify = false;                  // compare the flash after each download (not saved)
    std::optional<int> language;          // --lang CODE: the language of this run (not saved)
    std::string traceFile;                // wire trace
    std::vector<ChosenPort> ports;        // --port: devices for COM names, for this run
    bool terminal = false;                // the console terminal instead of the window
    std::string logFile;                  // --terminal: a copy of everything received
    TerminalSettings terminalSettings;    // --terminal: --baud, --timestamps, --local-echo
    std::optional<int> waitSeconds;  // headless unattended run: how long to wait for a controller
    FileSystemRequest fileSystem;
    bool listPorts = false;
    std::string verifyBackup;  // --verify-backup FOLDER: check a backup against its manifest
    std::string dryRun;        // --dry-run SCRIPT: what the script would do, no port opened
    LineOptions line;          // --gang, --repeat, --baud, --record, --record-summary
    // --settings: show the settings file; with a value ("KEY=VALUE") change one setting.
    std::optional<std::string> settings;
    bool help = false;
    bool version = false;
};

inline constexpr char kDefaultSimulatedModel[] = "alder";
// A headless unattended run gives up when no controller is identified within this time.
inline constexpr int kDefaultWaitSeconds = 30;

// The forms a headless run can carry out without an operator: the unattended forms, and
// the options that are an action of their own.
inline constexpr const char* kUnattendedForms[] = {
    "/p ROMFILE PORT BAUD",
    "/s FOLDER PORT BAUD",
    "/d PCFILE DEVPATH PORT BAUD",
    "/u DEVPATH PCFILE PORT BAUD",
};
inline constexpr const char* kConsoleActions[] = {"--list-ports",     "--verify-backup FOLDER",
                                                  "--dry-run SCRIPT", "--ls PATH",
                                                  "--tree A:",        "--mkdir PATH",
                                                  "--rm PATH",        "--rmdir PATH",
                                                  "--format A:",      "--df"};

// The port --port or --simulate chose for this run: COM1 for the simulated controller,
// else the port of the first --port; none without them.
std::optional<int> RunPortOf(const ToolOptions& options);

// Whether the options ask for one of kConsoleActions.
bool HasConsoleAction(const ToolOptions& options);

// Why the command line cannot run as it stands (empty when it can): a headless run of a
// form that would wait for an operator who is not there, or "/p" with a file name that
// holds no ".rom" (the download would find no file).
std::string CheckRunnable(const ToolOptions& options, const LauncherArguments& arguments);

struct ParsedCommandLine {
    ToolOptions options;
    std::vector<std::string> words;  // the program's words, options removed
    std::string error;               // not empty: an option was not understood
};

// Splits the arguments after the program name into this build's options and the words of
// the program's forms. A word is an option when it begins with "--".
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The language the last --lang among the arguments chooses (none when its code is not one
// of the catalogues'), also when other words are not understood: a refusal of them is
// said in it.
std::optional<int> ChosenLanguage(const std::vector<std::string>& arguments);

// The text of --help.
std::string UsageText();

}  // namespace tarmix
