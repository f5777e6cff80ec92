// The terminal in the window while the controller floods it: the time each 30 ms receive
// tick takes (text arriving at 115200 baud, then 1 MB as fast as the poll takes it) and
// the process's CPU share during the flood, against the same window idle in the same run.
// Runs on Qt's offscreen platform.
#include <QApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "bench_window.h"

namespace tarmix {
namespace {

using namespace std::chrono_literals;

constexpr double kBytesPerSecond = 115200 / 10.0;  // 8N1: ten bit times a byte
constexpr Millis kRun{3000};
constexpr size_t kFloodBytes = 1 << 20;

// A controller that sends lines of text without end, at a rate or as fast as it is read,
// and answers nothing.
class FloodPort final : public PortBackend {
  public:
    FloodPort(double bytesPerSecond, size_t limit) : rate_(bytesPerSecond), limit_(limit) {}
    bool open(const std::string&) override {
        start_ = systemClock().now();
        open_ = true;
        return true;
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    bool configure(uint32_t) override { return open_; }
    long bytesWaiting() override { return open_ ? long(due() - produced_) : -1; }
    long read(uint8_t* data, size_t capacity) override {
        const size_t count = std::min(capacity, due() - produced_);
        for (size_t i = 0; i < count; ++i) data[i] = uint8_t(byteAt(produced_ + i));
        produced_ += count;
        return long(count);
    }
    long write(const uint8_t*, size_t count, Millis) override { return long(count); }
    void waitForInput(Millis timeout) override { systemClock().sleep(timeout); }
    size_t produced() const { return produced_; }
    bool done() const { return produced_ >= limit_; }

  private:
    size_t due() const {
        if (rate_ <= 0) return limit_;
        const double seconds = double((systemClock().now() - start_).count()) / 1000.0;
        return std::min(limit_, size_t(seconds * rate_));
    }
    // 62 characters of text and CR LF, numbered by the line.
    static char byteAt(size_t at) {
        const size_t column = at % 64;
        if (column == 62) return '\r';
        if (column == 63) return '\n';
        return column < 10 ? char('0' + (at / 64 / size_t(std::pow(10, 9 - column))) % 10)
                           : char('a' + column % 26);
    }

    double rate_;
    size_t limit_;
    Millis start_{0};
    size_t produced_ = 0;
    bool open_ = false;
};

struct Run {
    std::vector<double> ticksMs;
    double cpuShare = 0;
    size_t bytes = 0;
    double mean() const {
        double sum = 0;
        for (double tick : ticksMs) sum += tick;
        return ticksMs.empty() ? 0 : sum / double(ticksMs.size());
    }
    double percentile(double share) const {
        if (ticksMs.empty()) return 0;
        std::vector<double> sorted = ticksMs;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(share * double(sorted.size())))];
    }
    double largest() const {
        return ticksMs.empty() ? 0 : *std::max_element(ticksMs.begin(), ticksMs.end());
    }
};

// The window with its terminal on, fed by a FloodPort, for `length` or until the port
// has given all it has.
Run runWindow(double bytesPerSecond, size_t limit, Millis length) {
    FloodPort* port = nullptr;
    Run run;
    PortMap map;
    map.setCom(0, {"flood", false});
    bench::BenchWindow window(
        "tarmix-bench-terminal", map,
        [&]() -> std::unique_ptr<PortBackend> {
            auto made = std::make_unique<FloodPort>(bytesPerSecond, limit);
            port = made.get();
            return made;
        },
        [&run](int id, double ms) {
            if (id == CDownloadDialog::kTerminalTimer) run.ticksMs.push_back(ms);
        });
    window.controller().OnTerminalOnOff();
    port->open("COM1");  // the flood starts now
    run.ticksMs.clear();
    QEventLoop loop;
    QTimer finished;  // a burst ends once the window has taken all of it
    finished.callOnTimeout([&] {
        if (limit && port->done()) loop.quit();
    });
    finished.start(100);
    run.cpuShare = bench::BenchWindow::CpuShareOfLoop(loop, int(length.count()));
    run.bytes = port->produced();
    return run;
}

}  // namespace
}  // namespace tarmix

int main(int argc, char** argv) {
    using namespace tarmix;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    setLanguageIndex(kEnglishLanguage);
    const Run idle = runWindow(0, 0, kRun);
    const Run flood = runWindow(kBytesPerSecond, SIZE_MAX, kRun);
    const Run burst = runWindow(0, kFloodBytes, kRun * 10);
    std::printf(
        "terminal window, 115200 baud for %.0f s (%zu bytes): receive tick mean %.3f ms, "
        "largest %.3f ms (%.3f of the 30 ms period); CPU %.1f %% against %.1f %% idle "
        "(ratio %.1f)\n",
        double(kRun.count()) / 1000, flood.bytes, flood.mean(), flood.largest(),
        flood.largest() / 30.0, flood.cpuShare * 100, idle.cpuShare * 100,
        flood.cpuShare / std::max(idle.cpuShare, 1e-3));
    std::printf(
        "terminal window, 1 MB as fast as the poll takes it: %zu ticks, mean %.3f ms, "
        "95 %% under %.3f ms, largest %.3f ms (%.3f of the 30 ms period)\n",
        burst.ticksMs.size(), burst.mean(), burst.percentile(0.95), burst.largest(),
        burst.largest() / 30.0);
    return flood.bytes > 0 && burst.bytes >= kFloodBytes ? 0 : 1;
}
