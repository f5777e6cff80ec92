// Pictures of the window's states, saved as test artifacts for people to look at.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QWidget>
#include <string>

namespace tarmix::gui::testing {

inline std::string& screenshotFolder() {
    static std::string folder;
    return folder;
}

inline void setScreenshotFolder(std::string folder) { screenshotFolder() = std::move(folder); }

// Saves a picture of the widget as <folder>/<name>.png, once pending layout changes (new
// captions) have taken effect; true when written.
inline bool saveScreenshot(QWidget& widget, const QString& name) {
    const QString folder = QString::fromStdString(screenshotFolder());
    if (folder.isEmpty() || !QDir().mkpath(folder)) return false;
    // Each nested layout passes its new size on to its parent's with another event.
    for (int level = 0; level < 6; ++level)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    return widget.grab().save(folder + "/" + name + ".png");
}

}  // namespace tarmix::gui::testing
