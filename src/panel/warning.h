#pragma once
// Every modal warning box of the window goes through here, so that tests can
// replace the box with a recorder and never block.

#include <QString>

#include <functional>

class QWidget;

namespace tavo::panel {

using WarningFunction =
    std::function<void(QWidget* parent, const QString& title, const QString& text)>;

// Replaces the function that shows a box; an empty function restores the box.
void setWarningFunction(WarningFunction function);

// The text on the standard error, for a technician who started the panel from
// a terminal, and for a log when nobody is at the screen.
void printWarning(const QString& text);

// A modal box with an exclamation icon and an OK button.
void showWarning(QWidget* parent, const QString& title, const QString& text);

} // namespace tavo::panel
