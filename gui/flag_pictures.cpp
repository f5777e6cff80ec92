#include "gui/flag_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <initializer_list>

namespace tarmix::gui {
namespace {

constexpr QRectF kFlag(0, 0, kFlagWidth, kFlagHeight);

void horizontalStripes(QPainter& p, std::initializer_list<QColor> colours) {
    const qreal height = kFlag.height() / colours.size();
    qreal y = 0;
    for (const QColor& colour : colours) {
        p.fillRect(QRectF(0, y, kFlag.width(), height), colour);
        y += height;
    }
}

void verticalStripes(QPainter& p, std::initializer_list<QColor> colours) {
    const qreal width = kFlag.width() / colours.size();
    qreal x = 0;
    for (const QColor& colour : colours) {
        p.fillRect(QRectF(x, 0, width, kFlag.height()), colour);
        x += width;
    }
}

// A cross of bars `thickness` wide through the point (x, y).
void cross(QPainter& p, const QRectF& area, qreal x, qreal y, qreal thickness,
           const QColor& colour) {
    p.fillRect(QRectF(area.left() + x - thickness / 2, area.top(), thickness, area.height()),
               colour);
    p.fillRect(QRectF(area.left(), area.top() + y - thickness / 2, area.width(), thickness),
               colour);
}

void unitedKingdom(QPainter& p) {
    p.fillRect(kFlag, QColor(1, 33, 105));
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(kFlag);
    p.setPen(QPen(Qt::white, 3.4));
    p.drawLine(kFlag.topLeft(), kFlag.bottomRight());
    p.drawLine(kFlag.bottomLeft(), kFlag.topRight());
    p.setPen(QPen(QColor(200, 16, 46), 1.2));
    p.drawLine(kFlag.topLeft(), kFlag.bottomRight());
    p.drawLine(kFlag.bottomLeft(), kFlag.topRight());
    p.setRenderHint(QPainter::Antialiasing, false);
    cross(p, kFlag, kFlag.width() / 2, kFlag.height() / 2, 5, Qt::white);
    cross(p, kFlag, kFlag.width() / 2, kFlag.height() / 2, 3, QColor(200, 16, 46));
}

void czech(QPainter& p) {
    horizontalStripes(p, {Qt::white, QColor(215, 20, 26)});
    QPainterPath wedge;
    wedge.moveTo(0, 0);
    wedge.lineTo(kFlag.width() / 2, kFlag.height() / 2);
    wedge.lineTo(0, kFlag.height());
    wedge.closeSubpath();
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(wedge, QColor(17, 69, 126));
}

void greek(QPainter& p) {
    const QColor blue(13, 94, 175);
    horizontalStripes(p,
                      {blue, Qt::white, blue, Qt::white, blue, Qt::white, blue, Qt::white, blue});
    const qreal stripe = kFlag.height() / 9;
    const QRectF canton(0, 0, stripe * 5, stripe * 5);
    p.fillRect(canton, blue);
    cross(p, canton, canton.width() / 2, canton.height() / 2, stripe, Qt::white);
}

void danish(QPainter& p) {
    p.fillRect(kFlag, QColor(200, 16, 46));
    cross(p, kFlag, kFlag.width() * 0.375, kFlag.height() / 2, 2.5, Qt::white);
}

void drawFlag(QPainter& p, int languageIndex) {
    switch (languageIndex) {
        case 0:
            return horizontalStripes(p, {Qt::black, QColor(221, 0, 0), QColor(255, 206, 0)});
        case 1:
            return unitedKingdom(p);
        case 2:
            return verticalStripes(p, {QColor(0, 35, 149), Qt::white, QColor(237, 41, 57)});
        case 4: {
            const QColor red(170, 21, 27), yellow(241, 191, 0);
            return horizontalStripes(p, {red, yellow, yellow, red});
        }
        case 5:
            return horizontalStripes(p, {QColor(174, 28, 40), Qt::white, QColor(33, 70, 139)});
        case 6:
            return horizontalStripes(p, {Qt::white, QColor(220, 20, 60)});
        case 7:
            return horizontalStripes(p, {Qt::white, QColor(0, 57, 166), QColor(213, 43, 30)});
        case 8:
            return danish(p);
        case 9:
            return czech(p);
        case 10:
            return greek(p);
        case 11:
            return horizontalStripes(
                p, {QColor(253, 185, 19), QColor(0, 106, 68), QColor(193, 39, 45)});
    }
}

bool hasFlag(int languageIndex) {
    return languageIndex >= 0 && languageIndex <= 11 && languageIndex != 3;
}

QPixmap flagPixmap(int languageIndex, qreal density) {
    QPixmap pixmap(QSize(kFlagWidth, kFlagHeight) * density);
    pixmap.setDevicePixelRatio(density);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    drawFlag(p, languageIndex);
    // A hairline edge keeps white stripes apart from a white background.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(0, 0, 0, 70), 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(kFlag.adjusted(0, 0, -1.0 / density, -1.0 / density));
    return pixmap;
}

}  // namespace

QIcon flagIcon(int languageIndex) {
    QIcon icon;
    if (!hasFlag(languageIndex)) return icon;
    for (qreal density : {1.0, 2.0}) icon.addPixmap(flagPixmap(languageIndex, density));
    return icon;
}

}  // namespace tarmix::gui
