// CDownloadDialog: the main window's controller, without any toolkit. It owns everything that
// lives longer than one operation (the serial link, the parallel port, the device
// description, the settings and the window's state) and drives a MainWindowView. The window
// (Qt, or the console front end) only forwards its events here: the On… handlers and
// onTimer. Device operations borrow what they need for their duration.
//
// Timers: 0 rescans the ports while none could be chosen; 1 runs the connection watch and,
// in an unattended run, starts the action once the controller is identified; 2 polls the
// link for the terminal while it is shown (the watch is stopped then). No watch tick
// runs while a device operation (or one of its message boxes) is in progress.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/options/command_line.h"
#include "app/program_folders.h"
#include "app/terminal/terminal.h"
#include "app/window/file_menu_queues.h"
#include "app/window/timer_host.h"
#include "app/window/unattended_run.h"
#include "app/window/window_view.h"
#include "ffs/file_system_view.h"
#include "ffs/file_transfer.h"
#include "link/connection_watch.h"
#include "link/monitor_exchange.h"
#include "link/parallel.h"
#include "link/port_scan.h"
#include "link/serial.h"
#include "link/wire_observer.h"
#include "models/device.h"
#include "platform/port_map.h"
#include "platform/stop_request.h"

namespace tarmix {

// What the window borrows from the process.
struct MainWindowServices {
    MainWindowView& view;
    TimerHost& timers;
    Clock& clock;
    PortMap portMap;
    PortFactory portFactory;
    ProgramFolders folders;
    WireObserver* wireObserver = nullptr;  // sees every byte of the serial link
};

class CDownloadDialog {
  public:
    static constexpr int kRescanTimer = 0;
    static constexpr int kWatchTimer = 1;
    static constexpr int kTerminalTimer = 2;
    static constexpr Millis kRescanPeriod{500};
    // The queued transfers of the "File" menu hand over between files on these one-shot
    // timers, so that the window shows each file's progress picture.
    static constexpr int kUploadTimer = FileMenuQueues::kUploadTimer;
    static constexpr int kNewFileTimer = FileMenuQueues::kNewFileTimer;

    CDownloadDialog(MainWindowServices services, const MainWindowStart& start);
    ~CDownloadDialog();
    CDownloadDialog(const CDownloadDialog&) = delete;
    CDownloadDialog& operator=(const CDownloadDialog&) = delete;

    // When the window opens: folders, settings, port check, language, connect, title.
    void OnInitDialog();

    // --- events the window forwards -------------------------------------------------------
    void onTimer(int id);
    // START_DOWNLOAD: runs the file of the source field. A ROM image (first line "S0", "S2"
    // or "S3") goes to the application download; any other file is a batch script. 0 when
    // the download succeeded or the script ran to its end; 1 when the file could not be
    // read, the download failed or a command of the script stopped it.
    int OnStartDownload();
    void OnStartApplication();
    // The backup button: checks the controller, asks for a folder and backs it up.
    void OnBackup();
    // UPDATE_BOOTLOADER: asks first, then renews the controller's boot loader from the
    // Library folder.
    void OnUpdateBootLoader();
    // The Exit button: asks first unless this is an unattended run.
    void OnExit();
    // Closing by the window frame: always asks. true when the window may close.
    bool OnCloseRequest();
    void OnComRadio(int index);  // 0..5 for COM1..COM6
    void OnComLpt();
    void OnBaudRadio(int rate);  // 57600, 115200 or 230400
    void OnSourceEdited(const std::string& text);
    void OnChooseFile();
    void OnKeepSettings(bool checked);
    void OnCompare(bool checked);
    void OnVerifyAfterWrite(bool checked);
    void OnExtendedFirmware(bool checked);
    void OnLanguage(int languageIndex);
    // TERMINAL_ON_OFF, and what the user types into the shown terminal (Paste included).
    void OnTerminalOnOff();
    void OnTerminalKey(TerminalKey key);
    void OnTerminalText(const std::string& utf8);
    // The terminal's own controls: the line's rate, local echo, time stamps, and Clear and
    // Save for its text.
    void OnTerminalRate(uint32_t baud);
    void OnTerminalEcho(bool on);
    void OnTerminalTimestamps(bool on);
    void OnTerminalClear();
    void OnTerminalSave();
    // The window's Stop control, or Escape: the operation under way stops at its next
    // safe point (the only input an operation takes). Nothing happens between operations.
    void OnStopOperation();

    // --- the extended view (download_dialog_files_view.cpp) -------------------------------
    // ERWEITERT (">>>" / "<<<"): shows or hides the drives' file-system area.
    void OnExtendedView();
    void OnDriveTab(int drive);
    void OnFolderSelected(int index);
    // `entryUnderClick`: the folder under the mouse, or -1.
    void OnFolderTreeMenu(int entryUnderClick);
    void OnFileListMenu(const std::vector<int>& selectedRows);
    // The name edit of a new row ended with `text`, or was abandoned (nullopt).
    void OnFileNameEdited(const std::vector<int>& selectedRows,
                          const std::optional<std::string>& text);

    // --- shared steps, also used by other operations ---------------------------------------
    // Opens the selected port at 57600 and starts the watch; false when it cannot.
    bool Connect();
    void Disconnect();
    void UpdateControls();
    void ApplyLanguage();
    // The OK path: settings saved, both ports closed, timers stopped, window closed.
    void CloseThroughOk();

    // --- state the launcher and the front ends read ---------------------------------------
    int resultCode() const { return unattended_.resultCode(); }
    // What the run's result leaves behind that the user must know of; empty for nothing.
    const std::string& resultDetail() const { return unattended_.resultDetail(); }
    bool commandLineMode() const { return unattended_.active(); }
    bool closed() const { return closed_; }
    // An unattended run still waits for its controller.
    bool awaitingController() const { return unattended_.awaitingController() && !closed_; }
    const DeviceDescription& device() const { return device_; }
    const PortState& ports() const { return ports_; }
    // The port the link last opened or tried ("COM1"); empty before the first attempt.
    const std::string& linkPort() const { return linkPort_; }
    int32_t baudRate() const { return baudRate_; }
    bool applicationLoaded() const { return applicationLoaded_; }
    bool applicationRunning() const { return applicationRunning_; }
    const std::string& romFilePath() const { return romFilePath_; }
    const std::string& sourceFolder() const { return sourceFolder_; }
    const std::filesystem::path& startDirectory() const { return startDirectory_; }
    const std::filesystem::path& libraryFolder() const { return folders_.library; }
    uint32_t timeFactor() const { return monitor_.timeFactor(); }
    bool terminalOn() const { return terminalOn_; }
    const CTerminal& terminal() const { return terminal_; }
    bool extendedView() const { return extendedView_; }
    // The extended view's controller; nullptr when the view has no drive area.
    const FileSystemView* fileSystem() const { return fileSystem_.get(); }

  private:
    // How to get at a listed port that this user may not open; empty when there is none.
    std::string PermissionHint() const;
    // Holds the watch off for a device operation (or a timer tick) and lets it resume
    // afterwards; nested operations (the unattended download inside a tick) count once.
    class DeviceOperation {
      public:
        // A timer tick (`tick`) leaves what the last operation said in place.
        explicit DeviceOperation(CDownloadDialog& window, bool tick = false)
            : window_(window), outer_(!window.busy_) {
            if (!outer_) return;
            window_.busy_ = true;
            window_.statusTextId_ = 0;  // what the operation shows may come from below
            if (!tick) window_.outcomeHeld_ = true;
            window_.timers_.stop(kWatchTimer);
        }
        ~DeviceOperation() {
            if (!outer_) return;
            window_.busy_ = false;
            window_.ShowOutcomeAfterLateStop();
            ClearOperatorStop();  // it has stopped this operation; the next one runs
            if (window_.watchActive_ && !window_.closed_)
                window_.timers_.start(kWatchTimer, window_.watchPeriod());
        }
        DeviceOperation(const DeviceOperation&) = delete;
        DeviceOperation& operator=(const DeviceOperation&) = delete;

      private:
        CDownloadDialog& window_;
        bool outer_;
    };

    // Timer work.
    void RescanTick();
    void WatchTick();
    void ShowWatchReport(const WatchReport& report);
    void ShowUsage();
    // The unattended run's action once the controller is identified; the window closes
    // after it.
    void RunUnattendedAction();
    void StartWatch();
    void StopWatch();
    Millis watchPeriod() const;

    // The model picture, START_DOWNLOAD and START_APPLICATION after the link changed.
    void RefreshModelControls();
    void SetInfo(InfoField field, const std::string& text);
    // The status line shows a catalogue text, which a language change shows anew, or
    // another text, which stays as it is.
    void Status(int textId);
    void StatusText(const std::string& text);
    // The link's own news (connecting, connected): it does not replace what an operation
    // said.
    void LinkStatus(int textId);
    // After an operation: "Stopping…" still on the line means the stop came during its last
    // step and cut nothing short, so the line it replaced, the operation's last word, is
    // shown again.
    void ShowOutcomeAfterLateStop();
    bool SelectedPortIsUsb() const;
    // Settles the port to connect to. Only the window, with no port of the command line,
    // gives way to the first available port; every other run keeps its own, so that it
    // never works on another controller than the one asked for.
    void CheckSelectedPort();
    std::string CompletePath(const std::string& name) const;
    // The download button's work without the guard against clicks during an operation.
    int RunSourceFile();
    int DownloadRomImage(const std::string& path);
    // The boot loader update with the images in `library`, for the controller that
    // identification found as `identifiedModel`; `askFirst`: ask before anything is sent.
    int RunBootLoaderUpdate(const std::filesystem::path& library, int32_t identifiedModel,
                            bool askFirst = false);
    bool BootLoaderUpdateEnabled() const;
    // The start-application button's work: starts the application, or stops it when it runs.
    void StartOrStopApplication();
    // The folder chooser for `purpose`: it opens in the folder last chosen for it, else in
    // the home folder; nullopt when cancelled.
    enum class FolderPurpose { Backup, Upload };
    std::optional<std::string> ChooseFolderFor(FolderPurpose purpose);
    // The backup into `folder`, or into a folder the operator chooses when it is empty.
    // The result code: kResultOk, kResultBackupExcept or kResultBackupFailed.
    int RunBackup(const std::string& folder);
    // The EEPROM restore of a script's restoreeprom line.
    int RestoreEeprom(const std::string& path);
    void SwitchTerminalOn();
    // `reconnect`: the watch starts again through a new connection unless the application
    // runs (the terminal's own switch); Disconnect closes the link itself.
    void SwitchTerminalOff(bool reconnect);
    // START_APPLICATION while the terminal is on or the application runs.
    void EnableStartApplication();
    // Writes are read back and compared: the check box or --verify.
    bool Verifying() const { return verifyAfterWrite_ || commandLineVerify_; }
    // File copies between the PC and the drives (download_dialog_files.cpp).
    TransferContext TransferSettings();
    FileTransfer Transfers() { return FileTransfer(TransferSettings()); }
    TransferResult UploadForScript(const std::string& devicePath, const std::string& pcPath);
    // A copy to the device that keeps, for the run's result, the device file it left
    // incomplete.
    TransferResult DownloadToDevice(const std::string& pcPath, const std::string& deviceFolder,
                                    const std::string& deviceName);
    // The extended view: refreshes, and the transfers of its "File" menu
    // (download_dialog_files_view.cpp; the queued ones in file_menu_queues.cpp).
    void SetUpFileSystemView();
    void ShowCompactView();
    void ShowIdentifiedDrive(int firstDrive);
    void RefreshDrivesAfterLanguage();
    void RefreshDriveAfterScript();
    void RunFileMenuTransfer(FileCommand command, const std::vector<int>& rows);
    void NewProgram();
    // Says which port and rate are used for command-line words that were not understood.
    void ReportUnrecognisedWords();
    // The device texts of the information fields in the language just chosen.
    void RelabelDeviceTexts(const std::string& oldFirmwareLabel, const std::string& oldUnknown);

    // Borrowed from the process.
    MainWindowView& view_;
    TimerHost& timers_;
    Clock& clock_;
    ProgramFolders folders_;

    // The device link and what is known of the device.
    PortMap portMap_;
    CSerial serial_;
    MonitorExchange monitor_;
    CParallel parallel_;
    DeviceDescription device_;
    ParallelFlags parallelFlags_;
    PortState ports_;
    // The command line's port for this run, and the stored port it stands in for.
    std::optional<int> runPort_;
    int storedPort_ = 0;
    std::string linkPort_;
    PortScanner scanner_;
    ConnectionWatch watch_;
    CTerminal terminal_;

    // The window's state.
    std::filesystem::path startDirectory_;
    std::string romFilePath_;
    std::string sourceFolder_;
    std::array<std::string, 2> chosenFolders_;  // by FolderPurpose, this session
    int32_t baudRate_ = CSerial::kLinkBaud;
    bool connecting_ = false;
    bool keepReceipts_ = false;
    bool compareMode_ = false;
    bool verifyAfterWrite_ = false;   // the check box, saved in the settings
    bool commandLineVerify_ = false;  // --verify: this run only
    bool extendedView_ = false;
    // An upload asks before it replaces a PC file, unless a save dialog has asked already.
    bool askBeforeOverwrite_ = true;
    bool applicationLoaded_ = false;
    bool applicationRunning_ = false;
    AddressRange applicationRange_;
    uint32_t applicationStart_ = 0;
    UsageFigures usage_;
    std::string panelText_;
    std::string flashText_;
    std::string firmwareText_;

    int statusTextId_ = 0;  // the catalogue text on the status line; 0 for another text
    // What the status line showed when the operator asked the operation under way to stop.
    struct ShownStatus {
        std::string text;
        int textId;
    };
    std::optional<ShownStatus> statusBeforeStop_;

    UnattendedRun unattended_;

    // The extended view's controller and the queues of its "File" menu; neither without
    // a drive view.
    std::unique_ptr<FileSystemView> fileSystem_;
    std::optional<FileMenuQueues> queues_;

    bool terminalOn_ = false;
    bool watchActive_ = false;  // timer 1 belongs to a connected link
    bool busy_ = false;         // a device operation or a timer tick is running
    // The status line holds what an operation said until the next operation, or until the
    // link is lost or closed: the link's own news does not replace it.
    bool outcomeHeld_ = false;
    bool closed_ = false;
};

}  // namespace tarmix
