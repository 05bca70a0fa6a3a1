// tavo-ctl's words and scripts, over any input read as a script on standard
// input:
// - the bounded script reader gives the steps of its lines parsed one by
//   one, or one error naming the line (a line is never cut, merged or lost at
//   the reader's piece boundaries);
// - a line parses the same as the command-line arguments of its words when
//   it has no "send", and the same again when written back from the names it
//   was understood as, or in upper case;
// - every step is a named command with exactly one sender (a control's or
//   its own code), or a typed frame
//   whose text is neither empty, nor padded with blanks, nor over its limit;
// - an error is one line;
// - the edit distance behind the "nearest names" is a distance.

#include "fuzz_support.h"
#include "tavo-ctl/command_words.h"
#include "tavo-ctl/script_input.h"

#include <QBuffer>

#include <algorithm>
#include <cstdlib>

namespace {

using namespace tavo::ctl;

bool sameSteps(const QList<Step>& a, const QList<Step>& b, Qt::CaseSensitivity typedCase) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](const Step& x, const Step& y) {
        return x.command.entry == y.command.entry &&
               x.typedText.compare(y.typedText, typedCase) == 0;
    });
}

QString describe(const ParsedSteps& parsed) {
    if (!parsed.ok())
        return QStringLiteral("error \"%1\"").arg(parsed.error);
    QStringList names;
    for (const Step& step : parsed.steps)
        names.append(step.isTyped() ? kSendWord + QLatin1Char(' ') + step.typedText : step.name());
    return QStringLiteral("steps [%1]").arg(names.join(QStringLiteral(" | ")));
}

void checkStep(const Step& step, QStringView line) {
    if (step.isTyped()) {
        FUZZ_CHECK(!step.typedText.isEmpty() && step.typedText.size() <= kMaxTypedText &&
                       step.typedText == step.typedText.trimmed(),
                   QStringLiteral("\"%1\" typed \"%2\"").arg(line, step.typedText));
        return;
    }
    const tavo::commands::NamedCommand& command = step.command;
    const int senders = int(command.sender != nullptr) + int(command.key != nullptr) +
                        int(!command.entry->code.empty());
    FUZZ_CHECK(senders == 1,
               QStringLiteral("\"%1\" gave %2 without exactly one sender").arg(line, step.name()));
}

// Cut at blanks of any kind, as a shell would hand them over as arguments.
QStringList wordsOf(const QString& line) {
    return line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// The line as the names it was understood as, one blank between words.
QString writtenBack(const QList<Step>& steps) {
    QStringList parts;
    for (const Step& step : steps)
        parts.append(step.isTyped() ? kSendWord + QLatin1Char(' ') + step.typedText : step.name());
    return parts.join(QLatin1Char(' '));
}

void checkDistance(const QStringList& words) {
    constexpr qsizetype kLongest = 48; // the table is quadratic in the lengths
    const QString a = words.value(0).left(kLongest);
    const QString b = words.value(1).left(kLongest);
    const int ab = editDistance(a, b);
    FUZZ_CHECK(ab == editDistance(b, a), QStringLiteral("\"%1\" \"%2\"").arg(a, b));
    FUZZ_CHECK((ab == 0) == (a == b), QStringLiteral("\"%1\" \"%2\": %3").arg(a, b).arg(ab));
    FUZZ_CHECK(ab >= std::abs(a.size() - b.size()) && ab <= std::max(a.size(), b.size()),
               QStringLiteral("\"%1\" \"%2\": %3").arg(a, b).arg(ab));
}

ParsedSteps checkLine(const QString& line) {
    const ParsedSteps parsed = parseLine(line);
    FUZZ_CHECK(!parsed.error.contains(QLatin1Char('\n')), parsed.error);
    const QStringList words = wordsOf(line);
    checkDistance(words);
    if (!parsed.ok())
        return parsed;
    FUZZ_CHECK(!parsed.steps.isEmpty() || words.isEmpty(), line);
    for (const Step& step : parsed.steps)
        checkStep(step, line);

    const QString back = writtenBack(parsed.steps);
    const ParsedSteps again = parseLine(back);
    FUZZ_CHECK(again.ok() && sameSteps(again.steps, parsed.steps, Qt::CaseSensitive),
               QStringLiteral("\"%1\" gave %2, written back \"%3\" gave %4")
                   .arg(line, describe(parsed), back, describe(again)));

    const bool hasSend = std::any_of(words.begin(), words.end(), [](const QString& word) {
        return word.compare(kSendWord, Qt::CaseInsensitive) == 0;
    });
    if (!hasSend) {
        const ParsedSteps asArguments = parseArguments(words);
        FUZZ_CHECK(asArguments.error == parsed.error &&
                       sameSteps(asArguments.steps, parsed.steps, Qt::CaseSensitive),
                   QStringLiteral("\"%1\" as a line gave %2, as arguments %3")
                       .arg(line, describe(parsed), describe(asArguments)));
    }
    // Upper case is checked for ASCII only: elsewhere it can change lengths.
    const bool ascii =
        std::all_of(line.begin(), line.end(), [](QChar c) { return c.unicode() < 128; });
    if (ascii) {
        const ParsedSteps upper = parseLine(line.toUpper());
        FUZZ_CHECK(upper.ok() && sameSteps(upper.steps, parsed.steps, Qt::CaseInsensitive),
                   QStringLiteral("\"%1\" gave %2, in upper case %3")
                       .arg(line, describe(parsed), describe(upper)));
    }
    return parsed;
}

// The script read the plain way: the whole input split at line feeds, each
// line checked in turn as the reader does, the first problem ending it.
struct PlainReading {
    QList<Step> steps;
    QString errorStart; // how the reader's error must begin; empty when none is due
};

PlainReading expectedScript(const QByteArray& input) {
    PlainReading expected;
    QList<QByteArray> lines = input.split('\n');
    if (input.endsWith('\n') || input.isEmpty())
        lines.removeLast();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype number = i + 1;
        if (number > kMaxLines) {
            expected.errorStart = QStringLiteral("standard input holds more than");
            return expected;
        }
        QByteArray bytes = lines[i];
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        if (bytes.size() > kMaxLineBytes) {
            expected.errorStart =
                QStringLiteral("standard input, line %1: longer than").arg(number);
            return expected;
        }
        if (bytes.contains('\0')) {
            expected.errorStart =
                QStringLiteral("standard input, line %1: holds a NUL").arg(number);
            return expected;
        }
        const QString line = withoutComment(QString::fromUtf8(bytes));
        if (line.isEmpty())
            continue;
        const ParsedSteps parsed = checkLine(line);
        if (!parsed.ok()) {
            expected.errorStart =
                QStringLiteral("standard input, line %1: %2").arg(number).arg(parsed.error);
            return expected;
        }
        expected.steps.append(parsed.steps);
    }
    if (expected.steps.isEmpty())
        expected.errorStart = QStringLiteral("standard input holds no command");
    return expected;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer device;
    device.setData(input);
    device.open(QIODevice::ReadOnly);
    const Script script = readScript(device);
    const PlainReading expected = expectedScript(input);

    FUZZ_CHECK(!script.error.contains(QLatin1Char('\n')), script.error);
    FUZZ_CHECK(script.ok() == expected.errorStart.isEmpty() &&
                   script.error.startsWith(expected.errorStart),
               QStringLiteral("reader said \"%1\", its lines say \"%2\"")
                   .arg(script.error, expected.errorStart));
    FUZZ_CHECK(!script.ok() || sameSteps(script.steps, expected.steps, Qt::CaseSensitive),
               QStringLiteral("read %1 steps, its lines give %2")
                   .arg(script.steps.size())
                   .arg(expected.steps.size()));
    return 0;
}
