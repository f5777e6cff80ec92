// The run the command line asked the main window for. Its unattended forms ("/p" a ROM
// image or script, "/s" a backup, "/u" and "/d" a file copy, and the file-system forms
// such as --ls) wait for the window's watch to identify the controller, run their one
// action and close the window; the run's result is the code the process ends with. It
// also keeps the port and baud words the window did not understand, which it reports
// before it touches the device.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/options/command_line.h"
#include "app/window/window_view.h"
#include "ffs/file_transfer.h"
#include "link/monitor_exchange.h"
#include "models/device.h"

namespace tarmix {

// What the action borrows from the window. The window holds the link for it: the action
// runs inside the watch tick that identified the controller.
struct UnattendedContext {
    MonitorExchange& monitor;
    MainWindowView& view;
    const DeviceDescription& device;
    uint32_t baudRate;  // a file copy raises the line to it
    // "/p": the file of the source field, as the download button runs it; 0 when it succeeded.
    std::function<int()> runSourceFile;
    // "/s": the backup into `folder`; a result code.
    std::function<int(const std::string& folder)> backup;
    // The window's file copies, with its settings.
    std::function<TransferResult(const std::string& pcPath, const std::string& devicePath)> upload;
    std::function<TransferResult(const std::string& pcPath, const std::string& deviceFolder,
                                 const std::string& deviceName)>
        download;
};

class UnattendedRun {
  public:
    explicit UnattendedRun(const MainWindowStart& start);

    // One of the unattended forms: nobody is there to answer a question.
    bool active() const { return commandLineMode_; }
    // The action has not started yet.
    bool awaitingController() const { return commandLineMode_ && !started_; }
    // "/p": its file is checked before the run waits for a controller.
    bool runsSourceFile() const { return commandLineMode_ && commandSwitch_ == "/p"; }

    int resultCode() const { return resultCode_; }
    // What the run's result leaves behind that the user must know of; empty for nothing.
    const std::string& resultDetail() const { return resultDetail_; }
    // The run ends with `code` (command_line.h), whatever it did before.
    void Fail(int code) { resultCode_ = code; }
    // A copy to the device left `deviceFile` incomplete: the result names it.
    void KeepIncompleteFile(const std::string& deviceFile);

    // Which port (`port`; -1 for none) and rate are used instead of the port and baud words
    // that were not understood; empty when there were none.
    std::string UnrecognisedWordsText(int port, int32_t baudRate) const;

    // The form's action, once the controller is identified and while the run awaits it.
    void Run(const UnattendedContext& context);

  private:
    // "/u": the device file of the first path to the PC file of the second. A result code.
    int Upload(const UnattendedContext& context);
    // "/d": the PC file of the first path to the device path of the second.
    int Download(const UnattendedContext& context);

    int resultCode_;
    std::string resultDetail_;
    bool commandLineMode_;
    std::string commandSwitch_;
    std::string firstPath_;
    std::string secondPath_;
    FileSystemRequest fileSystemRequest_;
    std::string unrecognisedPort_;
    std::string unrecognisedBaud_;
    bool started_ = false;
};

}  // namespace tarmix
