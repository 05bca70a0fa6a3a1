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

void setWarningFunction(WarningFunction function) {
    replacement() = std::move(function);
}

void printWarning(const QString& text) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(text));
    std::fflush(stderr);
}

void showWarning(QWidget* parent, const QString& title, const QString& text) {
    if (replacement()) {
        replacement()(parent, title, text);
        return;
    }
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

} // namespace tavo::panel
