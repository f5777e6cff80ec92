// The check of a batch script before its first line runs. A script that fails on its third
// line must not have formatted a drive on its first, so everything that can be known
// without the controller is checked up front, and the whole script is refused with the
// first problem and its line:
// - every line is a known command with the words it needs (a line of blanks, and one
//   whose first word starts with ";" or "#", carry nothing and are passed over);
// - every PC file a line reads is there and is a readable regular file; every ROM image
//   it programs is sound as a whole (flash/rom_image_check.h); the folder of every file it
//   writes, and every folder it names, is there;
// - a file that holds no command at all (an empty file, a README, random bytes) is no
//   script;
// - a restore script (named "Reload.rom", or with "manifest.json" beside it) names only
//   files inside its own folder, and when the manifest is there, every file of the backup
//   matches it and every file the script reads is listed in it.
// The dry run and the real run both go through this check, so they agree on what runs.
#pragma once

#include <string>
#include <vector>

#include "batch/batch_session.h"

namespace tarmix {

struct ScriptCheck {
    enum class Kind {
        FileError,  // the file cannot be opened or read, or is no text; `problem` says why
        RomImage,   // the first line is an S-record: the file is an image, not a script
        Refused,    // `problem` is the message that refuses the script
        Script,     // every line may run
    };
    Kind kind = Kind::FileError;
    std::string problem;
    // Refused: the line of the first problem; 0 when it concerns the file as a whole.
    int problemLine = 0;
    // The command lines in file order (when refused: those before the problem).
    std::vector<ScriptLine> lines;
    // The folder that completes relative names: the script's own, with its separator.
    std::string folder;
    // The script reads PC files, but there is no manifest beside it to check them against.
    bool unchecked = false;
};

ScriptCheck CheckBatchScript(const std::string& path);

}  // namespace tarmix
