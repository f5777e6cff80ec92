#include "batch/dry_run.h"

#include <filesystem>

#include "batch/batch_commands.h"
#include "batch/batch_run_check.h"
#include "batch/device_commands.h"
#include "batch/script_paths.h"
#include "flash/rom_image_check.h"
#include "lang/catalog.h"
#include "platform/latin1.h"

namespace tarmix {

namespace {

constexpr int kTextNoManifest = 64468;  // "No manifest.json beside the script: …"

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
    if (name == "program")
        return "program: application download of " + PcFile(line.words[1], folder);
    if (name == "restoreeprom")
        return "restoreeprom: EEPROM restore from " + PcFile(line.words[1], folder);
    if (name == "download")
        return "download: " + PcFile(line.words[1], folder) + " to " + Printable(line.words[2]);
    if (name == "upload") {
        const std::string target = ScriptFileToPcPath(line.words[2], folder);
        std::error_code ignored;
        return "upload: " + Printable(line.words[1]) + " to " + Printable(target) +
               (std::filesystem::exists(target, ignored) ? " (exists, asks before replacing)"
                                                         : " (new)");
    }
    if (name == "update firmware")
        return "update firmware: boot loader update" +
               (line.count() >= 3 ? " from the folder " + PcFile(line.words[2], folder)
                                  : std::string());
    if (name == "init drives") return "send: " + Printable(InitDrivesCommand(line));
    if (name == "format") return "send: format " + line.words[1];
    if (name == "mkdir") return "send: " + Printable(MkdirCommand(line));
    if (name == "del") return "send: " + Printable(DelCommand(line));
    if (name == "monitor") return "send: " + Printable(MonitorCommand(line));
    if (name == "rtc init") return "send: rtc init with the PC's local time of the run";
    if (name == "modify rtc caps") return "send: tell caps, then init caps with value 4 set to 1";
    if (name == "start application" || name == "monitor call")
        return "start application" +
               (line.count() >= 3 ? " at " + Printable(line.words[2]) : std::string());
    if (name == "change hardware") return "change hardware to " + Printable(line.words[2]);
    std::string text;
    for (size_t i = 1; i < line.count(); ++i) text += line.words[i] + ' ';
    return std::string(name == "messageyesno" ? "ask: " : "message: ") + Printable(text);
}

}  // namespace

int DryRunScript(const std::string& path, std::ostream& out) {
    const ScriptCheck check = CheckBatchScript(path);
    std::string problem;
    switch (check.kind) {
        case ScriptCheck::Kind::FileError:
            out << Printable(path) << ": cannot be read: " << check.problem << "\n";
            return 1;
        case ScriptCheck::Kind::RomImage:
            out << "ROM image: application download of " << Printable(path) << "\n";
            if (CheckRomImage(path, problem)) return 0;
            out << "refused: " << problem << "\n";
            return 1;
        case ScriptCheck::Kind::Refused:
        case ScriptCheck::Kind::Script:
            break;
    }
    for (const ScriptLine& line : check.lines)
        out << line.number << ": " << Describe(*FindBatchCommand(line.words), line, check.folder)
            << "\n";
    if (check.kind == ScriptCheck::Kind::Refused) {
        out << "refused, nothing would be sent:\n" << check.problem << "\n";
        return 1;
    }
    if (check.unchecked) out << LoadText(kTextNoManifest) << "\n";
    return 0;
}

}  // namespace tarmix
