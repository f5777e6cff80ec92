// The queued transfers of the extended view's "File" menu: Upload of the selected rows (one
// file through a save dialog, several into a chosen folder) and New File (PC files to the
// folder shown, one by one). Each queue hands over between files on a one-shot timer of its
// own, so that the window shows each file's progress picture; the window passes the ticks
// of those timers on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/window/timer_host.h"
#include "app/window/window_view.h"
#include "ffs/file_system_view.h"
#include "ffs/file_transfer.h"
#include "link/monitor_exchange.h"
#include "models/device.h"

namespace tarmix {

// What the queues borrow from the window, for as long as it has its extended view.
struct FileMenuWindow {
    MainWindowView& view;
    TimerHost& timers;
    FileSystemView& fileSystem;
    MonitorExchange& monitor;
    const DeviceDescription& device;
    const int32_t& baudRate;  // a file copy raises the line to it
    // An upload asks before it replaces a PC file, unless a save dialog has asked already.
    bool& askBeforeOverwrite;
    // The folder chooser for several uploads; nullopt when cancelled.
    std::function<std::optional<std::string>()> chooseUploadFolder;
    // Runs `work` as one device operation of the window: the watch waits meanwhile.
    std::function<void(const std::function<void()>& work)> deviceOperation;
    // A file copy with the window's settings.
    std::function<FileTransfer()> transfers;
};

class FileMenuQueues {
  public:
    // The window's timers that step the queues, beside its own (download_dialog.h).
    static constexpr int kUploadTimer = 3;
    static constexpr int kNewFileTimer = 4;
    static constexpr Millis kStepPeriod{100};

    explicit FileMenuQueues(FileMenuWindow window) : window_(std::move(window)) {}

    // Upload: the rows of the file list, to PC files the operator chooses.
    void QueueUploads(const std::vector<int>& rows);
    // The upload timer's tick: every queued upload, as one operation.
    void UploadQueueStep();
    // New File: PC files the operator chooses, to the folder shown. One file is named by
    // the operator in the list first (NameNewFile follows the edit).
    void QueueNewFiles();
    void NameNewFile(const std::string& name);
    // The new-file timer's tick: the next file's row, or its transfer.
    void NewFileStep();

  private:
    struct QueuedUpload {
        std::string pcPath;
        std::string devicePath;
    };
    // A new file keeps the folder it was meant for: the tree may change while it waits.
    struct QueuedNewFile {
        std::string pcPath;
        std::string deviceFolder;
        std::string deviceName;
        int row = -1;  // its row in the list once shown
    };

    // The transfer of `file`, the next new file, whose row the list shows when
    // `folderShown`; the timer runs on to the one after it.
    void SendNewFile(QueuedNewFile& file, bool folderShown);

    FileMenuWindow window_;
    std::vector<QueuedUpload> uploadQueue_;
    std::vector<QueuedNewFile> newFileQueue_;
    size_t nextNewFile_ = 0;
};

}  // namespace tarmix
