// The batch commands that talk to the boot monitor themselves: drive sizes, formatting,
// folders, deletion, the clock, the clock flag of the capability record, and raw monitor
// commands. Each one is judged by its answer; all but the raw command are tried up to
// three times with the same command text.
#pragma once

#include <string>
#include <string_view>

#include "batch/batch_session.h"

namespace tarmix {

// The command texts of the rows that send the line's words.
std::string InitDrivesCommand(const ScriptLine& line);  // the five words
std::string MkdirCommand(const ScriptLine& line);       // mkdir "PATH"
std::string DelCommand(const ScriptLine& line);         // del PATH
// A "monitor" line's text after the word "monitor" and one blank, unchanged.
std::string MonitorCommand(const ScriptLine& line);

// Whether a text can go out as one command line, exactly as it is: it fits into a line
// (a longer one would be cut short), and it holds no control character but the tab (a
// backspace would edit the line in the monitor, a carriage return would end it early and
// run the rest as another command).
bool IsSendable(std::string_view command);

// init drives SIZE_A SIZE_B SIZE_C: the line's five words; success is the echo followed at
// once by the prompt, and a refusal shows the device's answer.
Step RunInitDrives(BatchSession& session, const ScriptLine& line);
// format DRIVE: success is the prompt after " Drive formatiert".
Step RunFormat(BatchSession& session, const ScriptLine& line);
// mkdir PATH: sends mkdir "PATH"; success is the echo followed at once by the prompt.
Step RunMkdir(BatchSession& session, const ScriptLine& line);
// del PATH: sends del PATH; success as for mkdir.
Step RunDel(BatchSession& session, const ScriptLine& line);
// rtc init: the PC's local time, read once; success is the controller's answer with the
// day's full name and the same time.
Step RunRtcInit(BatchSession& session, const ScriptLine& line);
// modify rtc caps: sets value 4 of the capability record to 1 when it is "0".
Step RunModifyRtcCaps(BatchSession& session, const ScriptLine& line);
// monitor TEXT: sends MonitorCommand; success is the prompt.
Step RunMonitor(BatchSession& session, const ScriptLine& line);

}  // namespace tarmix
