#include "batch/dry_run.h"

#include <filesystem>

#include "batch/batch_commands.h"
#include "batch/device_commands.h"
#include "batch/script_paths.h"
#include "batch/script_reader.h"
#include "batch/script_words.h"
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

struct FileCheck {
    std::string path;
    bool exists;
};

FileCheck PcFile(std::string_view name, const std::string& folder) {
    const std::string path = ScriptFileToPcPath(name, folder);
    std::error_code ignored;
    return {path, std::filesystem::exists(path, ignored)};
}

std::string Shown(const FileCheck& file) {
    return Printable(file.path) + (file.exists ? " (exists)" : " (MISSING)");
}

// What a line that its command accepts would do; `missing` is set for a file to be read
// that is not there.
std::string Describe(const BatchCommand& command, const ScriptLine& line, const std::string& folder,
                     bool& missing) {
    const std::string_view name = command.name;
    auto needs = [&](std::string_view word) {
        const FileCheck file = PcFile(word, folder);
        missing = missing || !file.exists;
        return Shown(file);
    };
    if (name == "program") return "program: application download of " + needs(line.words[1]);
    if (name == "restoreeprom") return "restoreeprom: EEPROM restore from " + needs(line.words[1]);
    if (name == "download")
        return "download: " + needs(line.words[1]) + " to " + Printable(line.words[2]);
    if (name == "upload") {
        const FileCheck target = PcFile(line.words[2], folder);
        return "upload: " + Printable(line.words[1]) + " to " + Printable(target.path) +
               (target.exists ? " (exists, asks before replacing)" : " (new)");
    }
    if (name == "update firmware")
        return "update firmware: boot loader update" +
               (line.count() >= 3 ? " from the folder " + Shown(PcFile(line.words[2], "")) : "");
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
    if (name == "init caps") return "refused: not supported";
    std::string text;
    for (size_t i = 1; i < line.count(); ++i) text += line.words[i] + ' ';
    return std::string(name == "messageyesno" ? "ask: " : "message: ") + Printable(text);
}

}  // namespace

int DryRunScript(const std::string& path, std::ostream& out) {
    ScriptReader reader;
    if (!reader.Open(path)) {
        out << Printable(path) << ": cannot be read\n";
        return 1;
    }
    const std::string folder = ScriptFolder(path);
    bool missing = false;
    bool firstLine = true;
    int number = 0;
    while (std::optional<std::string> text = reader.NextLine()) {
        ++number;
        if (firstLine && IsRomImageLine(*text)) {
            out << "ROM image: application download of " << Printable(path) << "\n";
            return 0;
        }
        firstLine = false;
        if (text->empty() || IsScriptComment(*text)) continue;
        ScriptLine line{*text, SplitScriptWords(*text)};
        if (line.words.empty()) continue;
        out << number << ": ";
        const BatchCommand* command = FindBatchCommand(line.words);
        if (!command) {
            out << "ignored: " << Printable(line.text) << "\n";
        } else if (line.count() < command->leastWords ||
                   (command->accepts && !command->accepts(line))) {
            out << "refused (format error): " << Printable(line.text) << "\n";
        } else {
            out << Describe(*command, line, folder, missing) << "\n";
        }
    }
    if (reader.failed()) {
        out << Printable(path) << ": read error\n";
        return 1;
    }
    return missing ? 1 : 0;
}

}  // namespace tarmix
