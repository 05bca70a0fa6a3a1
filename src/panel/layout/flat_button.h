#pragma once
// A push button filled flat with its own colour, edge to edge inside a thin
// border, its caption word-wrapped and centred. The colours code the buttons'
// meaning, so no style may tint them or paint a gradient over them.

#include <QPushButton>

namespace tavo::layout {

class FlatButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

    // Sets the fill and caption colours (the palette's Button and ButtonText).
    void setColours(const QColor& fill, const QColor& text);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tavo::layout
