#include "app/console_view.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/stop_request.h"

namespace tarmix {

namespace {

// The loop sleeps at most this long at a time, so a stop request is seen promptly.
constexpr Millis kLoopSlice{100};
constexpr int kBarWidth = 40;

// A message on one console line: line breaks become " / ".
std::string oneLine(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') continue;
        if (text[i] == '\n') {
            while (!out.empty() && out.back() == ' ') out.pop_back();
            if (!out.empty()) out += " / ";
            while (i + 1 < text.size() && (text[i + 1] == ' ' || text[i + 1] == '\t')) ++i;
            continue;
        }
        out += text[i] == '\t' ? ' ' : text[i];
    }
    return out;
}

const char* iconWord(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Error:
            return "error";
        case MessageIcon::Warning:
            return "warning";
        case MessageIcon::Question:
            return "question";
        case MessageIcon::Information:
            break;
    }
    return "information";
}

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
        if (stop == StopCause::Interrupt || stop == StopCause::Terminate)
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

std::string ConsoleFrontEnd::caption(Control control, const char* fallback) const {
    const auto found = captions_.find(control);
    return found == captions_.end() ? fallback : oneLine(found->second);
}

void ConsoleFrontEnd::setCaption(Control control, const std::string& text) {
    captions_[control] = text;
}

void ConsoleFrontEnd::setStatus(const std::string& text) {
    // The watch repeats its status twice a second; a log only needs the changes.
    if (text == status_) return;
    status_ = text;
    line(oneLine(text));
    event(JsonEvent("status").text("text", text));
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
    std::string shown = std::string(iconWord(icon)) + ": ";
    if (!caption.empty()) shown += oneLine(caption) + ": ";
    line(shown + oneLine(text));
    event(JsonEvent("message")
              .text("icon", iconWord(icon))
              .text("caption", caption)
              .text("text", text));
}

bool ConsoleFrontEnd::askYesNo(const std::string& text, const std::string& caption) {
    const bool answer = options_.answerYes;
    line("question: " + oneLine(text) + " -> " + (answer ? "Yes (--yes)" : "No (--no)"));
    event(JsonEvent("question")
              .text("caption", caption)
              .text("text", text)
              .text("answer", answer ? "yes" : "no"));
    return answer;
}

void ConsoleFrontEnd::setInfo(InfoField field, const std::string& text) {
    std::string& shown = info_[field];
    if (shown == text) return;
    shown = text;
    switch (field) {
        case InfoField::Panel:
            line(caption(Control::StaticPanel, "Panel:") + " " + text);
            break;
        case InfoField::Flash:
            line(caption(Control::StaticFlash, "Flash:") + " " + text);
            break;
        case InfoField::Firmware:
            line(text);  // the text carries its own label
            break;
    }
    event(JsonEvent("info").text("field", fieldName(field)).text("text", text));
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
    line(caption(Control::StaticRom, "ROM usage:") + " " + std::to_string(rom) + "%; " +
         caption(Control::StaticRam, "RAM usage:") + " " + std::to_string(RamBarPercent(usage)) +
         "%");
}

void ConsoleFrontEnd::reportDownload(const DownloadSummary& summary) {
    const double secondsTaken = double(summary.duration.count()) / 1000.0;
    const uint64_t rate = secondsTaken > 0 ? uint64_t(double(summary.bytes) / secondsTaken) : 0;
    line(std::string(summary.compare ? "Compared " : "Downloaded ") +
         std::to_string(summary.bytes) + " bytes in " + std::to_string(summary.blocks) +
         " blocks, " + seconds(summary.duration) + ", " + std::to_string(rate) + " bytes/s; " +
         caption(Control::StaticRom, "ROM usage:") + " " +
         std::to_string(std::max(RomBarPercent(summary.usage), 0)) + "%, " +
         caption(Control::StaticRam, "RAM usage:") + " " +
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
    if (file.empty()) line("tarmix: the wire trace could not be kept: " + error);
    return file.string();
}

void ConsoleFrontEnd::finish(const RunOutcome& outcome) {
    std::string summary =
        "tarmix: exit code " + std::to_string(outcome.exitCode) + " (" + outcome.reason + ")";
    if (!outcome.port.empty()) summary += " on " + outcome.port + " (" + outcome.device + ")";
    const std::string traceFile = outcome.exitCode == 0 ? "" : SaveLastOperation();
    if (!traceFile.empty()) summary += "; wire trace of the last operation: " + traceFile;
    line(summary);
    JsonEvent result("result");
    result.number("exitCode", outcome.exitCode).text("reason", outcome.reason);
    if (!outcome.port.empty()) result.text("port", outcome.port).text("device", outcome.device);
    if (!traceFile.empty()) result.text("trace", traceFile);
    event(result);
}

}  // namespace tarmix
