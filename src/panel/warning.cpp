#include "panel/warning.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <cstdio>

namespace tavo::panel {

namespace {
WarningFunction& replacement() {
    static WarningFunction function;
    return function;
}
} // namespace

void setWarningFunction(WarningFunction function) { replacement() = std::move(function); }

void showWarning(QWidget* parent, const QString& title, const QString& text) {
    if (replacement()) {
        replacement()(parent, title, text);
        return;
    }
    // Also on the standard error: for a technician who started the panel from
    // a terminal, and for a log when nobody is at the screen.
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(text));
    std::fflush(stderr);
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

} // namespace tavo::panel
