#pragma once
// A display label of the data panel. It keeps its whole text (a screen reader
// reads it through QLabel) but lays out and paints only what its box shows:
// the text broken at blanks into lines, as many as fit the box. A plain
// word-wrapped QLabel re-lays out the whole text on every update, which costs
// milliseconds for a long trace. Text that grows piece by piece is appended
// in place, at a cost that follows the piece, not the text.

#include <QLabel>

namespace tavo::layout {

class DisplayLabel final : public QLabel {
    Q_OBJECT
public:
    explicit DisplayLabel(QWidget* parent = nullptr);

    // Shows text() followed by tokens.
    void appendText(QStringView tokens);

    // The lines that the box shows, for a given text, font and width.
    static QStringList visibleLines(const QString& text, const QFontMetrics& metrics, int width,
                                    int maxLines);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tavo::layout
