#include "panel/layout/flat_button.h"

#include <QMouseEvent>
#include <QPainter>

#include <utility>

namespace tavo::layout {

namespace {
const QColor kBorder(0x40, 0x40, 0x40);
const QColor kShade(0x80, 0x80, 0x80);
const QColor kLight(0xFF, 0xFF, 0xFF);
} // namespace

FlatButton::FlatButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    connect(this, &QAbstractButton::clicked, this, [this] {
        if (!std::exchange(activatedEarly_, false))
            Q_EMIT activated();
    });
}

// The conditions under which QAbstractButton turns this release into a click.
void FlatButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && isDown() && hitButton(event->position().toPoint())) {
        activatedEarly_ = true;
        Q_EMIT activated();
    }
    QPushButton::mouseReleaseEvent(event);
    // A handler that took the button down again, or disabled it, may have
    // kept the click from coming.
    activatedEarly_ = false;
}

void FlatButton::setColours(const QColor& fill, const QColor& text) {
    QPalette colours = palette();
    colours.setColor(QPalette::Button, fill);
    colours.setColor(QPalette::ButtonText, text);
    setPalette(colours);
}

void FlatButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect box = rect();
    painter.fillRect(box, palette().color(QPalette::Button));

    painter.setPen(kBorder);
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    if (isDown()) {
        // Pressed: a sunken edge, the caption one pixel down and right.
        painter.setPen(kShade);
        painter.drawLine(1, 1, box.width() - 2, 1);
        painter.drawLine(1, 1, 1, box.height() - 2);
    } else {
        painter.setPen(kLight);
        painter.drawLine(1, 1, box.width() - 3, 1);
        painter.drawLine(1, 1, 1, box.height() - 3);
    }
    if (hasFocus()) {
        QPen focus(Qt::black, 1, Qt::DotLine);
        painter.setPen(focus);
        painter.drawRect(box.adjusted(2, 2, -3, -3));
    }

    const int shift = isDown() ? 1 : 0;
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.setFont(font());
    painter.drawText(box.adjusted(2 + shift, 1 + shift, -2 + shift, -1 + shift),
                     Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, text());
}

} // namespace tavo::layout
