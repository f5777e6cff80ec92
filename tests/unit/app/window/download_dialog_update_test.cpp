// UPDATE_BOOTLOADER on the main window against a simulated controller on the virtual clock.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/window/download_dialog.h"
#include "sim/boot_library.h"
#include "window_bench.h"

namespace tarmix {
namespace {

using testing::WindowBench;

bool sentAny(const WindowBench& bench, const std::string& prefix) {
    return std::any_of(bench.sent.lines.begin(), bench.sent.lines.end(),
                       [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
}

TEST(MainWindowUpdate, ButtonNamesTheMissingImageThenAsksWithBothVersions) {
    WindowBench bench("small-alder");
    bench.window->OnInitDialog();
    ASSERT_TRUE(bench.tick());
    // Without a Library the button says which file it needs.
    ASSERT_TRUE(bench.view.isEnabled(Control::UpdateBootloader));
    bench.window->OnUpdateBootLoader();
    ASSERT_EQ(bench.view.messages.size(), 1u);
    EXPECT_NE(bench.view.messages.front().text.find("\"BootinitSmallAlder.rom\""),
              std::string::npos)
        << bench.view.messages.front().text;
    EXPECT_TRUE(bench.view.questions.empty());
    bench.view.messages.clear();

    std::string error;
    ASSERT_EQ(sim::MakeBootLibrary(*sim::findModel("small-alder"), 44, 30, bench.folder / "Library",
                                   error),
              0);
    bench.view.answers = {false};
    bench.window->OnUpdateBootLoader();
    ASSERT_EQ(bench.view.questions.size(), 1u);
    EXPECT_NE(bench.view.questions.front().find("version 30, will be erased and replaced with "
                                                "version 44"),
              std::string::npos)
        << bench.view.questions.front();
    EXPECT_FALSE(sentAny(bench, "fill"));

    bench.view.answers = {true};
    bench.window->OnUpdateBootLoader();
    EXPECT_TRUE(sentAny(bench, "call 40"));
    EXPECT_TRUE(bench.view.messages.empty()) << bench.view.messages.front().text;
    // The watch identifies the restarted controller afresh.
    ASSERT_TRUE(bench.tick());
    EXPECT_NE(bench.view.info[InfoField::Firmware].find("44"), std::string::npos)
        << bench.view.info[InfoField::Firmware];
}

TEST(MainWindowUpdate, TheExtendedCheckBoxChoosesTheExtendedImages) {
    WindowBench bench("small-alder");
    std::string error;
    ASSERT_EQ(sim::MakeBootLibrary(*sim::findModel("small-alder"), 44, 30, bench.folder / "Library",
                                   error),
              0);
    bench.window->OnInitDialog();
    ASSERT_TRUE(bench.tick());
    bench.window->OnExtendedFirmware(true);
    bench.view.answers = {true};
    bench.window->OnUpdateBootLoader();
    EXPECT_TRUE(sentAny(bench, "s3offset ff3E0000"));
    EXPECT_EQ(bench.window->device().hardwareModel, 13);
}

}  // namespace
}  // namespace tarmix
