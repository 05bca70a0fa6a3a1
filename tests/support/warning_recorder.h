#pragma once
// Replaces the window's warning box with a recorder for the life of the
// object, so no test blocks on a modal box.

#include "panel/warning.h"

#include <QStringList>

namespace tavo::test {

class WarningRecorder {
public:
    WarningRecorder() {
        panel::setWarningFunction([this](QWidget*, const QString& title, const QString& text) {
            titles.append(title);
            texts.append(text);
        });
    }
    ~WarningRecorder() { panel::setWarningFunction({}); }
    WarningRecorder(const WarningRecorder&) = delete;
    WarningRecorder& operator=(const WarningRecorder&) = delete;

    QStringList titles;
    QStringList texts;
};

} // namespace tavo::test
