// The main window and its controller on Qt's offscreen platform, for the benchmarks that
// watch the window's event loop: every timer tick goes through `onTick` with the time it
// took, and a run of the event loop reports the process's CPU share.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/window/download_dialog.h"
#include "bench_line.h"
#include "gui/main_window.h"
#include "gui/qt_timer_host.h"

namespace tarmix::bench {

class BenchWindow {
  public:
    using TickObserver = std::function<void(int timerId, double milliseconds)>;

    BenchWindow(const std::string& name, PortMap map, PortFactory factory, TickObserver onTick)
        : timers_(
              [this, onTick](int id) {
                  QElapsedTimer tick;
                  tick.start();
                  controller_->onTimer(id);
                  onTick(id, double(tick.nsecsElapsed()) / 1e6);
              },
              [this] { return window_.holdsTicks(); }),
          folder_(ScratchFolder(name)) {
        controller_ = std::make_unique<CDownloadDialog>(
            MainWindowServices{window_, timers_, systemClock(), std::move(map), std::move(factory),
                               ProgramFolders{folder_, folder_ / "Library"}},
            MainWindowStart{});
        controller_->OnInitDialog();
        window_.show();
    }
    ~BenchWindow() {
        controller_->CloseThroughOk();
        std::filesystem::remove_all(folder_);
    }
    BenchWindow(const BenchWindow&) = delete;
    BenchWindow& operator=(const BenchWindow&) = delete;

    CDownloadDialog& controller() { return *controller_; }

    // Runs the event loop for `ms` (or until `loop` is quit early) and returns the process's
    // CPU share over that time.
    static double CpuShareOfLoop(QEventLoop& loop, int ms) {
        const double cpuBefore = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
        return (ProcessCpuSeconds() - cpuBefore) / (double(wall.elapsed()) / 1000.0);
    }

  private:
    gui::MainWindow window_;
    gui::QtTimerHost timers_;
    std::filesystem::path folder_;
    std::unique_ptr<CDownloadDialog> controller_;
};

}  // namespace tarmix::bench
