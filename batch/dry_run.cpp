#include "batch/dry_run.h"

#include <filesystem>

#include "batch/batch_commands.h"
#include "batch/batch_run_check.h"
#include "batch/device_commands.h"
#include "batch/script_paths.h"
#include "flash/rom_image_check.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "platform/latin1.h"

namespace tarmix {

namespace {

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
    if (name == "program") return FormatText(text::kDryRunProgram, PcFile(line.words[1], folder));
    if (name == "restoreeprom")
        return FormatText(text::kDryRunRestoreEeprom, PcFile(line.words[1], folder));
    if (name == "download")
        return FormatText(text::kDryRunDownload, PcFile(line.words[1], folder),
                          Printable(line.words[2]));
    if (name == "upload") {
        const std::string target = ScriptFileToPcPath(line.words[2], folder);
        std::error_code ignored;
        return FormatText(std::filesystem::exists(target, ignored) ? text::kDryRunUploadReplacing
                                                                   : text::kDryRunUploadNew,
                          Printable(line.words[1]), Printable(target));
    }
    if (name == "update firmware")
        return line.count() >= 3
                   ? FormatText(text::kDryRunUpdateFirmwareFrom, PcFile(line.words[2], folder))
                   : LoadText(text::kDryRunUpdateFirmware);
    if (name == "init drives")
        return FormatText(text::kDryRunSend, Printable(InitDrivesCommand(line)));
    if (name == "format") return FormatText(text::kDryRunSend, "format " + line.words[1]);
    if (name == "mkdir") return FormatText(text::kDryRunSend, Printable(MkdirCommand(line)));
    if (name == "del") return FormatText(text::kDryRunSend, Printable(DelCommand(line)));
    if (name == "monitor") return FormatText(text::kDryRunSend, Printable(MonitorCommand(line)));
    if (name == "rtc init") return LoadText(text::kDryRunRtcInit);
    if (name == "modify rtc caps") return LoadText(text::kDryRunModifyRtcCaps);
    if (name == "start application" || name == "monitor call")
        return line.count() >= 3 ? FormatText(text::kDryRunStartAt, Printable(line.words[2]))
                                 : LoadText(text::kDryRunStart);
    if (name == "change hardware")
        return FormatText(text::kDryRunChangeHardware, Printable(line.words[2]));
    std::string text;
    for (size_t i = 1; i < line.count(); ++i) text += line.words[i] + ' ';
    return FormatText(name == "messageyesno" ? text::kDryRunAsk : text::kDryRunMessage,
                      Printable(text));
}

}  // namespace

int DryRunScript(const std::string& path, std::ostream& out) {
    const ScriptCheck check = CheckBatchScript(path);
    std::string problem;
    switch (check.kind) {
        case ScriptCheck::Kind::FileError:
            out << FormatText(text::kCannotBeRead, Printable(path)) << ": " << check.problem
                << "\n";
            return 1;
        case ScriptCheck::Kind::RomImage:
            out << FormatText(text::kDryRunRomImage, Printable(path)) << "\n";
            if (CheckRomImage(path, problem)) return 0;
            out << FormatText(text::kRefused, problem) << "\n";
            return 1;
        case ScriptCheck::Kind::Refused:
        case ScriptCheck::Kind::Script:
            break;
    }
    for (const ScriptLine& line : check.lines)
        out << line.number << ": " << Describe(*FindBatchCommand(line.words), line, check.folder)
            << "\n";
    if (check.kind == ScriptCheck::Kind::Refused) {
        out << LoadText(text::kDryRunNothingSent) << "\n" << check.problem << "\n";
        return 1;
    }
    if (check.unchecked) out << LoadText(text::kNoManifest) << "\n";
    return 0;
}

}  // namespace tarmix
