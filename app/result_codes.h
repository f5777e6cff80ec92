// The process exit codes: what every front end and the signal handling end a run with.
#pragma once

namespace tarmix {

// Result codes of an unattended run: the process exit code. Every code has one meaning,
// listed in ExitCodes() (shown by --help and in the README); a new one takes the next free
// number.
enum ResultCode : int {
    kResultOk = 0,
    kResultBadPort = 1,             // port word not recognised
    kResultBadBaud = 2,             // baud word not recognised
    kResultBadSwitch = 3,           // no recognised switch
    kResultNoBackslash = 4,         // "/d": no backslash, or nothing after the last one
    kResultFileDownloadFailed = 5,  // "/d": the copy to the controller failed
    kResultFileUploadFailed = 6,    // "/u": the copy from the controller failed
    // Beyond the classic codes, so that a failed run never ends as a success:
    kResultDownloadFailed = 7,   // "/p": the download or the script failed
    kResultBackupFailed = 8,     // "/s": the backup failed
    kResultNoController = 9,     // no controller was identified in the waiting time
    kResultCheckFailed = 10,     // --verify-backup or --dry-run found a problem
    kResultCommandFailed = 11,   // a file-system form: the controller refused or did not answer
    kResultNoSuchPath = 12,      // a file-system form: the controller has no such drive or folder
    kResultNoPort = 13,          // the port of the run could not be opened
    kResultBackupExcept = 14,    // "/s": complete except the device entries skipped.txt names
    kResultStationRefused = 15,  // a station's port or controller is another station's too
    kResultRecordFailed = 16,    // --record: the device history cannot be written
    kResultSettingsFailed = 17,  // --settings: the settings file cannot be written
    kResultUsage = 64,           // the command line was not understood
    kResultHangup = 129,         // stopped by SIGHUP (128 + the signal's number)
    kResultInterrupted = 130,    // stopped by SIGINT
    kResultTerminated = 143,     // stopped by SIGTERM
};

}  // namespace tarmix
