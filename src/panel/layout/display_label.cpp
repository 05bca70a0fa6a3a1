#include "panel/layout/display_label.h"

#include <QPainter>
#include <QStyle>

namespace tavo::layout {

DisplayLabel::DisplayLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void DisplayLabel::appendText(QStringView tokens) {
    if (tokens.isEmpty())
        return;
    // The label lets go of its text while it grows, so the text is not shared
    // and the append extends it where it lies instead of copying it; QLabel
    // compares texts by length first, so setting the longer text is cheap too.
    QString whole = text();
    clear();
    whole.append(tokens);
    setText(whole);
}

QStringList DisplayLabel::visibleLines(const QString& text, const QFontMetrics& metrics, int width,
                                       int maxLines) {
    QStringList lines;
    qsizetype start = 0;
    while (start < text.size() && lines.size() < maxLines) {
        // Walk one line's worth of characters: cost follows what is shown.
        int used = 0;
        qsizetype end = start;
        qsizetype lastBlank = -1;
        while (end < text.size()) {
            const int advance = metrics.horizontalAdvance(text.at(end));
            if (used + advance > width && end > start)
                break;
            if (text.at(end) == u' ')
                lastBlank = end;
            used += advance;
            ++end;
        }
        qsizetype next = end;
        if (end < text.size() && lastBlank > start) {
            // Break after the last blank that fits, as word wrap does.
            end = lastBlank + 1;
            next = end;
        }
        QString line = text.mid(start, end - start);
        while (line.endsWith(u' '))
            line.chop(1);
        lines.append(line);
        start = next;
    }
    return lines;
}

void DisplayLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (frameShape() != QFrame::NoFrame) {
        // The border is black whatever colour the text has.
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    const QRect box = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QFontMetrics metrics(font());
    const int lineHeight = metrics.lineSpacing();
    const int maxLines = lineHeight > 0 ? box.height() / lineHeight + 1 : 1;
    painter.setClipRect(box);
    painter.setPen(palette().color(foregroundRole()));
    int y = box.top();
    for (const QString& line : visibleLines(text(), metrics, box.width(), maxLines)) {
        painter.drawText(QRect(box.left(), y, box.width(), lineHeight),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line);
        y += lineHeight;
    }
}

} // namespace tavo::layout
