#pragma once
// A label that can be clicked: a heading that sends its group's query, or
// the logo. A click is a left press and release inside the label; the second
// press of a double-click is no click but a double-click of its own.

#include <QLabel>

namespace tavo::layout {

class ClickableLabel final : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

Q_SIGNALS:
    void clicked();
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};

} // namespace tavo::layout
