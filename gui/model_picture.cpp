#include "gui/model_picture.h"

#include <QPainter>
#include <QPainterPath>

#include "models/models.h"

namespace tarmix::gui {
namespace {

// Every device is drawn in a box of this many logical units, scaled to the widget.
constexpr QSizeF kCanvas(160, 110);

// How a model is drawn: its housing and the colour of its screen's title bar, both from
// the model table.
struct Look {
    Housing housing = Housing::None;
    QColor accent;
};

Look lookOf(int code) {
    const ModelInfo& model = modelRow(code);
    return {model.housing, QColor::fromRgb(model.accent)};
}

void drawScreen(QPainter& p, const QRectF& screen, const QColor& accent) {
    QLinearGradient glass(screen.topLeft(), screen.bottomRight());
    glass.setColorAt(0, QColor(24, 42, 66));
    glass.setColorAt(1, QColor(10, 18, 32));
    p.setPen(QPen(QColor(8, 8, 10), 1));
    p.setBrush(glass);
    p.drawRect(screen);
    // A title bar and a few rows of an operator screen.
    const qreal unit = screen.height() / 8;
    p.setPen(Qt::NoPen);
    p.setBrush(accent);
    p.drawRect(QRectF(screen.left() + 3, screen.top() + 3, screen.width() - 6, unit));
    p.setBrush(QColor(255, 255, 255, 60));
    for (int row = 0; row < 3; ++row) {
        const qreal y = screen.top() + 3 + unit * (2 + row * 1.6);
        p.drawRect(
            QRectF(screen.left() + 6, y, (screen.width() - 12) * (0.8 - row * 0.2), unit * 0.6));
    }
}

void drawPanel(QPainter& p, const QRectF& body, qreal screenShare, const Look& look, bool keys) {
    QLinearGradient bezel(body.topLeft(), body.bottomLeft());
    bezel.setColorAt(0, QColor(92, 96, 104));
    bezel.setColorAt(1, QColor(52, 55, 61));
    p.setPen(QPen(QColor(30, 32, 36), 1.2));
    p.setBrush(bezel);
    p.drawRoundedRect(body, 7, 7);

    const qreal margin = body.height() * 0.1;
    const qreal screenHeight = body.height() - 2 * margin - (keys ? body.height() * 0.16 : 0);
    QRectF screen(body.left() + margin, body.top() + margin,
                  (body.width() - 2 * margin) * screenShare, screenHeight);
    drawScreen(p, screen, look.accent);

    if (keys) {
        const qreal keyTop = screen.bottom() + body.height() * 0.05;
        const qreal keyWidth = screen.width() / 6;
        p.setPen(QPen(QColor(30, 32, 36), 0.8));
        p.setBrush(QColor(150, 154, 162));
        for (int key = 0; key < 5; ++key)
            p.drawRoundedRect(QRectF(screen.left() + key * keyWidth * 1.2, keyTop, keyWidth * 0.9,
                                     body.height() * 0.09),
                              1.5, 1.5);
    }
    if (screenShare < 1) {  // a keypad beside a narrower screen
        const qreal left = screen.right() + margin * 0.8;
        const qreal size = (body.right() - margin - left) / 3.4;
        p.setPen(QPen(QColor(30, 32, 36), 0.8));
        p.setBrush(QColor(170, 174, 182));
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 3; ++column)
                p.drawRoundedRect(
                    QRectF(left + column * size * 1.2, screen.top() + row * size * 1.2, size, size),
                    1.2, 1.2);
    }
    // Status LED.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 220, 90));
    p.drawEllipse(QPointF(body.right() - margin * 0.6, body.bottom() - margin * 0.6), 2, 2);
}

void drawBoard(QPainter& p, const QRectF& board, const Look& look) {
    p.setPen(QPen(QColor(12, 60, 30), 1.2));
    p.setBrush(QColor(34, 120, 64));
    p.drawRoundedRect(board, 4, 4);
    // Mounting holes.
    p.setBrush(QColor(235, 235, 225));
    p.setPen(QPen(look.accent, 1.2));
    const qreal inset = 7;
    for (const QPointF& corner :
         {board.topLeft() + QPointF(inset, inset), board.topRight() + QPointF(-inset, inset),
          board.bottomLeft() + QPointF(inset, -inset),
          board.bottomRight() + QPointF(-inset, -inset)})
        p.drawEllipse(corner, 3, 3);
    // Processor with its pins.
    const QRectF cpu(board.left() + board.width() * 0.18, board.top() + board.height() * 0.22,
                     board.height() * 0.5, board.height() * 0.5);
    p.setPen(Qt::NoPen);
    p.setBrush(look.accent);
    for (int pin = 0; pin < 7; ++pin) {
        const qreal offset = cpu.width() * (0.1 + pin * 0.13);
        p.drawRect(QRectF(cpu.left() + offset, cpu.top() - 3, 1.6, cpu.height() + 6));
        p.drawRect(QRectF(cpu.left() - 3, cpu.top() + offset, cpu.width() + 6, 1.6));
    }
    p.setBrush(QColor(28, 28, 30));
    p.drawRect(cpu);
    p.setBrush(QColor(70, 70, 74));
    p.drawEllipse(cpu.topLeft() + QPointF(5, 5), 1.8, 1.8);
    // Memory chips.
    p.setBrush(QColor(36, 36, 40));
    for (int chip = 0; chip < 2; ++chip)
        p.drawRect(QRectF(cpu.right() + 12, cpu.top() + chip * cpu.height() * 0.55,
                          board.width() * 0.28, cpu.height() * 0.4));
    // Edge connector.
    p.setBrush(QColor(212, 175, 55));
    const qreal pinWidth = board.width() / 40;
    for (int pin = 0; pin < 16; ++pin)
        p.drawRect(QRectF(board.left() + board.width() * 0.25 + pin * pinWidth * 1.8,
                          board.bottom() - 6, pinWidth, 5));
}

void drawCabinet(QPainter& p, const QRectF& area, const Look& look) {
    const QRectF cabinet(area.center().x() - area.height() * 0.38, area.top(), area.height() * 0.76,
                         area.height() * 0.86);
    QLinearGradient side(cabinet.topLeft(), cabinet.topRight());
    side.setColorAt(0, QColor(225, 228, 232));
    side.setColorAt(1, QColor(176, 180, 188));
    p.setPen(QPen(QColor(70, 74, 80), 1.2));
    p.setBrush(side);
    p.drawRoundedRect(cabinet, 5, 5);
    drawScreen(p,
               QRectF(cabinet.left() + 8, cabinet.top() + 8, cabinet.width() - 16,
                      cabinet.height() * 0.36),
               look.accent);
    p.setPen(Qt::NoPen);
    p.setBrush(look.accent);
    p.drawRoundedRect(QRectF(cabinet.left() + 8, cabinet.top() + cabinet.height() * 0.55,
                             cabinet.width() - 16, 8),
                      2, 2);
    // Nozzle.
    p.setBrush(QColor(70, 74, 80));
    p.drawRect(QRectF(cabinet.center().x() - 5, cabinet.bottom(), 10, area.height() * 0.1));
    p.drawRect(QRectF(cabinet.center().x() - 2, cabinet.bottom(), 4, area.height() * 0.14));
}

void drawEmpty(QPainter& p, const QRectF& area, const QColor& line) {
    QPen pen(line, 1.2, Qt::DashLine);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(area.adjusted(area.width() * 0.12, area.height() * 0.12, -area.width() * 0.12,
                                    -area.height() * 0.12),
                      7, 7);
}

void drawDevice(QPainter& p, const Look& look, const QColor& emptyLine) {
    const QRectF area(QPointF(0, 0), kCanvas);
    switch (look.housing) {
        case Housing::Panel:
            return drawPanel(p, area.adjusted(14, 6, -14, -6), 0.66, look, false);
        case Housing::WidePanel:
            return drawPanel(p, area.adjusted(2, 10, -2, -10), 1.0, look, true);
        case Housing::SmallPanel:
            return drawPanel(p, area.adjusted(30, 16, -30, -16), 1.0, look, true);
        case Housing::Board:
            return drawBoard(p, area.adjusted(4, 12, -4, -12), look);
        case Housing::Cabinet:
            return drawCabinet(p, area.adjusted(0, 2, 0, -2), look);
        case Housing::None:
            return drawEmpty(p, area, emptyLine);
    }
}

}  // namespace

ModelPicture::ModelPicture(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void ModelPicture::setModel(int hardwareModel) {
    if (hardwareModel == model_) return;
    model_ = hardwareModel;
    update();
}

QSize ModelPicture::sizeHint() const { return QSize(176, 120 + fontMetrics().height() + 6); }

QSize ModelPicture::minimumSizeHint() const { return QSize(120, 80 + fontMetrics().height()); }

void ModelPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int textHeight = fontMetrics().height() + 4;
    const QRectF drawing = QRectF(rect()).adjusted(4, 4, -4, -4 - textHeight);
    const qreal scale =
        std::min(drawing.width() / kCanvas.width(), drawing.height() / kCanvas.height());
    const Look look = lookOf(model_);
    p.save();
    p.translate(drawing.center() - QPointF(kCanvas.width(), kCanvas.height()) * scale / 2);
    p.scale(scale, scale);
    drawDevice(p, look, palette().color(QPalette::Mid));
    p.restore();

    if (look.housing == Housing::None) return;
    const ModelInfo& info = modelRow(model_);
    const QRect textArea(0, height() - textHeight, width(), textHeight);
    QFont bold = font();
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(palette().color(QPalette::WindowText));
    const QString name = QString::fromUtf8(info.panelText.data(), info.panelText.size());
    p.drawText(textArea, Qt::AlignCenter,
               QFontMetrics(bold).elidedText(name, Qt::ElideRight, textArea.width()));
}

}  // namespace tarmix::gui
