#include "platform/transfer_meter.h"

#include <cmath>
#include <cstdio>

namespace tarmix {

void TransferMeter::update(uint64_t done, uint64_t total, Millis now) {
    if (!figures_ || figures_->total != total || done < figures_->done) {
        figures_ = TransferFigures{done, total, 0, std::nullopt};
        began_ = now;
        doneAtBegin_ = done;
        return;
    }
    figures_->done = done;
    const double seconds = double((now - began_).count()) / 1000.0;
    if (seconds <= 0) return;
    figures_->bytesPerSecond = double(done - doneAtBegin_) / seconds;
    if (figures_->bytesPerSecond > 0)
        figures_->secondsLeft = double(total - std::min(done, total)) / figures_->bytesPerSecond;
}

namespace {

// Bytes in the unit that suits the total: B, KiB or MiB.
struct Unit {
    const char* name;
    double size;
};

Unit unitFor(uint64_t bytes) {
    if (bytes >= 1024 * 1024) return {"MiB", 1024.0 * 1024.0};
    if (bytes >= 1024) return {"KiB", 1024.0};
    return {"B", 1.0};
}

}  // namespace

std::string DescribeTransfer(const TransferFigures& figures) {
    const Unit unit = unitFor(figures.total);
    const Unit rateUnit = unitFor(uint64_t(figures.bytesPerSecond));
    char text[128];
    int length = std::snprintf(text, sizeof text, "%.1f of %.1f %s, %.1f %s/s",
                               double(figures.done) / unit.size, double(figures.total) / unit.size,
                               unit.name, figures.bytesPerSecond / rateUnit.size, rateUnit.name);
    if (figures.secondsLeft && length > 0 && size_t(length) < sizeof text) {
        const long seconds = std::lround(*figures.secondsLeft);
        std::snprintf(text + length, sizeof text - size_t(length), ", %ld:%02ld left", seconds / 60,
                      seconds % 60);
    }
    return text;
}

}  // namespace tarmix
