#include "status/reading.h"

#include "status/number_reading.h"
#include "status/tables.h"

#include <QLatin1StringView>
#include <QRegularExpression>

#include <algorithm>
#include <array>

namespace tavo::status {
namespace {

using enum Severity;

// "CR0": the projector's state; the failure and warning states say so.
constexpr std::array powerStates{
    Meaning{"00", "on"},
    Meaning{"80", "standby"},
    Meaning{"40", "warm-up"},
    Meaning{"20", "cooling"},
    Meaning{"10", "power-failure", Failure},
    Meaning{"08", "temperature-warning", Warning},
    Meaning{"02", "no-key-input"},
    Meaning{"04", "lamp-off-power-management"},
    Meaning{"28", "cooling-temperature-warning", Warning},
    Meaning{"24", "cooling-power-management"},
    Meaning{"88", "standby-temperature-warning", Warning},
    Meaning{"21", "cooling-lamp-failure", Failure},
    Meaning{"81", "standby-lamp-failure", Failure},
};

// The input tokens are the words of the commands that select them.
constexpr std::array inputModes{
    Meaning{"1", "pc1"},
    Meaning{"2", "pc2"},
    Meaning{"3", "video"},
    Meaning{"4", "input-4"},
};

constexpr std::array orientations{
    Meaning{"11", "normal"},
    Meaning{"10", "top-bottom-reversed"},
    Meaning{"01", "left-right-reversed"},
    Meaning{"00", "both-reversed"},
};

constexpr std::array muteStates{
    Meaning{"00", "off"},         Meaning{"01", "video"},     Meaning{"02", "audio"},
    Meaning{"03", "video-audio"}, Meaning{"80", "no-signal"}, Meaning{"FF", "standby"},
};

// Which lamps are lit, then the lamp mode: two lamps, or one (which one).
constexpr std::array lampStates{
    Meaning{"00", "off-2-lamp"},     Meaning{"01", "no1-on-2-lamp"},
    Meaning{"02", "no2-on-2-lamp"},  Meaning{"03", "both-on-2-lamp"},
    Meaning{"10", "off-1-lamp-no1"}, Meaning{"11", "no1-on-1-lamp-no1"},
    Meaning{"20", "off-1-lamp-no2"}, Meaning{"22", "no2-on-1-lamp-no2"},
};

// The word-valued settings answer with the words their commands set.
constexpr std::array keyLocks{
    Meaning{"NONE", "none"},
    Meaning{"RC", "rc"},
    Meaning{"KEY", "key"},
};

constexpr std::array inputTerminals{
    Meaning{"PC1 RGB", "pc1-rgb"},
    Meaning{"PC1 DVI-PC", "pc1-dvi-pc"},
    Meaning{"PC1 DVI-AV", "pc1-dvi-av"},
    Meaning{"PC2 RGB", "pc2-rgb"},
    Meaning{"PC2 SCART", "pc2-scart"},
    Meaning{"VIDEO AUTO", "video-auto"},
    Meaning{"VIDEO VIDEO", "video-video"},
    Meaning{"VIDEO S-VIDEO", "video-s-video"},
    Meaning{"VIDEO YPBPR", "video-component"},
};

constexpr std::array lampModes{
    Meaning{"AUTO", "auto"},
    Meaning{"NORMAL", "normal"},
    Meaning{"ECO", "eco"},
};

constexpr std::array fanSpeeds{
    Meaning{"MAX", "max"},
    Meaning{"NOR", "normal"},
};

constexpr std::array screenSizes{
    Meaning{"REGULAR", "regular"},
    Meaning{"WIDE", "wide"},
};

constexpr std::array queries{
    ReadQuery{"CR0", Quantity::PowerState, Form::Code, powerStates, {}},
    ReadQuery{"CR1", Quantity::InputMode, Form::Code, inputModes, {}},
    ReadQuery{"CR4", Quantity::Orientation, Form::Code, orientations, {}},
    ReadQuery{"CR3", Quantity::LampHours, Form::Whole, {}, "h"},
    ReadQuery{"CR6", Quantity::Temperatures, Form::Temperatures, {}, "°C"},
    ReadQuery{"CRA", Quantity::MuteState, Form::Code, muteStates, {}},
    ReadQuery{"CR9", Quantity::StatusText, Form::Text, {}, {}},
    ReadQuery{"CR PRESSURE", Quantity::AirPressure, Form::Pressure, {}, "hPa"},
    ReadQuery{"CR7", Quantity::LampState, Form::Code, lampStates, {}},
    ReadQuery{"CR PROJH", Quantity::ProjectorHours, Form::Whole, {}, "h"},
    ReadQuery{"CR KEYDIS", Quantity::KeyLock, Form::Code, keyLocks, {}},
    ReadQuery{"CR INPUT", Quantity::InputTerminal, Form::Code, inputTerminals, {}},
    ReadQuery{"CR LAMPMODE", Quantity::LampMode, Form::Code, lampModes, {}},
    ReadQuery{"CR FANSPEED", Quantity::FanSpeed, Form::Code, fanSpeeds, {}},
    ReadQuery{"CR SCREEN", Quantity::ScreenSize, Form::Code, screenSizes, {}},
};

// readQueryOf(Quantity) indexes the queries: both lists in the same order.
constexpr bool inQuantityOrder() {
    for (std::size_t i = 0; i < queries.size(); ++i) {
        if (queries[i].quantity != Quantity(i))
            return false;
    }
    return true;
}
static_assert(inQuantityOrder());

constexpr qsizetype kMostTextCharacters = 80;
constexpr int kMostPressureRaw = 1023;

Reading malformed(const ReadQuery* query, QString problem) {
    Reading reading;
    reading.query = query;
    reading.problem = std::move(problem);
    return reading;
}

Reading valued(const ReadQuery& query) {
    Reading reading;
    reading.query = &query;
    return reading;
}

bool isPrintable(QByteArrayView text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= ' ' && c <= '~'; });
}

Reading readCode(const ReadQuery& query, QByteArrayView text) {
    for (const Meaning& meaning : query.meanings) {
        if (text == QByteArrayView(meaning.reply.data(), qsizetype(meaning.reply.size()))) {
            Reading reading = valued(query);
            reading.token = QLatin1StringView(meaning.value);
            reading.severity = meaning.severity;
            return reading;
        }
    }
    return malformed(&query, QStringLiteral("no known code"));
}

// Fixed widths, as the panel reads the fields at fixed positions: a stray
// byte on the line (a digit, a minus sign) can then never pass for part of
// a value.
Reading readWhole(const ReadQuery& query, QByteArrayView text) {
    static const QRegularExpression pattern(QStringLiteral("^\\d{5}$"));
    const QString digits = QString::fromLatin1(text);
    if (!pattern.match(digits).hasMatch())
        return malformed(&query, QStringLiteral("not 5 digits"));
    Reading reading = valued(query);
    reading.numbers = {digits.toDouble()};
    return reading;
}

Reading readTemperatures(const ReadQuery& query, QByteArrayView text) {
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{3}\\.\\d),(\\d{3}\\.\\d),(\\d{3}\\.\\d)$"));
    const auto match = pattern.match(QString::fromLatin1(text));
    if (!match.hasMatch())
        return malformed(&query,
                         QStringLiteral("not three temperatures ddd.d separated by commas"));
    Reading reading = valued(query);
    for (int i = 1; i <= 3; ++i)
        reading.numbers.append(match.capturedView(i).toDouble());
    return reading;
}

Reading readPressure(const ReadQuery& query, QByteArrayView text) {
    static const QRegularExpression pattern(QStringLiteral("^\\d{1,4}$"));
    const QString digits = QString::fromLatin1(text);
    if (!pattern.match(digits).hasMatch() || digits.toInt() > kMostPressureRaw)
        return malformed(&query,
                         QStringLiteral("not a sensor reading from 0 to %1").arg(kMostPressureRaw));
    // Within 0 to 1023 the conversion never overflows.
    Reading reading = valued(query);
    reading.numbers = {double(*pressureInHectopascals(digits.toInt()))};
    return reading;
}

Reading readText(const ReadQuery& query, QByteArrayView text) {
    if (text.isEmpty() || text.size() > kMostTextCharacters || !isPrintable(text))
        return malformed(
            &query, QStringLiteral("not 1 to %1 printable characters").arg(kMostTextCharacters));
    Reading reading = valued(query);
    reading.text = QString::fromLatin1(text);
    return reading;
}

QString numberText(const ReadQuery& query, double value) {
    // Temperatures keep their tenths; hours and hectopascals are whole.
    return QString::number(value, 'f', query.form == Form::Temperatures ? 1 : 0);
}

// The panel's text for a code of one of its tables, found by its head (a
// blank before every reply character).
QString panelText(const ReadQuery& query, QByteArrayView reply) {
    const auto tables = statusQueries();
    const auto found = std::find_if(tables.begin(), tables.end(), [&](const StatusQuery& q) {
        return q.code == query.code && q.table;
    });
    if (found == tables.end())
        return {};
    QString head;
    for (const char c : reply)
        head += QStringLiteral(" ") + QLatin1Char(c);
    for (const StatusCode& code : found->table->codes) {
        if (head == QLatin1StringView(code.head))
            return QString(QLatin1StringView(code.text)).simplified();
    }
    return {};
}

} // namespace

std::span<const ReadQuery> readQueries() {
    return queries;
}

const ReadQuery* readQueryOf(QByteArrayView code) {
    const auto found = std::find_if(queries.begin(), queries.end(), [&](const ReadQuery& query) {
        return code == QByteArrayView(query.code.data(), qsizetype(query.code.size()));
    });
    return found == queries.end() ? nullptr : &*found;
}

const ReadQuery& readQueryOf(Quantity quantity) {
    return queries[std::size_t(quantity)];
}

QString Reading::valueText() const {
    if (!isValue())
        return {};
    switch (query->form) {
    case Form::Code:
        return token;
    case Form::Text:
        return text;
    case Form::Whole:
    case Form::Temperatures:
    case Form::Pressure:
        break;
    }
    QStringList parts;
    for (const double number : numbers)
        parts.append(numberText(*query, number));
    return parts.join(QLatin1Char(' '));
}

QString Reading::words() const {
    if (!isValue())
        return {};
    const QString unit = QString::fromUtf8(query->unit);
    switch (query->form) {
    case Form::Code: {
        const auto meaning =
            std::find_if(query->meanings.begin(), query->meanings.end(),
                         [&](const Meaning& m) { return QLatin1StringView(m.value) == token; });
        const QString shown = panelText(
            *query, QByteArrayView(meaning->reply.data(), qsizetype(meaning->reply.size())));
        return shown.isEmpty() ? token : shown;
    }
    case Form::Text:
        return text;
    case Form::Temperatures:
        return QStringLiteral("S1 %1 %4, S2 %2 %4, S3 %3 %4")
            .arg(numberText(*query, numbers[0]), numberText(*query, numbers[1]),
                 numberText(*query, numbers[2]), unit);
    case Form::Whole:
    case Form::Pressure:
        break;
    }
    return numberText(*query, numbers.front()) + QLatin1Char(' ') + unit;
}

Reading readingOf(QByteArrayView code, QByteArrayView reply) {
    const ReadQuery* query = readQueryOf(code);
    if (!query)
        return malformed(nullptr, QStringLiteral("not a status query"));
    const qsizetype end = reply.indexOf('\r');
    if (end < 0)
        return malformed(query, QStringLiteral("no carriage return"));
    const QByteArrayView text = reply.first(end);
    switch (query->form) {
    case Form::Code:
        return readCode(*query, text);
    case Form::Whole:
        return readWhole(*query, text);
    case Form::Temperatures:
        return readTemperatures(*query, text);
    case Form::Pressure:
        return readPressure(*query, text);
    case Form::Text:
        return readText(*query, text);
    }
    return malformed(query, QStringLiteral("unknown form"));
}

QStringList possibleValues(const ReadQuery& query) {
    QStringList values;
    for (const Meaning& meaning : query.meanings)
        values.append(QLatin1StringView(meaning.value));
    return values;
}

} // namespace tavo::status
