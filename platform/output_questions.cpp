#include "platform/output_questions.h"

#include "lang/catalog.h"

namespace tarmix {

namespace fs = std::filesystem;

namespace {

constexpr int kTextSave = 60390;                // "Save"
constexpr int kTextFolderExists = 60260;        // "Folder already exists!"
constexpr int kTextOverwriteFiles = 60226;      // "Should the files be overwritten?"
constexpr int kTextCannotCreateFolder = 60261;  // "Could not create the folder"
constexpr int kTextFileExists = 60200;          // "The file already exist!"
constexpr int kTextOverwriteFile = 60212;       // "Should the file to be overwritten?"

}  // namespace

FolderReady PrepareOutputFolder(View& view, const fs::path& folder) {
    std::error_code failure;
    if (fs::is_directory(folder, failure)) {
        const std::string question = folder.string() + "\n\n" + LoadText(kTextFolderExists) +
                                     "\n\n" + LoadText(kTextOverwriteFiles);
        return view.askYesNo(question, LoadText(kTextSave)) ? FolderReady::Ready
                                                            : FolderReady::Declined;
    }
    fs::create_directories(folder, failure);
    if (failure || !fs::is_directory(folder)) {
        std::string text = folder.string() + "\n\n" + LoadText(kTextCannotCreateFolder);
        if (failure) text += "\n(" + failure.message() + ")";
        view.showMessage(text, LoadText(kTextSave), MessageIcon::Error);
        return FolderReady::Failed;
    }
    return FolderReady::Ready;
}

bool MayReplaceFile(View& view, const fs::path& file) {
    std::error_code ignored;
    if (!fs::exists(file, ignored)) return true;
    const std::string question =
        file.string() + "\n\n" + LoadText(kTextFileExists) + "\n\n" + LoadText(kTextOverwriteFile);
    return view.askYesNo(question, LoadText(kTextSave));
}

}  // namespace tarmix
