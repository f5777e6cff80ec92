#include "batch/batch_run_check.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>

#include "batch/backup_manifest.h"
#include "batch/batch_commands.h"
#include "batch/script_paths.h"
#include "batch/script_reader.h"
#include "batch/script_words.h"
#include "flash/rom_image_check.h"
#include "lang/catalog.h"
#include "lang/text_names.h"
#include "platform/input_file.h"
#include "platform/latin1.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kRestoreScriptName = "reload.rom";

// A line that carries no command: blanks only, or a comment sign after leading blanks.
bool CarriesNothing(const ScriptLine& line) {
    const std::string& first = line.words.front();
    return first.empty() || IsScriptComment(first);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// What the folder of a script says about the files it may name.
class ScriptFolderRules {
  public:
    explicit ScriptFolderRules(const std::string& scriptPath)
        : folder_(ScriptFolder(scriptPath)), base_(folder_.empty() ? "." : folder_) {
        std::error_code ignored;
        if (fs::exists(base_ / kManifestFileName, ignored)) backup_ = VerifyBackup(base_);
        restore_ = backup_ || Lower(fs::path(scriptPath).filename().string()) == kRestoreScriptName;
    }

    const std::string& folder() const { return folder_; }
    bool hasManifest() const { return backup_.has_value(); }

    // The backup's files do not match its manifest: the message that says which.
    std::string BackupProblem() const {
        if (!backup_) return {};
        BackupCheck mismatch = *backup_;
        mismatch.extra.clear();  // files nobody restores do no harm
        if (mismatch.ok()) return {};
        return LoadText(text::kBackupChanged) + "\n" + DescribeBackupCheck(mismatch);
    }

    // The problem with a PC name of a line that its command reads or writes; empty if none.
    std::string NameProblem(const std::string& pcPath) const {
        std::error_code ignored;
        const fs::path real = fs::weakly_canonical(pcPath, ignored);
        const fs::path relative = real.lexically_relative(fs::weakly_canonical(base_, ignored));
        const bool inside = !relative.empty() && *relative.begin() != "..";
        if (restore_ && !inside) return LoadText(text::kOutsideFolder) + "\n" + pcPath;
        if (backup_ &&
            std::count(backup_->extra.begin(), backup_->extra.end(), relative.generic_string()))
            return LoadText(text::kNotInManifest) + "\n" + pcPath;
        return {};
    }

  private:
    std::string folder_;
    fs::path base_;
    std::optional<BackupCheck> backup_;
    bool restore_ = false;
};

// The problem with the PC file or folder a line names; empty if none.
std::string FileProblem(PcUse use, const std::string& pcPath) {
    std::error_code ignored;
    switch (use) {
        case PcUse::ReadFile: {
            InputFile file;
            return file.open(pcPath) ? std::string() : file.problem() + "\n" + pcPath;
        }
        case PcUse::Image: {
            std::string problem;
            return CheckRomImage(pcPath, problem) ? std::string() : problem;
        }
        case PcUse::WriteFile: {
            const fs::path parent = fs::path(pcPath).parent_path();
            if (!fs::is_directory(parent.empty() ? "." : parent, ignored))
                return LoadText(text::kFolderNotFound) + "\n" + parent.string();
            return {};
        }
        case PcUse::Folder:
            return fs::is_directory(pcPath, ignored)
                       ? std::string()
                       : LoadText(text::kFolderNotFound) + "\n" + pcPath;
        case PcUse::None:
            break;
    }
    return {};
}

// What is wrong with a line of `command`; empty when it may run.
std::string LineProblem(const BatchCommand& command, const ScriptLine& line,
                        const ScriptFolderRules& rules) {
    if (const int refusal = LineRefusal(command, line)) return LoadText(refusal);
    if (command.pcUse == PcUse::None || line.count() <= command.pcWord) return {};
    const std::string pcPath = ScriptFileToPcPath(line.words[command.pcWord], rules.folder());
    if (std::string problem = rules.NameProblem(pcPath); !problem.empty()) return problem;
    return FileProblem(command.pcUse, pcPath);
}

}  // namespace

ScriptCheck CheckBatchScript(const std::string& path) {
    ScriptCheck check;
    ScriptReader reader;
    if (!reader.Open(path)) {
        check.problem = reader.problem();
        return check;
    }
    const ScriptFolderRules rules(path);
    check.folder = rules.folder();
    size_t commands = 0;
    bool readsFiles = false;
    while (std::optional<std::string> text = reader.NextLine()) {
        const bool first = reader.lineNumber() == 1;
        if (first && IsRomImageLine(*text)) {
            check.kind = ScriptCheck::Kind::RomImage;
            return check;
        }
        // A script is text: a NUL byte in the first line comes from some other kind of file.
        if (first && reader.lineHadNul()) {
            check.problem = LoadText(text::kNotRomOrScript);
            return check;
        }
        if (text->empty() || IsScriptComment(*text)) continue;
        ScriptLine line{*text, SplitScriptWords(*text), reader.lineNumber()};
        if (line.words.empty() || CarriesNothing(line)) continue;
        const BatchCommand* command = FindBatchCommand(line.words);
        if (command) ++commands;
        if (check.problemLine != 0) continue;  // the rest only counts the commands
        const std::string problem =
            command ? LineProblem(*command, line, rules) : LoadText(text::kUnknownCommand);
        if (!problem.empty()) {
            check.problem = std::string(command ? command->heading : "") + problem + "\n\n" +
                            ScriptLinePlace(line);
            check.problemLine = line.number;
            continue;
        }
        readsFiles =
            readsFiles || (command->pcUse != PcUse::None && command->pcUse != PcUse::WriteFile &&
                           line.count() > command->pcWord);
        check.lines.push_back(std::move(line));
    }
    if (reader.failed()) {
        check.problem = reader.problem();
        return check;
    }
    check.kind = ScriptCheck::Kind::Refused;
    if (commands == 0) {
        check.problem = LoadText(text::kNoCommand);
        check.problemLine = 0;
        check.lines.clear();
    } else if (std::string backup = rules.BackupProblem(); !backup.empty()) {
        check.problem = std::move(backup);
        check.problemLine = 0;
        check.lines.clear();
    } else if (check.problemLine == 0) {
        check.kind = ScriptCheck::Kind::Script;
        check.unchecked = readsFiles && !rules.hasManifest();
    }
    return check;
}

}  // namespace tarmix
