#pragma once
// Counts the key presses that reach a control, letting each one through.

#include <QEvent>
#include <QObject>

namespace tavo::test {

class KeySpy : public QObject {
public:
    int presses = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress)
            ++presses;
        return false;
    }
};

} // namespace tavo::test
