#include "batch/dry_run.h"

#include <filesystem>

#include "batch/batch_commands.h"
#include "batch/batch_run_check.h"
#include "batch/device_commands.h"
#include "batch/script_paths.h"
#include "flash/rom_image_check.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "platform/latin1.h"

namespace tarmix {

namespace {

constexpr int kTextNoManifest = 64468;    // "No manifest.json beside the script: …"
constexpr int kTextRefused = 64995;       // "refused: %s"
constexpr int kTextCannotBeRead = 65053;  // "%s: cannot be read"
// What each line would do, beginning with the script's own command word.
constexpr int kTextProgram = 65118;             // "program: application download of %s"
constexpr int kTextRestoreEeprom = 65119;       // "restoreeprom: EEPROM restore from %s"
constexpr int kTextDownload = 65120;            // "download: %s to %s"
constexpr int kTextUploadReplacing = 65121;     // "upload: %s to %s (exists, asks before …)"
constexpr int kTextUploadNew = 65122;           // "upload: %s to %s (new)"
constexpr int kTextUpdateFirmware = 65123;      // "update firmware: boot loader update"
constexpr int kTextUpdateFirmwareFrom = 65124;  // "… boot loader update from the folder %s"
constexpr int kTextSend = 65125;                // "send: %s"
constexpr int kTextRtcInit = 65126;             // "send: rtc init with the PC's local time …"
constexpr int kTextModifyRtcCaps = 65127;       // "send: tell caps, then init caps with …"
constexpr int kTextStart = 65128;               // "start application"
constexpr int kTextStartAt = 65129;             // "start application at %s"
constexpr int kTextChangeHardware = 65130;      // "change hardware to %s"
constexpr int kTextAsk = 65131;                 // "ask: %s"
constexpr int kTextMessage = 65132;             // "message: %s"
constexpr int kTextRomImage = 65133;            // "ROM image: application download of %s"
constexpr int kTextNothingSent = 65134;         // "refused, nothing would be sent:"

// Device and script text for the terminal: control characters shown as "?".
std::string Printable(std::string_view latin1) {
    std::string text = Latin1ToUtf8(latin1);
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return text;
}

std::string PcFile(std::string_view name, const std::string& folder) {
    return Printable(ScriptFileToPcPath(name, folder));
}

// What a line that the check accepted would do.
std::string Describe(const BatchCommand& command, const ScriptLine& line,
                     const std::string& folder) {
    const std::string_view name = command.name;
    if (name == "program") return FormatText(kTextProgram, PcFile(line.words[1], folder));
    if (name == "restoreeprom")
        return FormatText(kTextRestoreEeprom, PcFile(line.words[1], folder));
    if (name == "download")
        return FormatText(kTextDownload, PcFile(line.words[1], folder), Printable(line.words[2]));
    if (name == "upload") {
        const std::string target = ScriptFileToPcPath(line.words[2], folder);
        std::error_code ignored;
        return FormatText(
            std::filesystem::exists(target, ignored) ? kTextUploadReplacing : kTextUploadNew,
            Printable(line.words[1]), Printable(target));
    }
    if (name == "update firmware")
        return line.count() >= 3
                   ? FormatText(kTextUpdateFirmwareFrom, PcFile(line.words[2], folder))
                   : LoadText(kTextUpdateFirmware);
    if (name == "init drives") return FormatText(kTextSend, Printable(InitDrivesCommand(line)));
    if (name == "format") return FormatText(kTextSend, "format " + line.words[1]);
    if (name == "mkdir") return FormatText(kTextSend, Printable(MkdirCommand(line)));
    if (name == "del") return FormatText(kTextSend, Printable(DelCommand(line)));
    if (name == "monitor") return FormatText(kTextSend, Printable(MonitorCommand(line)));
    if (name == "rtc init") return LoadText(kTextRtcInit);
    if (name == "modify rtc caps") return LoadText(kTextModifyRtcCaps);
    if (name == "start application" || name == "monitor call")
        return line.count() >= 3 ? FormatText(kTextStartAt, Printable(line.words[2]))
                                 : LoadText(kTextStart);
    if (name == "change hardware") return FormatText(kTextChangeHardware, Printable(line.words[2]));
    std::string text;
    for (size_t i = 1; i < line.count(); ++i) text += line.words[i] + ' ';
    return FormatText(name == "messageyesno" ? kTextAsk : kTextMessage, Printable(text));
}

}  // namespace

int DryRunScript(const std::string& path, std::ostream& out) {
    const ScriptCheck check = CheckBatchScript(path);
    std::string problem;
    switch (check.kind) {
        case ScriptCheck::Kind::FileError:
            out << FormatText(kTextCannotBeRead, Printable(path)) << ": " << check.problem << "\n";
            return 1;
        case ScriptCheck::Kind::RomImage:
            out << FormatText(kTextRomImage, Printable(path)) << "\n";
            if (CheckRomImage(path, problem)) return 0;
            out << FormatText(kTextRefused, problem) << "\n";
            return 1;
        case ScriptCheck::Kind::Refused:
        case ScriptCheck::Kind::Script:
            break;
    }
    for (const ScriptLine& line : check.lines)
        out << line.number << ": " << Describe(*FindBatchCommand(line.words), line, check.folder)
            << "\n";
    if (check.kind == ScriptCheck::Kind::Refused) {
        out << LoadText(kTextNothingSent) << "\n" << check.problem << "\n";
        return 1;
    }
    if (check.unchecked) out << LoadText(kTextNoManifest) << "\n";
    return 0;
}

}  // namespace tarmix
