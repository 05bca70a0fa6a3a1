#pragma once
// What each PJLink request does to the projector, as one table (the Class 2
// rows are in class2.h), and how its answer is made from what the projector
// replies.
//
// A request first runs the status queries its answer or its gate needs, then
// the panel's senders it names (by control name, so that no command code is
// written twice; a hold key is pressed once). Replies are read as typed status readings
// (status::readingOf): a request keys on what a reply means, never on the
// panel's texts.
// Identity requests (NAME, INF1, INF2, INFO, CLSS, INST) and the rows with a
// fixed answer never reach the serial line.

#include "commands/senders.h"
#include "exchange/transaction.h"
#include "pjlink/protocol.h"
#include "status/reading.h"
#include "status/tables.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <map>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tavo::pjlink {

inline constexpr std::string_view kQuery = "?";

// How the answer to a request is made.
enum class Answer {
    Ok,           // every command acknowledged
    PowerState,   // POWR ?: 0 standby, 1 on, 2 cooling, 3 warm-up
    ErrorStatus,  // ERST ?: six digits
    InputSource,  // INPT ?: the INPT row that shows the projector's input
    MuteState,    // AVMT ?: the AVMT row that shows the projector's mutes
    Lamp,         // LAMP ?: hours and whether the lamp is lit
    InputList,    // INST ?: every INPT row that can be set
    Name,         // NAME ?
    Manufacturer, // INF1 ?
    Product,      // INF2 ?
    OtherInfo,    // INFO ?
    PjlinkClass,  // CLSS ?
    FreezeState,  // FREZ ?: see FreezeMemory (Class 2)
    Fixed,        // INNM ?11, SNUM ?, ...: the row's text (Class 2)
};

// Which power states let a request's commands go out. Any other state
// answers ERR3 (the projector cannot take it now) or, after a power
// failure, ERR4.
enum class Gate {
    Always,
    StandbyOrOn, // power switching: not while counting down or cooling
    On,          // input and mutes: only while the picture is on
};

struct Mapping {
    std::string_view command;
    std::string_view parameter;
    Answer answer;
    Gate gate = Gate::Always;
    // The panel's one-shot senders, by control name, sent in this order.
    std::array<std::string_view, 2> senders{};
    // For INPT and AVMT settings: the reading's token that reads back as
    // this setting.
    std::string_view shows{};
    // The answer of a Fixed row.
    std::string_view text{};
};

std::span<const Mapping> mappings();

// What the power state reading's tokens mean here.
enum class Power { Standby, On, WarmUp, Cooling, Failed };

// ERST digits: 0 fine (or not detected), 1 warning, 2 error.
struct Faults {
    char fan = '0';
    char lamp = '0';
    char temperature = '0';
    char coverOpen = '0';
    char filter = '0';
    char other = '0';
};

struct PowerReading {
    std::string_view token; // a token of the power state reading
    Power power;
    bool lampLit;
    Faults faults;
};

std::span<const PowerReading> powerReadings();

// A request resolved: its table row, or the error it gets (ERR1 for an
// undefined command or a class other than 1 and 2, ERR2 for an unknown
// parameter). A Class 2 request reaches the Class 2 rows, then these.
struct Resolution {
    const Mapping* mapping = nullptr;
    QByteArrayView error;
    std::string_view why{}; // for the log, when a Class 2 function is missing
};
Resolution resolve(const Request& request);

// The status queries a request runs before its commands, in order.
std::vector<status::Reports> queriesFor(const Mapping& mapping);
// Its commands, resolved; a name that is not a sender is left out (the
// mapping test makes sure there is none).
std::vector<commands::OneShotSender> sendersFor(const Mapping& mapping);
// Whether it sends any command, rather than only asking.
bool sendsCommands(const Mapping& mapping);

// A query's reply: the bytes, and the decoder's text when a code matched.
struct Reading {
    QByteArray reply;
    std::optional<QString> status;
};

// The replies to the queries run so far.
using Readings = std::map<status::Reports, Reading>;

// The typed reading of a query a request ran; malformed when it did not run.
status::Reading typedReading(const Readings& readings, status::Reports query);

// POWR's digit for the power state query's reply among readings; nothing
// when it did not run, matched no code, or reads a power failure.
std::optional<char> powerDigitOf(const Readings& readings);

// The shape of a whole text reply that can answer a query (two hex digits
// for the power state, ...); a reply of another shape is a late or stray
// one and never read as a value. No text reply answers a command.
bool queryReplyFits(status::Reports query, QByteArrayView reply);
bool commandReplyFits(QByteArrayView reply);

// What a serial step's outcome makes of the request: nothing when it went
// through, else ERR3 (refused) or ERR4 (no reply, a reply that makes no
// sense or does not fit, or no serial port).
std::optional<QByteArrayView> stepFailure(link::Outcome outcome, bool isQuery);

// After the queries: ERR3 or ERR4 when the gate keeps the commands back.
std::optional<QByteArrayView> gateRefusal(const Mapping& mapping, const Readings& readings);

// What the projector and this bridge are called.
struct Identity {
    QByteArray name;
    QByteArray manufacturer;
    QByteArray product;
    QByteArray otherInfo;
};

// The result part of the answer, once every step went through.
// frozen: what FREZ ? answers while the projector is on.
QByteArray resultOf(const Mapping& mapping, const Readings& readings, const Identity& identity,
                    bool frozen = false);

} // namespace tavo::pjlink
