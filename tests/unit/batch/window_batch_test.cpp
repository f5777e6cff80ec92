// Batch scripts run by the main window's download button: the closing steps.
#include <gtest/gtest.h>

#include "sim/image_maker.h"
#include "unit/app/window/window_bench.h"

namespace tarmix {
namespace {

using testing::WindowBench;

std::string writeScript(WindowBench& bench, const std::string& text) {
    const std::string path = (bench.folder / "setup.rom").string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

TEST(WindowBatch, LinkIsResumedUnlessTheScriptStartedTheApplication) {
    WindowBench bench("alder");
    std::string error;
    ASSERT_EQ(sim::MakeRomImage((bench.folder / "app.rom").string(), 0x110000, 0x2000, {}, error),
              0);
    bench.window->OnInitDialog();
    bench.tick();
    bench.window->OnSourceEdited(writeScript(bench, "program app.rom\r\n"));
    EXPECT_EQ(bench.window->OnStartDownload(), 0);
    EXPECT_TRUE(bench.window->applicationLoaded());
    // What the script did stays on the status line; the link's own news does not replace it.
    EXPECT_EQ(bench.view.lastStatus(), "Download finished");
    ASSERT_TRUE(bench.tick());

    writeScript(bench, "start application\r\n");
    EXPECT_EQ(bench.window->OnStartDownload(), 0);
    EXPECT_EQ(bench.sent.lines.back(), "call 00110000");
    EXPECT_TRUE(bench.window->applicationRunning());
    EXPECT_FALSE(bench.view.timers.contains(CDownloadDialog::kWatchTimer));
}

}  // namespace
}  // namespace tarmix
