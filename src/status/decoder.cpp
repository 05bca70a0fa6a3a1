#include "status/decoder.h"

#include "status/number_reading.h"
#include "status/tables.h"

#include <QByteArrayView>
#include <QLatin1StringView>
#include <QStringView>

#include <algorithm>

namespace tavo::status {
namespace {

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
        if (head == QLatin1StringView(code.head)) {
            return QString(QLatin1StringView(code.text));
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

// The last trace character the lamp time and the sensor rules read.
constexpr qsizetype kLampTimeEnd = 38;
constexpr qsizetype kSensorsEnd = 34;

// Reply characters 1 to 19, each with the blank before it.
QString lampTimeText(QStringView traceLine) {
    return concatenated(traceCharacters(traceLine, 1, kLampTimeEnd),
                        QLatin1StringView(" Hour Use"));
}

// Three sensors: reply characters 1-5, 8-11 and 13-17, each with the blank
// before it.
QString sensorText(QStringView traceLine) {
    return concatenated(QLatin1StringView("  S1="), traceCharacters(traceLine, 1, 10),
                        QLatin1StringView(" C  ,   S2= "), traceCharacters(traceLine, 15, 22),
                        QLatin1StringView(" C , S3="), traceCharacters(traceLine, 25, kSensorsEnd),
                        QLatin1StringView(" C"));
}

// How many characters from the start a rule reads at most; nothing when it
// reads up to a point that depends on the line.
std::optional<qsizetype> fixedReach(const StatusQuery& query) {
    switch (query.rule) {
    case Rule::CodeTable:
        return query.table->headLength;
    case Rule::LampTime:
        return kLampTimeEnd;
    case Rule::Sensors:
        return kSensorsEnd;
    case Rule::TraceCopy:
    case Rule::Pressure:
        break;
    }
    return std::nullopt;
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

const StatusQuery* queryOf(const QByteArray& lastFrameSent, const QByteArray& commandPrefix) {
    // The nine frames differ, so the first equal one is the only one.
    for (const StatusQuery& query : statusQueries()) {
        if (isFrameOf(lastFrameSent, commandPrefix, query.code)) {
            return &query;
        }
    }
    return nullptr;
}

StatusChange changeTo(const std::optional<QString>& text) {
    if (!text)
        return {};
    return {StatusChange::Kind::Replace, *text, 0};
}

// The characters that can take the pressure's number on, for a number that
// began with "&" or otherwise (a superset of what the reading takes). Any
// other character ends the reading, exactly as the end of the line does.
bool mayContinueNumber(QChar c, bool whole) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return true;
    if (whole)
        return (u >= u'A' && u <= u'F') || (u >= u'a' && u <= u'f') || u == u'H' || u == u'h' ||
               u == u'O' || u == u'o';
    return u == u'.' || u == u'+' || u == u'-' || u == u'E' || u == u'e' || u == u'D' || u == u'd';
}

} // namespace

std::optional<QString> decodeStatus(const QByteArray& lastFrameSent,
                                    const QByteArray& commandPrefix, const QString& traceLine) {
    const StatusQuery* query = queryOf(lastFrameSent, commandPrefix);
    return query ? applyRule(*query, traceLine) : std::nullopt;
}

void StatusDecoder::restart() {
    decodedLength_ = -1;
}

StatusChange StatusDecoder::decode(const QByteArray& lastFrameSent, const QByteArray& commandPrefix,
                                   const QString& traceLine) {
    if (decodedLength_ < 0 || traceLine.size() < decodedLength_ || lastFrameSent != frame_ ||
        commandPrefix != prefix_) {
        frame_ = lastFrameSent;
        prefix_ = commandPrefix;
        query_ = queryOf(frame_, prefix_);
        return decodeWhole(traceLine);
    }
    const qsizetype from = decodedLength_;
    decodedLength_ = traceLine.size();
    if (from == decodedLength_ || settled_)
        return {};
    switch (query_->rule) {
    case Rule::TraceCopy:
        return {StatusChange::Kind::Extend, QString(), from};
    case Rule::Pressure:
        if (!pieceMayChangeNumber(QStringView(traceLine).sliced(from)))
            return {};
        break;
    case Rule::CodeTable:
    case Rule::LampTime:
    case Rule::Sensors:
        settled_ = decodedLength_ >= *fixedReach(*query_);
        break;
    }
    return changeTo(applyRule(*query_, traceLine));
}

StatusChange StatusDecoder::decodeWhole(const QString& traceLine) {
    decodedLength_ = traceLine.size();
    number_ = NumberKind::NotBegun;
    if (!query_) {
        // No status query: no piece will ever give a text.
        settled_ = true;
        return {};
    }
    if (const auto reach = fixedReach(*query_))
        settled_ = decodedLength_ >= *reach;
    else
        settled_ = false;
    if (query_->rule == Rule::Pressure)
        pieceMayChangeNumber(traceLine);
    return changeTo(applyRule(*query_, traceLine));
}

bool StatusDecoder::pieceMayChangeNumber(QStringView piece) {
    bool takenOn = false;
    for (const QChar c : piece) {
        // Blanks are skipped wherever they stand.
        if (c == u' ')
            continue;
        if (number_ == NumberKind::NotBegun) {
            number_ = c == u'&' ? NumberKind::Whole : NumberKind::Decimal;
            if (c == u'&') {
                takenOn = true;
                continue;
            }
        }
        if (!mayContinueNumber(c, number_ == NumberKind::Whole)) {
            // The reading stops here at the latest, whatever follows.
            settled_ = true;
            return takenOn;
        }
        takenOn = true;
    }
    return takenOn;
}

} // namespace tavo::status
