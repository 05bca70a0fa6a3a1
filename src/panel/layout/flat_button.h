#pragma once
// A push button filled flat with its own colour, edge to edge inside a thin
// border, its caption word-wrapped and centred. The colours code the buttons'
// meaning, so no style may tint them or paint a gradient over them.

#include <QPushButton>

namespace tavo::layout {

class FlatButton : public QPushButton {
    Q_OBJECT
public:
    explicit FlatButton(const QString& text, QWidget* parent = nullptr);

    // Sets the fill and caption colours (the palette's Button and ButtonText).
    void setColours(const QColor& fill, const QColor& text);

Q_SIGNALS:
    // clicked(), ahead of the button's own repaint. A button repaints itself
    // released (on X, through to the server) before it emits clicked(), so a
    // frame sent from clicked() waits for that paint. A mouse release that is
    // going to click emits this first; any other click (Space, Enter, click()
    // from code or from a screen reader) emits it on clicked(). Once per
    // click either way.
    void activated();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool activatedEarly_ = false; // the click under way has had its activated()
};

} // namespace tavo::layout
