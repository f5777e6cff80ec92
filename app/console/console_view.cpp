#include "app/console/console_view.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "lang/catalog.h"
#include "lang/format_text.h"
#include "lang/text_ids.h"
#include "lang/text_names.h"
#include "platform/stop_request.h"

namespace tarmix {

namespace {

// The loop sleeps at most this long at a time, so a stop request is seen promptly.
constexpr Millis kLoopSlice{100};
constexpr int kBarWidth = 40;

// A message on one console line: each run of line breaks (an empty line too) becomes " / ".
std::string oneLine(const std::string& text) {
    std::string out;
    bool lineBreak = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') continue;
        if (text[i] == '\n') {
            lineBreak = true;
            while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) ++i;
            continue;
        }
        if (lineBreak && !out.empty()) {
            while (!out.empty() && out.back() == ' ') out.pop_back();
            out += " / ";
        }
        lineBreak = false;
        out += text[i] == '\t' ? ' ' : text[i];
    }
    return out;
}

struct IconWords {
    const char* json;  // the event's icon, the same in every language
    int textId;        // the word on the console line
};

IconWords iconWords(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return {"error", text::kError};
        case MessageIcon::Warning:
            return {"warning", text::kWarning};
        case MessageIcon::Question:
            return {"question", text::kQuestion};
        case MessageIcon::Information:
            break;
    }
    return {"information", text::kInformation};
}

// The catalogue ids of a text, as a JSON array.
nlohmann::ordered_json idsOf(const std::string& text) { return TextIdsOf(text); }

const char* fieldName(InfoField field) {
    switch (field) {
        case InfoField::Panel:
            return "Panel";
        case InfoField::Flash:
            return "Flash";
        case InfoField::Firmware:
            break;
    }
    return "Firmware";
}

// An operator's reply means Yes when it starts with "y" or with the language's own yes
// letter, the text between "(" and "/" of choices ("(j/N)").
bool saysYes(std::string_view reply, std::string_view choices) {
    const size_t open = choices.find('(');
    const size_t slash = choices.find('/');
    const std::string_view letter = open < slash && slash != std::string_view::npos
                                        ? choices.substr(open + 1, slash - open - 1)
                                        : std::string_view("y");
    const auto lower = [](std::string_view text) {
        std::string out(text);
        for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
        return out;
    };
    const std::string said = lower(reply);
    return said.starts_with('y') || (!letter.empty() && said.starts_with(lower(letter)));
}

int percent(double fraction) { return int(fraction * 100.0); }

// "12.3 s", "850 ms".
std::string seconds(Millis duration) {
    if (duration < Millis(1000)) return std::to_string(duration.count()) + " ms";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", double(duration.count()) / 1000.0);
    return text;
}

}  // namespace

std::string WithoutControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // U+0080..U+009F, the C1 controls, are C2 80..C2 9F in UTF-8.
        const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (byte < 0x20 || byte == 0x7F || c1) {
            out += '?';
            if (c1) ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

ConsoleFrontEnd::ConsoleFrontEnd(std::ostream& errors, std::ostream* events, Clock& clock,
                                 ConsoleOptions options)
    : errors_(errors),
      events_(events),
      clock_(clock),
      options_(std::move(options)),
      lastOperation_(clock.now()) {}

RunEnd ConsoleFrontEnd::run(CDownloadDialog& window) {
    const Millis started = clock_.now();
    while (!window.closed()) {
        // The operator's own stop (there is none on the console) would not end the program.
        const StopCause stop = PendingStop();
        if (stop == StopCause::Interrupt || stop == StopCause::Terminate ||
            stop == StopCause::Hangup)
            return RunEnd::Interrupted;
        if (window.awaitingController()) {
            const bool late =
                options_.waitForController && clock_.now() - started >= *options_.waitForController;
            // Without the watch nothing changes unless an operator picks a port: there was
            // none, or it could not be opened.
            if (late || !timers_.contains(CDownloadDialog::kWatchTimer))
                return RunEnd::NoController;
        }
        if (timers_.empty()) return RunEnd::Closed;

        const auto next = std::min_element(timers_.begin(), timers_.end(), [](auto& a, auto& b) {
            return a.second.due < b.second.due;
        });
        const Millis now = clock_.now();
        if (next->second.due > now) {
            clock_.sleep(std::min(next->second.due - now, kLoopSlice));
            continue;
        }
        // Due again one period after this tick began; the tick may stop or restart it.
        const int id = next->first;
        next->second.due = now + next->second.period;
        lastOperation_.clear();
        window.onTimer(id);
    }
    return RunEnd::Closed;
}

void ConsoleFrontEnd::start(int id, Millis period) {
    timers_[id] = {period, clock_.now() + period};
}

void ConsoleFrontEnd::clearProgressBar() {
    if (!progressShown_) return;
    errors_ << "\r\x1b[K";
    progressShown_ = false;
}

void ConsoleFrontEnd::line(const std::string& text) {
    clearProgressBar();
    errors_ << WithoutControls(text) << "\n" << std::flush;
}

void ConsoleFrontEnd::printEntry(const std::string& line, const JsonEvent& json) {
    if (events_) return event(json);
    clearProgressBar();
    std::cout << line << "\n" << std::flush;
}

void ConsoleFrontEnd::event(const JsonEvent& json) {
    if (!events_) return;
    if (!station_) {
        *events_ << json.str() << "\n" << std::flush;
        return;
    }
    JsonEvent stationed = json;
    *events_ << stationed.number("station", *station_).str() << "\n" << std::flush;
}

std::string ConsoleFrontEnd::caption(Control control, int fallbackTextId) const {
    const auto found = captions_.find(control);
    return found == captions_.end() ? LoadText(fallbackTextId) : oneLine(found->second);
}

void ConsoleFrontEnd::setCaption(Control control, const std::string& text) {
    captions_[control] = text;
}

void ConsoleFrontEnd::setStatus(const std::string& text) {
    // The watch repeats its status twice a second; a log only needs the changes.
    if (text == status_) return;
    status_ = text;
    line(oneLine(text));
    event(JsonEvent("status").text("text", text).json("ids", idsOf(text)));
}

void ConsoleFrontEnd::setProgressRange(int low, int high) {
    if (low == progressLow_ && high == progressHigh_) return;
    progressLow_ = low;
    progressHigh_ = high;
    progress_.reset();
    event(JsonEvent("progressRange").number("low", low).number("high", high));
}

void ConsoleFrontEnd::setProgress(int position) {
    if (progress_ == position) return;
    progress_ = position;
    event(JsonEvent("progress")
              .number("position", position)
              .number("low", progressLow_)
              .number("high", progressHigh_));
    drawProgressBar();
}

void ConsoleFrontEnd::setTransferred(uint64_t done, uint64_t total) {
    transfer_.update(done, total, clock_.now());
    const TransferFigures& figures = *transfer_.figures();
    JsonEvent json("transfer");
    json.number("done", (long long)figures.done)
        .number("total", (long long)figures.total)
        .real("bytesPerSecond", figures.bytesPerSecond);
    if (figures.secondsLeft) json.real("secondsLeft", *figures.secondsLeft);
    event(json);
    drawProgressBar();
}

void ConsoleFrontEnd::drawProgressBar() {
    if (!options_.progressBar || !progress_ || progressHigh_ <= progressLow_) return;
    const double done =
        std::clamp(double(*progress_ - progressLow_) / (progressHigh_ - progressLow_), 0.0, 1.0);
    const int filled = int(done * kBarWidth);
    std::string figures;
    if (transfer_.running()) figures = "  " + DescribeTransfer(*transfer_.figures());
    errors_ << "\r[" << std::string(size_t(filled), '#')
            << std::string(size_t(kBarWidth - filled), '.') << "] " << percent(done) << "%"
            << figures << "\x1b[K" << std::flush;
    progressShown_ = true;
}

void ConsoleFrontEnd::showMessage(const std::string& text, const std::string& caption,
                                  MessageIcon icon) {
    const IconWords words = iconWords(icon);
    std::string shown = LoadText(words.textId) + ": ";
    if (!caption.empty()) shown += oneLine(caption) + ": ";
    // After a second signal the operation ended through cut-short waits: its complaints
    // (no answer, the rate not switched back) are the abandon's doing, not the device's.
    // The summary says instead what state the controller may be in.
    const bool abandonsDoing =
        AbandonRequested() && (icon == MessageIcon::Error || icon == MessageIcon::Warning);
    if (!abandonsDoing) line(shown + oneLine(text));
    event(JsonEvent("message")
              .text("icon", words.json)
              .text("caption", caption)
              .json("captionIds", idsOf(caption))
              .text("text", text)
              .json("ids", idsOf(text)));
}

bool ConsoleFrontEnd::askYesNo(const std::string& text, const std::string& caption) {
    bool answer = options_.answerYes;
    const std::string question = LoadText(text::kQuestion) + ": " + oneLine(text);
    if (options_.operatorAnswers != nullptr) {
        clearProgressBar();
        const std::string choices = LoadText(text::kYesNoChoice);  // "(y/N)"
        errors_ << WithoutControls(question + " " + choices + " ") << std::flush;
        std::string reply;
        // No answer (end of input) is No: the question comes before destructive work.
        answer = std::getline(*options_.operatorAnswers, reply) && saysYes(reply, choices);
        line("-> " + LoadText(answer ? text::kYes : text::kNo));
    } else {
        line(question + " -> " + LoadText(answer ? text::kAnsweredYes : text::kAnsweredNo));
    }
    event(JsonEvent("question")
              .text("caption", caption)
              .json("captionIds", idsOf(caption))
              .text("text", text)
              .json("ids", idsOf(text))
              .text("answer", answer ? "yes" : "no"));
    return answer;
}

void ConsoleFrontEnd::setInfo(InfoField field, const std::string& text) {
    std::string& shown = info_[field];
    if (shown == text) return;
    shown = text;
    switch (field) {
        case InfoField::Panel:
            line(caption(Control::StaticPanel, text::kPanelLabel) + " " + text);
            break;
        case InfoField::Flash:
            line(caption(Control::StaticFlash, text::kFlashLabel) + " " + text);
            break;
        case InfoField::Firmware:
            line(text);  // the text carries its own label
            break;
    }
    event(JsonEvent("info")
              .text("field", fieldName(field))
              .text("text", text)
              .json("ids", idsOf(text)));
}

void ConsoleFrontEnd::setUsage(const UsageFigures& usage) {
    if (usage_ == usage) return;
    usage_ = usage;
    event(JsonEvent("usage")
              .real("romUsage", usage.romUsage)
              .real("ramUsage", usage.ramUsage)
              .number("romExtent", usage.romExtent)
              .number("romCodeSize", usage.romCodeSize)
              .number("ramNeeded", usage.ramNeeded)
              .number("ramAvailable", usage.ramAvailable));
    // Before anything is known there is nothing to tell.
    const int rom = RomBarPercent(usage);
    if (rom < 0) return;
    line(caption(Control::StaticRom, text::kRomUsageLabel) + " " + std::to_string(rom) + "%; " +
         caption(Control::StaticRam, text::kRamUsageLabel) + " " +
         std::to_string(RamBarPercent(usage)) + "%");
}

void ConsoleFrontEnd::reportDownload(const DownloadSummary& summary) {
    const double secondsTaken = double(summary.duration.count()) / 1000.0;
    const uint64_t rate = secondsTaken > 0 ? uint64_t(double(summary.bytes) / secondsTaken) : 0;
    line(FormatText(summary.compare ? text::kCompared : text::kDownloaded,
                    std::to_string(summary.bytes), summary.blocks, seconds(summary.duration),
                    std::to_string(rate)) +
         "; " + caption(Control::StaticRom, text::kRomUsageLabel) + " " +
         std::to_string(std::max(RomBarPercent(summary.usage), 0)) + "%, " +
         caption(Control::StaticRam, text::kRamUsageLabel) + " " +
         std::to_string(std::max(RamBarPercent(summary.usage), 0)) + "%");
    event(JsonEvent("download")
              .flag("compare", summary.compare)
              .number("bytes", (long long)summary.bytes)
              .number("blocks", summary.blocks)
              .number("milliseconds", summary.duration.count())
              .number("bytesPerSecond", (long long)rate)
              .number("romUsagePercent", std::max(RomBarPercent(summary.usage), 0))
              .number("ramUsagePercent", std::max(RamBarPercent(summary.usage), 0)));
}

std::string ConsoleFrontEnd::SaveLastOperation() {
    const std::string trace = lastOperation_.text();
    if (trace.empty() || options_.traceFolder.empty()) return "";
    std::string error;
    const std::filesystem::path file = SaveTrace(options_.traceFolder, trace, error);
    if (file.empty()) line("tarmix: " + FormatText(text::kTraceLost, error));
    return file.string();
}

void ConsoleFrontEnd::finish(const RunOutcome& outcome) {
    if (AbandonRequested()) showMessage(LoadText(text::kAbandoned), "", MessageIcon::Information);
    std::string summary =
        "tarmix: " + FormatText(text::kExitCode, outcome.exitCode, outcome.reason);
    if (!outcome.port.empty())
        summary += " " + FormatText(text::kOnPort, outcome.port, outcome.device);
    const std::string traceFile = outcome.exitCode == 0 ? "" : SaveLastOperation();
    if (!traceFile.empty()) summary += "; " + FormatText(text::kTraceKept, traceFile);
    line(summary);
    JsonEvent result("result");
    result.number("exitCode", outcome.exitCode).text("reason", outcome.reason);
    if (!outcome.port.empty()) result.text("port", outcome.port).text("device", outcome.device);
    if (!traceFile.empty()) result.text("trace", traceFile);
    event(result.json("ids", idsOf(outcome.reason)));
}

}  // namespace tarmix
