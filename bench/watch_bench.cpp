// The window connected to a paced tarmix-sim and left alone: the connection watch asks the
// monitor twice a second, and each of its waits must end when the answer is complete. The
// longest stall of the event loop (a 1 ms timer's largest gap beyond its period) over the
// run, against a budget of 20 ms, and the process's CPU share against the same window with
// no controller, measured in the same run. Runs on Qt's offscreen platform.
#include <QApplication>
#include <algorithm>
#include <cstdio>

#include "bench_window.h"
#include "platform/termios_port.h"

namespace tarmix {
namespace {

// 30 s would make scripts/bench long; 10 s holds twenty watch ticks.
constexpr int kRunMs = 10000;
constexpr int kIdentifyWaitMs = 10000;
constexpr double kStallBudgetMs = 20;

struct Run {
    bool identified = false;
    double longestStallMs = 0;
    double longestWatchTickMs = 0;
    double cpuShare = 0;
};

// Runs the event loop for `ms` and measures how long it was held at most.
void measure(int ms, Run& run) {
    QElapsedTimer sinceLast;
    sinceLast.start();
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.callOnTimeout([&] {
        const double gap = double(sinceLast.nsecsElapsed()) / 1e6 - 1.0;
        run.longestStallMs = std::max(run.longestStallMs, gap);
        sinceLast.restart();
    });
    probe.start(1);
    QEventLoop loop;
    run.cpuShare = bench::BenchWindow::CpuShareOfLoop(loop, ms);
}

// The window on COM1 = `device` (nothing behind it when empty), identified first when there
// is a controller.
Run runWindow(const std::string& device) {
    Run run;
    PortMap map;
    if (!device.empty()) map.setCom(0, {device, false});
    bench::BenchWindow window("tarmix-bench-watch", map, termiosPortFactory(map),
                              [&run](int id, double ms) {
                                  if (id == CDownloadDialog::kWatchTimer && run.identified)
                                      run.longestWatchTickMs = std::max(run.longestWatchTickMs, ms);
                              });
    CDownloadDialog& controller = window.controller();
    if (!device.empty()) {
        QElapsedTimer waited;
        waited.start();
        while (!controller.device().deviceIdentified && waited.elapsed() < kIdentifyWaitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        run.identified = controller.device().deviceIdentified;
        if (!run.identified) return run;
    }
    measure(kRunMs, run);
    return run;
}

}  // namespace
}  // namespace tarmix

int main(int argc, char** argv) {
    using namespace tarmix;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    setLanguageIndex(kEnglishLanguage);
    SimulatorLauncher simulator;
    if (!bench::StartPacedSimulator(simulator, "alder")) return 1;
    const Run connected = runWindow(simulator.devicePath());
    simulator.stop();
    if (!connected.identified) {
        std::printf("watch_idle_window ratio=failed (the controller was not identified)\n");
        return 1;
    }
    const Run alone = runWindow("");
    std::printf(
        "watch_idle_window_%ds ratio=%.3f longest_stall=%.1fms (budget %.0f ms, lower is "
        "better) longest_watch_tick=%.1fms cpu=%.1f%% against %.1f%% without a controller\n",
        kRunMs / 1000, connected.longestStallMs / kStallBudgetMs, connected.longestStallMs,
        kStallBudgetMs, connected.longestWatchTickMs, connected.cpuShare * 100,
        alone.cpuShare * 100);
    return 0;
}
