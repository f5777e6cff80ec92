// The one-line status field: shows its text on one line, cut with an ellipsis when it does
// not fit (the whole text is its tool tip), so a long message never reshapes the window.
#pragma once

#include <QFrame>
#include <QPainter>
#include <QString>

namespace tarmix::gui {

class StatusLine : public QFrame {
  public:
    explicit StatusLine(QWidget* parent = nullptr) : QFrame(parent) {
        setFrameShape(QFrame::StyledPanel);
        setFrameShadow(QFrame::Sunken);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setBackgroundRole(QPalette::Base);
        setAutoFillBackground(true);
    }

    // Line breaks of a message become spaces here.
    void setText(const QString& text) {
        text_ = text;
        text_.replace(QLatin1String("\r\n"), QLatin1String(" "));
        text_.replace(QLatin1Char('\n'), QLatin1Char(' '));
        setToolTip(text_);
        update();
    }
    const QString& text() const { return text_; }

    QSize sizeHint() const override {
        return QSize(200, fontMetrics().height() + 2 * (frameWidth() + kPadding));
    }
    QSize minimumSizeHint() const override { return QSize(40, sizeHint().height()); }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QFrame::paintEvent(event);
        QPainter p(this);
        const QRect area = contentsRect().adjusted(2 * kPadding, 0, -2 * kPadding, 0);
        p.setPen(palette().color(QPalette::Text));
        p.drawText(area, Qt::AlignVCenter | Qt::AlignLeft,
                   fontMetrics().elidedText(text_, Qt::ElideRight, area.width()));
    }

  private:
    static constexpr int kPadding = 3;
    QString text_;
};

}  // namespace tarmix::gui
