#include "panel/layout/entry_line.h"

#include <QKeyEvent>

#include <limits>

namespace tavo::layout {

EntryLine::EntryLine(QWidget* parent) : QLineEdit(parent) {
    // QLineEdit cuts text at 32,767 characters by default, without a word.
    setMaxLength(std::numeric_limits<int>::max());
}

void EntryLine::keyPressEvent(QKeyEvent* event) {
    const auto modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (event->key() == Qt::Key_K && modifiers == Qt::ControlModifier) {
        event->ignore();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace tavo::layout
