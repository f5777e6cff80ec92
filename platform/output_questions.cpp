#include "platform/output_questions.h"

#include "lang/catalog.h"
#include "lang/text_names.h"

namespace tarmix {

namespace fs = std::filesystem;

FolderReady PrepareOutputFolder(View& view, const fs::path& folder) {
    std::error_code failure;
    if (fs::is_directory(folder, failure)) {
        const std::string question = folder.string() + "\n\n" + LoadText(text::kFolderExists) +
                                     "\n\n" + LoadText(text::kOverwriteFiles);
        return view.askYesNo(question, LoadText(text::kSave)) ? FolderReady::Ready
                                                              : FolderReady::Declined;
    }
    fs::create_directories(folder, failure);
    if (failure || !fs::is_directory(folder)) {
        std::string text = folder.string() + "\n\n" + LoadText(text::kCannotCreateFolder);
        if (failure) text += "\n(" + failure.message() + ")";
        view.showMessage(text, LoadText(text::kSave), MessageIcon::Error);
        return FolderReady::Failed;
    }
    return FolderReady::Ready;
}

bool MayReplaceFile(View& view, const fs::path& file) {
    std::error_code ignored;
    if (!fs::exists(file, ignored)) return true;
    const std::string question = file.string() + "\n\n" + LoadText(text::kFileExists) + "\n\n" +
                                 LoadText(text::kOverwriteFile);
    return view.askYesNo(question, LoadText(text::kSave));
}

}  // namespace tarmix
