#pragma once
// Typed readings of the projector's status replies, beside the panel's texts
// (which stay exactly as the decoder shows them). A reading keys on the query
// that was sent and reads the reply's text: the bytes before its first
// carriage return. The text must fit the query's format exactly; anything
// else (a stray byte, an unknown code, a missing carriage return) is a
// malformed reading and carries no value. Pure: bytes in, reading out.
//
// Every value has a stable meaning: enumerated replies a lower-case token
// ("on", "standby", "warm-up", "pc1"), measured ones numbers with a unit
// (hours, degrees Celsius, hectopascals).

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <span>
#include <string_view>

namespace tavo::status {

// What a query reports.
enum class Quantity {
    PowerState,
    InputMode,
    Orientation,
    LampHours,
    Temperatures,
    MuteState,
    StatusText,
    AirPressure,
    LampState,
    ProjectorHours,
    KeyLock,
    InputTerminal,
    LampMode,
    FanSpeed,
    ScreenSize,
};

// How far a value departs from normal operation.
enum class Severity { Normal, Warning, Failure };

// One reply text of an enumerated query and what it means.
struct Meaning {
    std::string_view reply; // the reply's text, e.g. "80"
    std::string_view value; // the stable token, e.g. "standby"
    Severity severity = Severity::Normal;
};

// How a reply's text is read.
enum class Form {
    Code,         // one of the meanings
    Whole,        // 5 decimal digits
    Temperatures, // three decimals ddd.d separated by commas
    Pressure,     // the sensor's raw reading, 0 to 1023, converted to hPa
    Text,         // 1 to 80 printable characters
};

struct ReadQuery {
    std::string_view code; // sent as command prefix + code + carriage return
    Quantity quantity;
    Form form;
    std::span<const Meaning> meanings; // Form::Code only
    std::string_view unit;             // "h", "°C", "hPa"; empty for tokens and text
};

// Every query whose reply has a typed reading: the panel's nine decoded
// queries first, in the decoder's order, then the six it only shows.
std::span<const ReadQuery> readQueries();
// The query sent as this code; nullptr for a command or unknown code.
const ReadQuery* readQueryOf(QByteArrayView code);
const ReadQuery& readQueryOf(Quantity quantity);

struct Reading {
    const ReadQuery* query = nullptr;
    QString problem; // why it is malformed
    QString token;   // Form::Code: the meaning's token
    Severity severity = Severity::Normal;
    QList<double> numbers; // Whole, Temperatures, Pressure: the values in the unit
    QString text;          // Form::Text: the text

    // Malformed without a query (none was read yet) or with a problem.
    bool isValue() const { return query && problem.isEmpty(); }
    // The bare value: "on", "1234", "25.0 26.5 27.0"; empty when malformed.
    QString valueText() const;
    // The value in words for a reader: the panel's text for its code tables
    // (without the blanks around it), else the value with its unit.
    QString words() const;
};

// The reading of reply (as received, bytes after its first carriage return
// ignored) to the query sent as code. A code that is no query gives a reading
// without query, malformed.
Reading readingOf(QByteArrayView code, QByteArrayView reply);

// The tokens an enumerated query can give; empty for the other forms.
QStringList possibleValues(const ReadQuery& query);

} // namespace tavo::status
