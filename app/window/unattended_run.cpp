#include "app/window/unattended_run.h"

#include "app/window/file_system_requests.h"
#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_names.h"
#include "link/baud_switch.h"
#include "platform/latin1.h"
#include "platform/port_map.h"

namespace tarmix {

namespace {}  // namespace

UnattendedRun::UnattendedRun(const MainWindowStart& start)
    : resultCode_(start.resultCode),
      commandLineMode_(start.commandLineMode),
      commandSwitch_(start.commandSwitch),
      firstPath_(start.firstPath),
      secondPath_(start.secondPath),
      fileSystemRequest_(start.fileSystem),
      unrecognisedPort_(start.unrecognisedPort),
      unrecognisedBaud_(start.unrecognisedBaud) {}

void UnattendedRun::KeepIncompleteFile(const std::string& deviceFile) {
    resultDetail_ = IncompleteFileText(deviceFile);
}

std::string UnattendedRun::UnrecognisedWordsText(int port, int32_t baudRate) const {
    std::string text;
    if (!unrecognisedPort_.empty() && port >= 0)
        text =
            FormatText(text::kWordNotRecognised, unrecognisedPort_.c_str(), portName(port).c_str());
    if (!unrecognisedBaud_.empty()) {
        if (!text.empty()) text += "\n";
        text += FormatText(text::kWordNotRecognised, unrecognisedBaud_.c_str(),
                           std::to_string(baudRate).c_str());
    }
    return text;
}

void UnattendedRun::Run(const UnattendedContext& context) {
    if (!awaitingController()) return;
    started_ = true;
    if (fileSystemRequest_.form != FileSystemForm::None) {
        resultCode_ =
            RunFileSystemRequest(fileSystemRequest_, context.monitor, context.device, context.view);
    } else if (commandSwitch_ == "/p") {
        if (context.runSourceFile() != 0) resultCode_ = kResultDownloadFailed;
    } else if (commandSwitch_ == "/s") {
        if (const int result = context.backup(secondPath_); result != kResultOk)
            resultCode_ = result;
    } else if (commandSwitch_ == "/u") {
        resultCode_ = Upload(context);
    } else if (commandSwitch_ == "/d") {
        resultCode_ = Download(context);
    } else {
        resultCode_ = kResultBadSwitch;
    }
}

int UnattendedRun::Upload(const UnattendedContext& context) {
    const std::optional<std::string> devicePath = Utf8ToLatin1(firstPath_);
    if (!devicePath) {
        context.view.showMessage("<" + firstPath_ + ">\n\n" + LoadText(text::kUnknownCharacters),
                                 LoadText(text::kFileUpload), MessageIcon::Error);
        return kResultFileUploadFailed;
    }
    TransferResult result = TransferResult::Failed;
    {
        BaudSwitch baud(context.monitor, context.view, context.baudRate);
        RaisedBaudRate raised(baud);  // a file copy is a bulk transfer
        result = context.upload(secondPath_, *devicePath);
    }
    if (result == TransferResult::NotCopied)
        context.view.showMessage(secondPath_ + "\n\n" + LoadText(text::kNotReplaced),
                                 LoadText(text::kFileUpload), MessageIcon::Warning);
    return result == TransferResult::Copied ? kResultOk : kResultFileUploadFailed;
}

int UnattendedRun::Download(const UnattendedContext& context) {
    // The controller path is a folder and a name; one ending in "\" names no file.
    const size_t slash = secondPath_.rfind('\\');
    if (slash == std::string::npos || slash + 1 == secondPath_.size()) return kResultNoBackslash;
    const std::optional<std::string> folder = Utf8ToLatin1(secondPath_.substr(0, slash + 1));
    const std::optional<std::string> name = Utf8ToLatin1(secondPath_.substr(slash + 1));
    if (!folder || !name) {
        context.view.showMessage("<" + secondPath_ + ">\n\n" + LoadText(text::kUnknownCharacters),
                                 LoadText(text::kFileDownload), MessageIcon::Error);
        return kResultFileDownloadFailed;
    }
    BaudSwitch baud(context.monitor, context.view, context.baudRate);
    RaisedBaudRate raised(baud);  // a file copy is a bulk transfer
    const TransferResult result = context.download(firstPath_, *folder, *name);
    return result == TransferResult::Copied ? kResultOk : kResultFileDownloadFailed;
}

}  // namespace tarmix
