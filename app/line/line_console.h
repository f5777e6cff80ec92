// The console of a production line: what the stations say, one line each, and the JSON
// events of all of them, from their own threads. On a terminal every station keeps one line
// that is redrawn in place (its progress and its latest status); in a log each text the
// station prints becomes a line of its own that names the station.
#pragma once

#include <functional>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace tarmix {

// An output stream buffer that hands over each complete line (without its line end).
class LineHandOver final : public std::streambuf {
  public:
    explicit LineHandOver(std::function<void(const std::string&)> take) : take_(std::move(take)) {}
    ~LineHandOver() override;

  protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;

  private:
    std::function<void(const std::string&)> take_;
    std::string pending_;
};

class LineConsole {
  public:
    // `errors`: the operator's stream (a terminal when `board`); `events`: the JSON events'
    // stream, nullptr for none. `ports`: the stations' devices, station 1 first.
    LineConsole(std::ostream& errors, std::ostream* events, bool board,
                std::vector<std::string> ports);

    // A line the station's console printed. A `lasting` one (a message: a warning, an
    // error, a refusal) stays above the board; any other gives way to the next status.
    void stationText(int station, const std::string& text, bool lasting);
    // The station's progress in percent (-1: none shown) and status line.
    void stationProgress(int station, int percent);
    void stationStatus(int station, const std::string& text);
    // The station's counters of good and failed controllers (the loop).
    void stationCounts(int station, int good, int failed);
    // A JSON event, already carrying its station.
    void event(const std::string& json);
    // A line of the line itself (the table, the last line); the board stays below it.
    void say(const std::string& text);
    // The board is left as it stands: what follows goes below it.
    void endBoard();

  private:
    struct Station {
        std::string port;
        std::string status;
        int percent = -1;
        int good = 0;
        int failed = 0;
    };
    std::string boardLine(size_t index) const;
    void redraw();  // with the lock held
    void clearBoard();

    std::mutex lock_;
    std::ostream& errors_;
    std::ostream* events_;
    bool board_;
    bool boardShown_ = false;
    std::vector<Station> stations_;
};

}  // namespace tarmix
