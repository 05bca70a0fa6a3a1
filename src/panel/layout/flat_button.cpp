#include "panel/layout/flat_button.h"

#include <QPainter>

namespace tavo::layout {

namespace {
const QColor kBorder(0x40, 0x40, 0x40);
const QColor kShade(0x80, 0x80, 0x80);
const QColor kLight(0xFF, 0xFF, 0xFF);
} // namespace

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
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                   QPalette::ButtonText));
    painter.setFont(font());
    painter.drawText(box.adjusted(2 + shift, 1 + shift, -2 + shift, -1 + shift),
                     Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, text());
}

} // namespace tavo::layout
