#include "script_input.h"

#include <QIODevice>

namespace tavo::ctl {

namespace {

// Room for the longest line and its CR LF: a piece that fills it without a
// line feed belongs to a longer line.
constexpr qint64 kPieceBytes = kMaxLineBytes + 2;

QString lineError(int number, const QString& problem) {
    return QStringLiteral("standard input, line %1: %2").arg(number).arg(problem);
}

QString tooLong(int number) {
    return lineError(number, QStringLiteral("longer than %1 bytes").arg(kMaxLineBytes));
}

} // namespace

Script readScript(QIODevice& input) {
    Script script;
    int number = 0;
    // One buffer for every line, with room for the NUL that readLine adds.
    QByteArray buffer(kPieceBytes + 1, Qt::Uninitialized);
    for (;;) {
        const qint64 length = input.readLine(buffer.data(), buffer.size());
        if (length <= 0)
            break;
        QByteArrayView piece(buffer.constData(), qsizetype(length));
        ++number;
        if (number > kMaxLines) {
            script.error = QStringLiteral("standard input holds more than %1 lines").arg(kMaxLines);
            return script;
        }
        const bool wholeLine = piece.endsWith('\n');
        if (!wholeLine && piece.size() >= kPieceBytes) {
            script.error = tooLong(number);
            return script;
        }
        if (wholeLine)
            piece.chop(1);
        if (piece.endsWith('\r'))
            piece.chop(1);
        if (piece.size() > kMaxLineBytes) {
            script.error = tooLong(number);
            return script;
        }
        const QString line = QString::fromUtf8(piece).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        ParsedSteps parsed = parseLine(line);
        if (!parsed.ok()) {
            script.error = lineError(number, parsed.error);
            return script;
        }
        script.steps.append(std::move(parsed.steps));
    }
    if (script.steps.isEmpty())
        script.error = QStringLiteral("standard input holds no command");
    return script;
}

} // namespace tavo::ctl
