#include "script_input.h"

#include <QIODevice>

namespace tavo::ctl {

namespace {

// A piece no longer than the longest line and its CR LF: a runaway line is
// found before much more of it is read.
constexpr qint64 kReadPieceBytes = kMaxLineBytes + 2;

} // namespace

QString withoutComment(QStringView line) {
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'#' && (i == 0 || line[i - 1].isSpace()))
            return line.first(i).trimmed().toString();
    }
    return line.trimmed().toString();
}

void ScriptParser::fail(const QString& problem) {
    error_ = QStringLiteral("standard input, line %1: %2").arg(number_).arg(problem);
    pending_.clear();
}

QList<Step> ScriptParser::takeLine(QByteArrayView bytes) {
    ++number_;
    if (number_ > kMaxLines) {
        error_ = QStringLiteral("standard input holds more than %1 lines").arg(kMaxLines);
        return {};
    }
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    if (bytes.size() > kMaxLineBytes) {
        fail(QStringLiteral("longer than %1 bytes").arg(kMaxLineBytes));
        return {};
    }
    if (bytes.contains('\0')) {
        fail(QStringLiteral("holds a NUL byte"));
        return {};
    }
    const QString line = withoutComment(QString::fromUtf8(bytes));
    if (line.isEmpty())
        return {};
    ParsedSteps parsed = parseLine(line);
    if (!parsed.ok()) {
        fail(parsed.error);
        return {};
    }
    hadSteps_ = hadSteps_ || !parsed.steps.isEmpty();
    return parsed.steps;
}

QList<Step> ScriptParser::feed(QByteArrayView piece) {
    QList<Step> steps;
    while (error_.isEmpty() && !piece.isEmpty()) {
        const qsizetype end = piece.indexOf('\n');
        if (end < 0) {
            pending_.append(piece);
            // Room for the longest line and its CR: more belongs to a longer one.
            if (pending_.size() > kMaxLineBytes + 1) {
                ++number_;
                fail(QStringLiteral("longer than %1 bytes").arg(kMaxLineBytes));
            }
            break;
        }
        pending_.append(piece.first(end));
        piece = piece.sliced(end + 1);
        steps += takeLine(pending_);
        pending_.clear();
    }
    return steps;
}

QList<Step> ScriptParser::finish() {
    QList<Step> steps;
    if (error_.isEmpty() && !pending_.isEmpty())
        steps = takeLine(pending_);
    pending_.clear();
    if (error_.isEmpty() && !hadSteps_)
        error_ = QStringLiteral("standard input holds no command");
    return steps;
}

Script readScript(QIODevice& input) {
    ScriptParser parser;
    Script script;
    while (parser.error().isEmpty()) {
        const QByteArray piece = input.read(kReadPieceBytes);
        if (piece.isEmpty())
            break;
        script.steps += parser.feed(piece);
    }
    script.steps += parser.finish();
    script.error = parser.error();
    return script;
}

} // namespace tavo::ctl
