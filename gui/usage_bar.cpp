#include "gui/usage_bar.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace tarmix::gui {
namespace {

const QColor kShadow(128, 128, 128);
const QColor kText(255, 0, 0);
const QColor kOlive(128, 128, 0);
const QColor kCyan(0, 255, 255);
const QColor kGreen(0, 255, 0);
const QColor kMagenta(255, 0, 255);

// A share of `width` in whole pixels, kept inside the bar whatever the figures say.
int span(int width, double share) {
    if (!(share > 0)) return 0;  // also refuses NaN
    return static_cast<int>(std::min<double>(width, width * share));
}

// A segment laid over the bar with an exclusive-or, as a pen run line by line would be.
void xorSegment(QPainter& p, const QRect& inside, int from, int width, const QColor& colour) {
    if (width <= 0) return;
    p.save();
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.fillRect(QRect(inside.left() + from, inside.top(), width, inside.height()) & inside, colour);
    p.restore();
}

}  // namespace

UsageBar::UsageBar(Kind kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void UsageBar::setFigures(const UsageFigures& figures) {
    if (figures == figures_) return;
    figures_ = figures;
    update();
}

int UsageBar::percent() const {
    return kind_ == Kind::Rom ? RomBarPercent(figures_) : RamBarPercent(figures_);
}

QSize UsageBar::sizeHint() const { return QSize(200, fontMetrics().height() + 6); }

QSize UsageBar::minimumSizeHint() const { return QSize(60, fontMetrics().height() + 6); }

void UsageBar::paintEvent(QPaintEvent*) {
    // Exclusive-or needs real pixels, so the bar is drawn into an image of the screen's
    // density and then copied.
    const qreal density = devicePixelRatioF();
    QImage image(size() * density, QImage::Format_RGB32);
    image.setDevicePixelRatio(density);
    {
        QPainter p(&image);
        const QRect frame = rect();
        p.fillRect(frame, Qt::white);
        p.setPen(QPen(kShadow, 0));
        p.drawLine(frame.topLeft(), frame.topRight());
        p.drawLine(frame.topLeft(), frame.bottomLeft());
        p.setPen(QPen(Qt::white, 0));
        p.drawLine(frame.bottomLeft(), frame.bottomRight());
        p.drawLine(frame.topRight(), frame.bottomRight());
        const QRect inside = frame.adjusted(1, 1, -1, -1);
        if (kind_ == Kind::Rom)
            drawRom(p, inside);
        else
            drawRam(p, inside);
    }
    QPainter(this).drawImage(QPoint(0, 0), image);
}

void UsageBar::drawRom(QPainter& p, const QRect& inside) const {
    const int width = inside.width();
    if (figures_.romUsage == 0) {
        p.fillRect(inside, palette().color(QPalette::Button));
        const int fileSystem = span(width, figures_.ramUsage);
        p.fillRect(
            QRect(inside.right() + 1 - fileSystem, inside.top(), fileSystem, inside.height()),
            kMagenta);
        return;
    }
    p.fillRect(inside, Qt::white);
    const double unused =
        figures_.romExtent == 0
            ? 0.0
            : double(figures_.romExtent - std::min(figures_.romCodeSize, figures_.romExtent)) /
                  figures_.romExtent;
    const int olive = span(width, figures_.romUsage * unused);
    const int used = span(width, figures_.romUsage);
    const int fileSystem = span(width, figures_.ramUsage);
    xorSegment(p, inside, 0, olive, kOlive);
    xorSegment(p, inside, olive, used - olive, kCyan);
    xorSegment(p, inside, width - fileSystem, fileSystem, kGreen);
    drawPercent(p, inside);
}

void UsageBar::drawRam(QPainter& p, const QRect& inside) const {
    if (figures_.romUsage == 0) {
        p.fillRect(inside, palette().color(QPalette::Button));
        return;
    }
    p.fillRect(inside, Qt::white);
    const double share =
        figures_.ramAvailable == 0 ? 0.0 : double(figures_.ramNeeded) / figures_.ramAvailable;
    xorSegment(p, inside, 0, span(inside.width(), share), kCyan);
    drawPercent(p, inside);
}

void UsageBar::drawPercent(QPainter& p, const QRect& inside) const {
    // Drawn last, over the segments: each run of one background colour gets a text colour
    // that stands out on it (red on the white part).
    const auto* image = static_cast<const QImage*>(p.device());
    const qreal density = image->devicePixelRatio();
    const int row = int(inside.center().y() * density);
    const auto background = [&](int x) { return image->pixelColor(int(x * density), row); };
    const QString text = QString("%1%").arg(percent());
    p.setFont(font());
    for (int from = inside.left(); from <= inside.right();) {
        const QColor colour = background(from);
        int to = from + 1;
        while (to <= inside.right() && background(to) == colour) ++to;
        p.save();
        p.setClipRect(QRect(from, inside.top(), to - from, inside.height()));
        p.setPen(colour == Qt::white         ? kText
                 : qGray(colour.rgb()) < 128 ? QColor(Qt::white)
                                             : QColor(Qt::black));
        p.drawText(inside, Qt::AlignCenter, text);
        p.restore();
        from = to;
    }
}

}  // namespace tarmix::gui
