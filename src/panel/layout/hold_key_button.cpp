#include "panel/layout/hold_key_button.h"

#include <QMouseEvent>

namespace tavo::layout {

// The left button also drives the button's own pressed look; the others are
// taken here and go no further.
void HoldKeyButton::mousePressEvent(QMouseEvent* event) {
    Q_EMIT holdPressed(event->button());
    if (event->button() == Qt::LeftButton)
        FlatButton::mousePressEvent(event);
    else
        event->accept();
}

// A fast second press arrives as a double-click: a press like any other.
void HoldKeyButton::mouseDoubleClickEvent(QMouseEvent* event) {
    HoldKeyButton::mousePressEvent(event);
}

void HoldKeyButton::mouseReleaseEvent(QMouseEvent* event) {
    Q_EMIT holdReleased();
    if (event->button() == Qt::LeftButton)
        FlatButton::mouseReleaseEvent(event);
    else
        event->accept();
}

} // namespace tavo::layout
