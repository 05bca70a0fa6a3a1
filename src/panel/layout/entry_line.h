#pragma once
// The direct-send entry: one line of free text with no length limit. The
// service key Ctrl+K reaches it like any key but leaves its text alone, where
// a line edit on X11 would take it for "delete to the end of the line".

#include <QLineEdit>

namespace tavo::layout {

class EntryLine final : public QLineEdit {
    Q_OBJECT
public:
    explicit EntryLine(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace tavo::layout
