// The ROM and RAM usage bars of the main window.
//
// Both sit in a sunken frame. While the ROM usage is 0 nothing is loaded: the ROM bar shows
// only the file-system share (magenta, at the right end) on the menu colour and the RAM bar
// stays empty. Otherwise the bar is white, the segments are laid over it with an
// exclusive-or, and the percentage is centred on top: red on the white part, black or white
// on a segment, whichever stands out on its colour:
//   ROM: olive for the unused part of the image's ROM extent, cyan up to the ROM usage,
//        green for the file-system share at the right end; the text is ROM + RAM usage.
//   RAM: cyan for RAM needed of RAM available; the text is that share.
#pragma once

#include <QWidget>

#include "app/window/window_view.h"

namespace tarmix::gui {

class UsageBar : public QWidget {
  public:
    enum class Kind { Rom, Ram };

    explicit UsageBar(Kind kind, QWidget* parent = nullptr);

    void setFigures(const UsageFigures& figures);
    const UsageFigures& figures() const { return figures_; }

    // The percentage the bar shows, -1 while it shows none (ROM usage 0). A RAM bar for an
    // image that names no RAM available shows 0 %.
    int percent() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void drawRom(QPainter& p, const QRect& inside) const;
    void drawRam(QPainter& p, const QRect& inside) const;
    // The painter draws into an image (see paintEvent): the text's colour follows the
    // pixels under it.
    void drawPercent(QPainter& p, const QRect& inside) const;

    Kind kind_;
    UsageFigures figures_;
};

}  // namespace tarmix::gui
