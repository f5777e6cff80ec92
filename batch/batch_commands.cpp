#include "batch/batch_commands.h"

#include <array>

#include "batch/device_commands.h"
#include "lang/catalog.h"
#include "lang/text_names.h"
#include "models/models.h"
#include "platform/latin1.h"

namespace tarmix {

namespace {

int HexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

std::string_view WithoutHexPrefix(std::string_view word) {
    if (word.size() >= 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
        word.remove_prefix(2);
    return word;
}

// An address word: hexadecimal, an optional "0x" before it; reading stops at the first
// character that is no hexadecimal digit.
uint32_t ReadAddress(std::string_view word) {
    uint32_t value = 0;
    for (char c : WithoutHexPrefix(word)) {
        const int digit = HexDigit(c);
        if (digit < 0) break;
        value = value << 4 | uint32_t(digit);
    }
    return value;
}

// The text of "message" and "messageyesno": words 2 to the last, each followed by a blank.
std::string MessageText(const ScriptLine& line) {
    std::string text;
    for (size_t i = 1; i < line.count(); ++i) text += line.words[i] + ' ';
    return Latin1ToUtf8(text);
}

// --- argument checks ------------------------------------------------------------------------

bool KnownModel(const ScriptLine& line) { return modelByKeyword(line.words[2]) != 0; }

// The line's command text goes out as it is.
template <std::string (*kCommand)(const ScriptLine&)>
bool Sendable(const ScriptLine& line) {
    return IsSendable(kCommand(line));
}

// An address that is given begins with a hexadecimal digit: a word without any would
// start the application at 0.
bool AddressOrNone(const ScriptLine& line) {
    if (line.count() < 3) return true;
    const std::string_view digits = WithoutHexPrefix(line.words[2]);
    return !digits.empty() && HexDigit(digits.front()) >= 0;
}

bool DriveWord(const ScriptLine& line) {
    const std::string& drive = line.words[1];
    return drive == "a:" || drive == "b:" || drive == "c:";
}

// --- the commands that use the main window's services --------------------------------------

Step RunProgram(BatchSession& session, const ScriptLine& line) {
    const std::string path = session.PcPath(line.words[1]);
    return session.context().downloadApplication(path) == 0 ? Step::Continue : Step::Stop;
}

// restoreeprom FILE: the run goes on whatever the restore does; a failure is remembered.
Step RunRestoreEeprom(BatchSession& session, const ScriptLine& line) {
    auto& restore = session.context().restoreEeprom;
    if (!restore) return session.NotAvailable("Restoring the EEPROM");
    if (restore(session.PcPath(line.words[1])) != 0) session.NoteEepromRestoreFailed();
    return Step::Continue;
}

// update firmware [FOLDER]: the images come from FOLDER, found like every other PC file
// of the script, or from the program's Library folder.
Step RunUpdateFirmware(BatchSession& session, const ScriptLine& line) {
    BatchContext& context = session.context();
    if (!context.updateBootLoader) return session.NotAvailable("The boot loader update");
    const std::string folder = line.count() >= 3 ? session.PcPath(line.words[2]) : std::string();
    return context.updateBootLoader(folder) == 0 ? Step::Continue : Step::Stop;
}

// A file copy, repeated while the device refuses it: a PC file that is missing or a No to
// replacing one does not change by asking again.
Step RepeatWhileRefused(const std::function<TransferResult()>& transfer) {
    for (int attempt = 0; attempt < BatchSession::kAttempts; ++attempt) {
        const TransferResult result = transfer();
        if (result == TransferResult::Copied) return Step::Continue;
        if (result != TransferResult::DeviceFailed) break;
    }
    return Step::Stop;
}

// download PCFILE DEVICEPATH: the whole device path, no folder in front of it.
Step RunDownload(BatchSession& session, const ScriptLine& line) {
    if (!session.context().downloadFile) return session.NotAvailable("Copying a file");
    const std::string pcPath = session.PcPath(line.words[1]);
    return RepeatWhileRefused(
        [&] { return session.context().downloadFile(pcPath, line.words[2]); });
}

// upload DEVICEFILE PCPATH: the PC path belongs to the script's folder like every other.
Step RunUpload(BatchSession& session, const ScriptLine& line) {
    if (!session.context().uploadFile) return session.NotAvailable("Copying a file");
    const std::string pcPath = session.PcPath(line.words[2]);
    return RepeatWhileRefused([&] { return session.context().uploadFile(line.words[1], pcPath); });
}

// start application [ADDRESS] and monitor call ADDRESS: the address is the third word.
Step RunStartApplication(BatchSession& session, const ScriptLine& line) {
    if (line.count() >= 3) session.context().applicationStart = ReadAddress(line.words[2]);
    session.context().startApplication();
    return Step::Continue;
}

Step RunChangeHardware(BatchSession& session, const ScriptLine& line) {
    session.context().hardwareModel = modelByKeyword(line.words[2]);
    return Step::Continue;
}

Step RunMessage(BatchSession& session, const ScriptLine& line) {
    session.context().view.showMessage(MessageText(line), LoadText(text::kBatchHandling),
                                       MessageIcon::Warning);
    return Step::Continue;
}

Step RunMessageYesNo(BatchSession& session, const ScriptLine& line) {
    const bool yes =
        session.context().view.askYesNo(MessageText(line), LoadText(text::kBatchHandling));
    return yes ? Step::Continue : Step::Stop;
}

constexpr ShortLine kFormat = ShortLine::FormatError;
constexpr ShortLine kError = ShortLine::ErrorWithLastAnswer;

const std::array kCommands = {
    BatchCommand{"program", 2, kFormat, "<program>\n\n", nullptr, RunProgram, PcUse::Image, 1},
    BatchCommand{"restoreeprom", 2, kFormat, "<restoreeprom>\n\n", nullptr, RunRestoreEeprom,
                 PcUse::ReadFile, 1},
    BatchCommand{"start application", 2, kFormat, "<start application>\n\n", AddressOrNone,
                 RunStartApplication, PcUse::None, 0},
    BatchCommand{"update firmware", 2, kFormat, "<update firmware>\n\n", nullptr, RunUpdateFirmware,
                 PcUse::Folder, 2},
    BatchCommand{"init caps", 2, kFormat, "<init caps>\n\n", nullptr, nullptr, PcUse::None, 0},
    BatchCommand{"change hardware", 3, kFormat, "<change hardware>\n\n", KnownModel,
                 RunChangeHardware, PcUse::None, 0},
    BatchCommand{"init drives", 5, kFormat, "<init drives>\n\n", Sendable<InitDrivesCommand>,
                 RunInitDrives, PcUse::None, 0},
    BatchCommand{"format", 2, kFormat, "<format>\n\n", DriveWord, RunFormat, PcUse::None, 0},
    BatchCommand{"mkdir", 2, kFormat, "<mkdir>\n\n", Sendable<MkdirCommand>, RunMkdir, PcUse::None,
                 0},
    BatchCommand{"rtc init", 2, kFormat, "<rtc init>\n\n", nullptr, RunRtcInit, PcUse::None, 0},
    BatchCommand{"modify rtc caps", 3, kFormat, "<modify rtc caps>\n\n", nullptr, RunModifyRtcCaps,
                 PcUse::None, 0},
    BatchCommand{"download", 3, kError, "<download>\n\n", nullptr, RunDownload, PcUse::ReadFile, 1},
    BatchCommand{"upload", 3, kError, "<upload>\n\n", nullptr, RunUpload, PcUse::WriteFile, 2},
    BatchCommand{"message", 1, kFormat, "", nullptr, RunMessage, PcUse::None, 0},
    BatchCommand{"messageyesno", 1, kFormat, "", nullptr, RunMessageYesNo, PcUse::None, 0},
    BatchCommand{"del", 2, kFormat, "<del>\n\n", Sendable<DelCommand>, RunDel, PcUse::None, 0},
    // The address of "monitor call" is not optional: without it the line is refused.
    BatchCommand{"monitor call", 3, kFormat, "<monitor>\n\n", AddressOrNone, RunStartApplication,
                 PcUse::None, 0},
    BatchCommand{"monitor", 2, kFormat, "<monitor>\n\n", Sendable<MonitorCommand>, RunMonitor,
                 PcUse::None, 0},
};

// The line's first words are the command's fixed words.
bool Names(const BatchCommand& command, const std::vector<std::string>& words) {
    std::string_view name = command.name;
    for (const std::string& word : words) {
        const size_t blank = name.find(' ');
        if (name.substr(0, blank) != word) return false;
        if (blank == std::string_view::npos) return true;
        name.remove_prefix(blank + 1);
    }
    return false;  // fewer words than the name has
}

}  // namespace

std::span<const BatchCommand> BatchCommands() { return kCommands; }

const BatchCommand* FindBatchCommand(const std::vector<std::string>& words) {
    for (const BatchCommand& command : kCommands)
        if (Names(command, words)) return &command;
    return nullptr;
}

int LineRefusal(const BatchCommand& command, const ScriptLine& line) {
    if (line.count() < command.leastWords)
        return command.shortLine == kError ? text::kError : text::kFormatError;
    if (command.accepts && !command.accepts(line)) return text::kFormatError;
    return command.run ? 0 : text::kNotSupported;
}

Step RunScriptLine(BatchSession& session, const ScriptLine& line) {
    const BatchCommand* command = FindBatchCommand(line.words);
    if (!command) return Step::Continue;
    session.BeginCommand(command->heading, line);
    if (const int refusal = LineRefusal(*command, line))
        return session.Fail(refusal, refusal == text::kError);
    return command->run(session, line);
}

}  // namespace tarmix
