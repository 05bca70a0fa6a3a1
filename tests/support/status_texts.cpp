#include "support/status_texts.h"

#include "exchange/frame.h"
#include "status/tables.h"

#include <QByteArrayView>
#include <QLatin1StringView>
#include <QRegularExpression>

#include <limits>

namespace tavo::test {

namespace {

using status::Rule;
using status::StatusQuery;

QLatin1StringView latin1(std::string_view text) {
    return QLatin1StringView(text);
}

const StatusQuery* queryOf(const QByteArray& frame, const QByteArray& prefix) {
    for (const StatusQuery& query : status::statusQueries()) {
        if (frame == link::buildFrame(prefix, QByteArrayView(query.code)))
            return &query;
    }
    return nullptr;
}

QString tableProblem(const StatusQuery& query, QStringView text) {
    for (const status::StatusCode& code : query.table->codes) {
        if (text == latin1(code.text))
            return {};
    }
    return QStringLiteral("not a text of the %1 table").arg(latin1(query.code));
}

// The first 19 reply characters with their blanks (38 trace characters),
// then the unit.
QString lampTimeProblem(QStringView traceLine, QStringView text) {
    const QLatin1StringView unit(" Hour Use");
    const QStringView head = text.chopped(std::min(text.size(), unit.size()));
    if (!text.endsWith(unit) || head != traceLine.first(std::min<qsizetype>(38, traceLine.size())))
        return QStringLiteral("not the head of the trace line followed by \" Hour Use\"");
    return {};
}

// Three fields of at most 10, 8 and 10 trace characters between fixed words.
QString sensorProblem(QStringView text) {
    static const QRegularExpression form(
        QStringLiteral(R"(^  S1=.{0,10} C  ,   S2= .{0,8} C , S3=.{0,10} C$)"),
        QRegularExpression::DotMatchesEverythingOption);
    return form.match(text).hasMatch() ? QString()
                                       : QStringLiteral("not of the form of the sensor text");
}

QString traceCopyProblem(QStringView traceLine, QStringView text) {
    return text == traceLine ? QString() : QStringLiteral("not the trace line itself");
}

// A 16-bit whole number, or four dashes when the reading is out of range.
QString pressureProblem(QStringView text) {
    static const QRegularExpression form(QStringLiteral(R"(^(----|-?[0-9]{1,5}) hPa$)"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return QStringLiteral("not of the form \"<n> hPa\"");
    const QStringView number = match.capturedView(1);
    if (number == QLatin1StringView("----"))
        return {};
    const int value = number.toInt();
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        return QStringLiteral("a pressure beyond 16 bits");
    return {};
}

QString ruleProblem(const StatusQuery& query, QStringView traceLine, QStringView text) {
    switch (query.rule) {
    case Rule::CodeTable:
        return tableProblem(query, text);
    case Rule::LampTime:
        return lampTimeProblem(traceLine, text);
    case Rule::Sensors:
        return sensorProblem(text);
    case Rule::TraceCopy:
        return traceCopyProblem(traceLine, text);
    case Rule::Pressure:
        return pressureProblem(text);
    }
    return QStringLiteral("a rule this check does not know");
}

} // namespace

QString statusTextProblem(const QByteArray& lastFrameSent, const QByteArray& commandPrefix,
                          QStringView traceLine, QStringView text) {
    const StatusQuery* query = queryOf(lastFrameSent, commandPrefix);
    const QString problem = query ? ruleProblem(*query, traceLine, text)
                                  : QStringLiteral("shown after a frame that is no status query");
    if (problem.isEmpty())
        return {};
    return QStringLiteral("status text \"%1\" after frame \"%2\" for trace \"%3\": %4")
        .arg(text, QString::fromLatin1(lastFrameSent.toPercentEncoding()), traceLine, problem);
}

QList<QByteArray> statusQueryFrames() {
    QList<QByteArray> frames;
    for (const StatusQuery& query : status::statusQueries())
        frames.append(link::buildFrame({}, QByteArrayView(query.code)));
    return frames;
}

} // namespace tavo::test
