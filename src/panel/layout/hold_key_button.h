#pragma once
// A hold key: a flat button that acts on the raw press and release of any
// mouse button, never on a click. A fast second press arrives as a
// double-click and counts as a press; sliding off the key is not a release
// (the release still comes to the key that was pressed). Nothing is
// connected to its click, so the keyboard sends nothing.

#include "panel/layout/flat_button.h"

namespace tavo::layout {

class HoldKeyButton final : public FlatButton {
    Q_OBJECT
public:
    using FlatButton::FlatButton;

Q_SIGNALS:
    // The button that pressed the key comes along, for telling whether it is
    // still down when the release has gone elsewhere.
    void holdPressed(Qt::MouseButton button);
    void holdReleased();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace tavo::layout
