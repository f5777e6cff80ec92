// tarmix with its window: the same program as the console build, with the Qt front end
// handed to the launcher. Without a display, or with --headless, it runs on the console.
#include "app/cli/launcher.h"
#include "gui/qt_front_end.h"

int main(int argc, char** argv) {
    return tarmix::RunTarmix(argc, argv, tarmix::gui::MakeQtFrontEnd);
}
