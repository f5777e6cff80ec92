// The program's window with its controller on an in-process simulated ALDER controller, a
// settings file of its own in the given language, and the layout held across language
// switches as the program's run holds it.
#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <memory>

#include "app/settings.h"
#include "app/window/download_dialog.h"
#include "gui/qt_front_end.h"
#include "lang/catalog.h"
#include "sim/controller.h"
#include "sim/in_process_port.h"

namespace tarmix::gui::testing {

class SimulatedWindow {
  public:
    explicit SimulatedWindow(int language)
        : settings_(folder_.path().toStdString()),
          settingsWritten_(WriteSettings(settings_, Settings{language, 57600, 0, 0}) == 0),
          device_(*sim::findModel("alder"), clock_),
          controller_(
              MainWindowServices{
                  front_.view(), front_.timers(), clock_, simulatedPort(),
                  [this] { return std::make_unique<sim::InProcessPort>(device_, clock_); },
                  ProgramFolders{settings_, settings_ / "Library"}},
              MainWindowStart{}) {
        front_.attach(&controller_);
        controller_.OnInitDialog();
        front_.window().holdLayoutAcrossLanguages([this](int index) {
            setLanguageIndex(index);
            controller_.ApplyLanguage();
        });
    }

    // The window lets go of its controller before the controller closes.
    ~SimulatedWindow() {
        front_.attach(nullptr);
        controller_.CloseThroughOk();
    }

    bool ready() const { return folder_.isValid() && settingsWritten_; }
    CDownloadDialog& controller() { return controller_; }
    MainWindow& window() { return front_.window(); }

  private:
    static PortMap simulatedPort() {
        PortMap map;
        map.setCom(0, {"/dev/simulated-controller", false});
        return map;
    }

    QTemporaryDir folder_;
    std::filesystem::path settings_;
    bool settingsWritten_;
    VirtualClock clock_;
    sim::Controller device_;
    QtFrontEnd front_;
    CDownloadDialog controller_;
};

}  // namespace tarmix::gui::testing
