#include "status/decoder.h"

#include "status/number_reading.h"
#include "status/tables.h"

#include <QByteArrayView>
#include <QLatin1StringView>
#include <QStringView>

#include <algorithm>

namespace tavo::status {
namespace {

QLatin1StringView latin1(std::string_view text) {
    return QLatin1StringView(text.data(), qsizetype(text.size()));
}

// prefix + code + carriage return, compared piece by piece rather than built
// nine times on every received piece.
bool isFrameOf(QByteArrayView frame, QByteArrayView prefix, std::string_view code) {
    const auto codeSize = qsizetype(code.size());
    return frame.size() == prefix.size() + codeSize + 1 && frame.startsWith(prefix) &&
           frame.sliced(prefix.size(), codeSize) == QByteArrayView(code.data(), codeSize) &&
           frame.back() == '\r';
}

// Trace characters first to last, counted from 1; cut at the end of the line,
// empty when it starts past the end.
QStringView traceCharacters(QStringView traceLine, qsizetype first, qsizetype last) {
    const qsizetype from = std::min(first - 1, traceLine.size());
    const qsizetype to = std::min(last, traceLine.size());
    return traceLine.sliced(from, std::max<qsizetype>(to - from, 0));
}

std::optional<QString> lookUp(const CodeTable& table, QStringView traceLine) {
    const QStringView head = traceCharacters(traceLine, 1, table.headLength);
    for (const StatusCode& code : table.codes) {
        if (head == latin1(code.head)) {
            return QString(latin1(code.text));
        }
    }
    return std::nullopt;
}

template <typename... Pieces> QString concatenated(const Pieces&... pieces) {
    QString text;
    text.reserve((qsizetype(0) + ... + pieces.size()));
    (text.append(pieces), ...);
    return text;
}

// Reply characters 1 to 19, each with the blank before it.
QString lampTimeText(QStringView traceLine) {
    return concatenated(traceCharacters(traceLine, 1, 38), QLatin1StringView(" Hour Use"));
}

// Three sensors: reply characters 1-5, 8-11 and 13-17, each with the blank
// before it.
QString sensorText(QStringView traceLine) {
    return concatenated(QLatin1StringView("  S1="), traceCharacters(traceLine, 1, 10),
                        QLatin1StringView(" C  ,   S2= "), traceCharacters(traceLine, 15, 22),
                        QLatin1StringView(" C , S3="), traceCharacters(traceLine, 25, 34),
                        QLatin1StringView(" C"));
}

std::optional<QString> applyRule(const StatusQuery& query, const QString& traceLine) {
    switch (query.rule) {
    case Rule::CodeTable:
        return lookUp(*query.table, traceLine);
    case Rule::LampTime:
        return lampTimeText(traceLine);
    case Rule::Sensors:
        return sensorText(traceLine);
    case Rule::TraceCopy:
        return traceLine;
    case Rule::Pressure:
        return pressureText(traceLine);
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> decodeStatus(const QByteArray& lastFrameSent,
                                    const QByteArray& commandPrefix, const QString& traceLine) {
    // The nine frames differ, so the first equal one is the only one.
    for (const StatusQuery& query : statusQueries()) {
        if (isFrameOf(lastFrameSent, commandPrefix, query.code)) {
            return applyRule(query, traceLine);
        }
    }
    return std::nullopt;
}

} // namespace tavo::status
