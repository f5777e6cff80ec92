// The window's tests need one QApplication for the whole run. "--scale=2" runs them at a
// display scale of 200 %, with the screenshots in their own folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "screenshots.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string scale = "1";
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word.rfind("--scale=", 0) == 0) scale = word.substr(8);
    }
    // A screen as large as a desktop's, so that the window gets the size it asks for, and a
    // laptop's beside it.
    const std::string screens =
        std::string(TARMIX_SCREENSHOT_DIR) + "-screen-" + std::to_string(getpid()) + ".json";
    if (FILE* file = std::fopen(screens.c_str(), "w")) {
        std::fputs(R"({"screens": [{"name": "Desktop", "x": 0, "y": 0, "width": 3840,)"
                   R"( "height": 2160, "logicalDpi": 96, "dpr": 1},)"
                   R"( {"name": "Laptop", "x": 3840, "y": 0, "width": 1366,)"
                   R"( "height": 768, "logicalDpi": 96, "dpr": 1}]})",
                   file);
        std::fclose(file);
    }
    setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screens).c_str(), 1);
    setenv("QT_SCALE_FACTOR", scale.c_str(), 1);
    tarmix::gui::testing::setScreenshotFolder(std::string(TARMIX_SCREENSHOT_DIR) +
                                              (scale == "1" ? "" : "/" + scale + "00"));
    QApplication app(argc, argv);
    std::remove(screens.c_str());
    return RUN_ALL_TESTS();
}
