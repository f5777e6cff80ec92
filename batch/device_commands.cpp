#include "batch/device_commands.h"

#include <array>
#include <cstdio>
#include <optional>

#include "batch/script_words.h"
#include "config/capability.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {

using namespace std::chrono_literals;

// Silence budgets: quick answers, and commands that may keep the flash busy for a while.
constexpr Wait kShortBudget = Wait::Scaled(500ms);
constexpr Wait kLongBudget = Wait::Scaled(60000ms);
// "tell caps" answers keep at most this many characters.
constexpr size_t kTellCapsCapacity = 2000;

constexpr char kFormatDone[] = "\r\n Drive formatiert\r\nBoot> ";

// "tell caps" answers with its echo and CR LF, the values, and the prompt.
constexpr size_t kTellCapsEcho = 11;
constexpr size_t kRtcFlagIndex = 3;  // the fourth value

constexpr std::array<const char*, 7> kShortDayNames = {"so", "mo", "di", "mi", "do", "fr", "sa"};
constexpr std::array<const char*, 7> kDayNames = {"Sonntag",    "Montag",  "Dienstag", "Mittwoch",
                                                  "Donnerstag", "Freitag", "Samstag"};

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

// The commands whose answer is the echo and at once the prompt (mkdir and del).
Step RunEchoedCommand(BatchSession& session, const std::string& command) {
    const std::string expected = command + kMonitorPrompt;
    const bool done = BatchSession::Attempts([&] {
        session.ShowCommand(command);
        return session.Exchange(command, kLongBudget) && StartsWith(session.lastAnswer(), expected);
    });
    return done ? Step::Continue : session.Fail(text::kError, true);
}

// The values of a "tell caps" answer as the monitor wrote them; empty when the answer is
// too short to hold its echo and prompt. Values are separated by blanks or line breaks.
std::vector<std::string> CapabilityWords(const std::string& answer) {
    if (answer.size() < kTellCapsEcho + kMonitorPromptLength) return {};
    std::string values =
        answer.substr(kTellCapsEcho, answer.size() - kTellCapsEcho - kMonitorPromptLength);
    for (char& c : values)
        if (c == '\r' || c == '\n') c = ' ';
    return SplitScriptWords(values);
}

// The words of "tell caps" as two readings agreed on them: a digit the line changed in one
// reading is never written back into the record.
std::optional<std::vector<std::string>> AgreedCapabilityWords(BatchSession& session) {
    const std::optional<std::string> answer =
        ReadAgreedAnswer(session.context().monitor, kTellCaps, kTellCapsCapacity);
    if (!answer) return std::nullopt;
    return CapabilityWords(*answer);
}

bool SetRtcFlag(BatchSession& session) {
    const std::optional<std::vector<std::string>> read = AgreedCapabilityWords(session);
    if (!read || read->size() < kMinCapabilityValues) return false;
    if ((*read)[kRtcFlagIndex] != "0") return true;  // the flag is set already
    std::vector<std::string> values = *read;
    values[kRtcFlagIndex][0] = '1';  // the "0" becomes "1"
    std::string command = "init caps";
    for (const std::string& value : values) command += ' ' + value;
    // Values that would not go out as they came back are not sent.
    if (!IsSendable(command)) return false;
    if (!session.Exchange(command, kLongBudget) ||
        !StartsWith(session.lastAnswer(), command + kMonitorPrompt))
        return false;
    // What the monitor took shows in the record read back.
    return AgreedCapabilityWords(session) == values;
}

struct RtcTexts {
    std::string command;
    std::string expected;
};

// The command and the expected start of the answer of "rtc init" at `time`:
//   rtc init mo 07.12.2026 08.30.05
//   rtc init mo 07.12.2026 08.30.05\r\nMontag 07.12.2026 08:30:05\r\nBoot>
RtcTexts MakeRtcTexts(const std::string& word1, const std::string& word2, const LocalTime& time) {
    const size_t weekday = size_t(time.weekday) % kDayNames.size();
    char date[64];
    std::snprintf(date, sizeof date, "%02d.%02d.%04d", time.day, time.month, time.year);
    char dotted[32], colons[32];
    std::snprintf(dotted, sizeof dotted, "%02d.%02d.%02d", time.hour, time.minute, time.second);
    std::snprintf(colons, sizeof colons, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    RtcTexts texts;
    texts.command = word1 + ' ' + word2 + ' ' + kShortDayNames[weekday] + ' ' + date + ' ' + dotted;
    texts.expected =
        texts.command + "\r\n" + kDayNames[weekday] + ' ' + date + ' ' + colons + kMonitorPrompt;
    return texts;
}

}  // namespace

bool IsSendable(std::string_view command) {
    if (command.size() > CSerial::kMaxLineLength) return false;
    for (char c : command) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7f) return false;
    }
    return true;
}

std::string InitDrivesCommand(const ScriptLine& line) {
    return line.words[0] + ' ' + line.words[1] + ' ' + line.words[2] + ' ' + line.words[3] + ' ' +
           line.words[4];
}

std::string MkdirCommand(const ScriptLine& line) {
    return line.words[0] + " \"" + line.words[1] + '"';
}

std::string DelCommand(const ScriptLine& line) { return line.words[0] + ' ' + line.words[1]; }

std::string MonitorCommand(const ScriptLine& line) {
    // The word "monitor" and the blank after it, wherever the word begins.
    constexpr size_t kSkipped = sizeof("monitor ") - 1;
    const size_t word = line.text.find_first_not_of(' ');
    return word == std::string::npos || word + kSkipped > line.text.size()
               ? std::string()
               : line.text.substr(word + kSkipped);
}

Step RunInitDrives(BatchSession& session, const ScriptLine& line) {
    const std::string command = InitDrivesCommand(line);
    const std::string shown =
        "A:[" + line.words[2] + "kB], B:[" + line.words[3] + "kB], C:[" + line.words[4] + "kB]";
    // A refusal ends with the prompt as well: only the echo followed at once by the prompt
    // says the sizes were taken.
    const bool done = BatchSession::Attempts([&] {
        session.ShowCommand(shown);
        return session.Exchange(command, kShortBudget) &&
               StartsWith(session.lastAnswer(), command + kMonitorPrompt);
    });
    return done ? Step::Continue : session.Fail(text::kError, !session.lastAnswer().empty());
}

Step RunFormat(BatchSession& session, const ScriptLine& line) {
    const std::string command = line.words[0] + ' ' + line.words[1];
    const bool done = BatchSession::Attempts([&] {
        session.ShowCommand(command);
        return session.Exchange(command, kLongBudget) &&
               session.lastAnswer().find(kFormatDone) != std::string::npos;
    });
    return done ? Step::Continue : session.Fail(text::kError, true);
}

Step RunMkdir(BatchSession& session, const ScriptLine& line) {
    return RunEchoedCommand(session, MkdirCommand(line));
}

Step RunDel(BatchSession& session, const ScriptLine& line) {
    return RunEchoedCommand(session, DelCommand(line));
}

Step RunRtcInit(BatchSession& session, const ScriptLine& line) {
    // Every attempt sends the same moment.
    const RtcTexts texts =
        MakeRtcTexts(line.words[0], line.words[1], session.context().localTime());
    const bool done = BatchSession::Attempts([&] {
        return session.Exchange(texts.command, kShortBudget) &&
               StartsWith(session.lastAnswer(), texts.expected);
    });
    return done ? Step::Continue : session.Fail(text::kError, true);
}

Step RunModifyRtcCaps(BatchSession& session, const ScriptLine&) {
    const bool done = BatchSession::Attempts([&] { return SetRtcFlag(session); });
    return done ? Step::Continue : session.Fail(text::kError, true);
}

Step RunMonitor(BatchSession& session, const ScriptLine& line) {
    return session.Exchange(MonitorCommand(line), kLongBudget) ? Step::Continue : Step::Stop;
}

}  // namespace tarmix
