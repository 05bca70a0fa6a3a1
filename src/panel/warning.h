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

// A modal box with an exclamation icon and an OK button; the text is printed
// on the standard error too.
void showWarning(QWidget* parent, const QString& title, const QString& text);

} // namespace tavo::panel
