#include "app/line/line_console.h"

#include <algorithm>

#include "app/console/console_view.h"
#include "lang/format_text.h"
#include "lang/text_names.h"

namespace tarmix {

namespace {

constexpr int kBarWidth = 20;
constexpr size_t kStatusWidth = 48;

}  // namespace

LineHandOver::~LineHandOver() {
    if (!pending_.empty()) take_(pending_);
}

LineHandOver::int_type LineHandOver::overflow(int_type ch) {
    if (ch == traits_type::eof()) return traits_type::not_eof(ch);
    const char c = traits_type::to_char_type(ch);
    xsputn(&c, 1);
    return ch;
}

std::streamsize LineHandOver::xsputn(const char* text, std::streamsize count) {
    for (std::streamsize i = 0; i < count; ++i) {
        if (text[i] != '\n') {
            pending_ += text[i];
            continue;
        }
        take_(pending_);
        pending_.clear();
    }
    return count;
}

LineConsole::LineConsole(std::ostream& errors, std::ostream* events, bool board,
                         std::vector<std::string> ports)
    : errors_(errors), events_(events), board_(board) {
    for (std::string& port : ports) {
        stations_.emplace_back();
        stations_.back().port = std::move(port);
    }
}

std::string LineConsole::boardLine(size_t index) const {
    const Station& station = stations_[index];
    std::string text = FormatText(text::kStation, int(index + 1)) + " " + station.port + " ";
    if (station.percent >= 0) {
        const int filled = std::clamp(station.percent, 0, 100) * kBarWidth / 100;
        // Appended, not "…" + a temporary: GCC 12 warns falsely (-Wrestrict) on that at -O3.
        text.append("[").append(size_t(filled), '#').append(size_t(kBarWidth - filled), '.');
        text.append("] ").append(std::to_string(station.percent)).append("% ");
    }
    if (station.good + station.failed > 0)
        text += FormatText(text::kCounts, station.good, station.failed) + "; ";
    return text + WithoutControls(station.status.substr(0, kStatusWidth));
}

void LineConsole::clearBoard() {
    if (!boardShown_) return;
    errors_ << "\x1b[" << stations_.size() << "F\x1b[J";
    boardShown_ = false;
}

void LineConsole::redraw() {
    if (!board_) return;
    clearBoard();
    for (size_t i = 0; i < stations_.size(); ++i) errors_ << boardLine(i) << "\x1b[K\n";
    errors_ << std::flush;
    boardShown_ = true;
}

void LineConsole::stationText(int station, const std::string& text, bool lasting) {
    std::lock_guard<std::mutex> hold(lock_);
    Station& shown = stations_.at(size_t(station - 1));
    if (board_ && !lasting) {
        shown.status = text;
        return redraw();
    }
    clearBoard();
    errors_ << "[" << station << " " << shown.port << "] " << text << "\n";
    redraw();
    errors_ << std::flush;
}

void LineConsole::stationProgress(int station, int percent) {
    std::lock_guard<std::mutex> hold(lock_);
    int& shown = stations_.at(size_t(station - 1)).percent;
    if (shown == percent) return;
    shown = percent;
    redraw();
}

void LineConsole::stationStatus(int station, const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    stations_.at(size_t(station - 1)).status = text;
    redraw();
}

void LineConsole::stationCounts(int station, int good, int failed) {
    std::lock_guard<std::mutex> hold(lock_);
    Station& shown = stations_.at(size_t(station - 1));
    shown.good = good;
    shown.failed = failed;
    redraw();
}

void LineConsole::event(const std::string& json) {
    if (!events_) return;
    std::lock_guard<std::mutex> hold(lock_);
    *events_ << json << "\n" << std::flush;
}

void LineConsole::say(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock_);
    clearBoard();
    errors_ << text << "\n";
    redraw();
    errors_ << std::flush;
}

void LineConsole::endBoard() {
    std::lock_guard<std::mutex> hold(lock_);
    board_ = false;
    boardShown_ = false;
}

}  // namespace tarmix
