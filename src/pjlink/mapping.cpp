#include "pjlink/mapping.h"

#include "commands/names.h"
#include "pjlink/class2.h"

#include <QLatin1StringView>

#include <algorithm>
#include <cctype>

namespace tavo::pjlink {

namespace {

using enum Answer;
using status::Reports;

// Control names are those of the panel's buttons; the captions say what
// each one is.
constexpr std::array kMappings{
    Mapping{"POWR", "1", Ok, Gate::StandbyOrOn, {"Command17"}}, // POWER ON
    Mapping{"POWR", "0", Ok, Gate::StandbyOrOn, {"Command18"}}, // POWER OFF
    Mapping{"POWR", kQuery, PowerState},
    Mapping{"INPT", "11", Ok, Gate::On, {"Command27"}, "pc1"},   // PC1
    Mapping{"INPT", "12", Ok, Gate::On, {"Command28"}, "pc2"},   // PC2
    Mapping{"INPT", "21", Ok, Gate::On, {"Command29"}, "video"}, // VIDEO
    Mapping{"INPT", kQuery, InputSource},
    Mapping{"AVMT", "11", Ok, Gate::On, {"Command21"}, "video"}, // NO SHOW on
    Mapping{"AVMT", "10", Ok, Gate::On, {"Command22"}},          // NO SHOW off
    Mapping{"AVMT", "21", Ok, Gate::On, {"Command19"}, "audio"}, // SOUND MUTE on
    Mapping{"AVMT", "20", Ok, Gate::On, {"Command20"}},          // SOUND MUTE off
    Mapping{"AVMT", "31", Ok, Gate::On, {"Command21", "Command19"}, "video-audio"},
    Mapping{"AVMT", "30", Ok, Gate::On, {"Command22", "Command20"}, "off"},
    Mapping{"AVMT", kQuery, MuteState},
    Mapping{"ERST", kQuery, ErrorStatus},
    Mapping{"LAMP", kQuery, Lamp},
    Mapping{"INST", kQuery, InputList},
    Mapping{"NAME", kQuery, Name},
    Mapping{"INF1", kQuery, Manufacturer},
    Mapping{"INF2", kQuery, Product},
    Mapping{"INFO", kQuery, OtherInfo},
    Mapping{"CLSS", kQuery, PjlinkClass},
};

constexpr char kWarning = '1';
constexpr char kError = '2';

// The power state reading's tokens.
constexpr std::array kPowerReadings{
    PowerReading{"on", Power::On, true, {}},
    PowerReading{"standby", Power::Standby, false, {}},
    PowerReading{"warm-up", Power::WarmUp, false, {}},
    PowerReading{"cooling", Power::Cooling, false, {}},
    PowerReading{"power-failure", Power::Failed, false, {.other = kError}},
    PowerReading{"temperature-warning", Power::On, true, {.temperature = kWarning}},
    PowerReading{"no-key-input", Power::On, true, {}},
    PowerReading{"lamp-off-power-management", Power::On, false, {}},
    PowerReading{"cooling-temperature-warning", Power::Cooling, false, {.temperature = kWarning}},
    PowerReading{"cooling-power-management", Power::Cooling, false, {}},
    PowerReading{"standby-temperature-warning", Power::Standby, false, {.temperature = kWarning}},
    PowerReading{"cooling-lamp-failure", Power::Cooling, false, {.lamp = kError}},
    PowerReading{"standby-lamp-failure", Power::Standby, false, {.lamp = kError}},
};

// POWR's digits; a failed projector has none.
std::optional<char> powerDigit(Power power) {
    switch (power) {
    case Power::Standby:
        return '0';
    case Power::On:
        return '1';
    case Power::Cooling:
        return '2';
    case Power::WarmUp:
        return '3';
    case Power::Failed:
        return std::nullopt;
    }
    return std::nullopt;
}

// The longest lamp time the answer can carry.
constexpr qsizetype kMaxLampDigits = 5;

bool needsPowerState(const Mapping& mapping) {
    return mapping.gate != Gate::Always || mapping.answer == PowerState ||
           mapping.answer == ErrorStatus || mapping.answer == Lamp || mapping.answer == FreezeState;
}

// The token of a query's typed reading; nothing when the query did not run
// or its reply matched no code.
std::optional<QString> tokenOf(const Readings& readings, Reports query) {
    if (!readings.contains(query))
        return std::nullopt;
    const status::Reading reading = typedReading(readings, query);
    return reading.isValue() ? std::optional(reading.token) : std::nullopt;
}

bool is(const QString& token, std::string_view value) {
    return token == QLatin1StringView(value.data(), qsizetype(value.size()));
}

const Reading* find(const Readings& readings, Reports query) {
    const auto found = readings.find(query);
    return found == readings.end() ? nullptr : &found->second;
}

const PowerReading* powerReading(const Readings& readings) {
    const auto token = tokenOf(readings, Reports::PowerState);
    if (!token)
        return nullptr;
    for (const PowerReading& power : kPowerReadings) {
        if (is(*token, power.token))
            return &power;
    }
    return nullptr;
}

// The parameter of the row of this command that shows the reading: nothing
// when the reply matched no code, empty when no row shows it.
std::optional<QByteArray> settingShown(std::string_view command, const Readings& readings,
                                       Reports query) {
    const auto token = tokenOf(readings, query);
    if (!token)
        return std::nullopt;
    for (const Mapping& row : kMappings) {
        if (row.command == command && !row.shows.empty() && is(*token, row.shows))
            return QByteArrayView(row.parameter).toByteArray();
    }
    return QByteArray();
}

QByteArray inputList() {
    QByteArray list;
    for (const Mapping& row : kMappings) {
        if (row.command != "INPT" || row.parameter == kQuery)
            continue;
        if (!list.isEmpty())
            list.append(' ');
        list.append(QByteArrayView(row.parameter));
    }
    return list;
}

QByteArray faultDigits(const Faults& f) {
    const char digits[] = {f.fan, f.lamp, f.temperature, f.coverOpen, f.filter, f.other};
    return QByteArray(digits, sizeof digits);
}

// The lamp time reply: digits and a carriage return, leading zeros dropped.
std::optional<QByteArray> lampHours(const Reading* reading) {
    if (!reading || !queryReplyFits(Reports::LampTime, reading->reply))
        return std::nullopt;
    return QByteArray::number(reading->reply.chopped(1).toInt());
}

QByteArray resultOrFailure(const std::optional<QByteArray>& value) {
    if (!value)
        return kProjectorFailure.toByteArray();
    return value->isEmpty() ? kUnavailableTime.toByteArray() : *value;
}

} // namespace

std::span<const Mapping> mappings() {
    return kMappings;
}

std::span<const PowerReading> powerReadings() {
    return kPowerReadings;
}

status::Reading typedReading(const Readings& readings, Reports query) {
    const auto found = readings.find(query);
    const std::string_view code = status::statusQuery(query).code;
    return status::readingOf(QByteArrayView(code),
                             found == readings.end() ? QByteArray() : found->second.reply);
}

std::optional<char> powerDigitOf(const Readings& readings) {
    const PowerReading* power = powerReading(readings);
    return power ? powerDigit(power->power) : std::nullopt;
}

Resolution resolve(const Request& request) {
    if (request.pjlinkClass != kClass1 && request.pjlinkClass != kClass2)
        return {nullptr, kUndefinedCommand};
    bool known = false;
    const auto search = [&](std::span<const Mapping> rows) -> const Mapping* {
        for (const Mapping& row : rows) {
            if (QByteArrayView(row.command) != request.command)
                continue;
            known = true;
            if (request.hasSeparator && QByteArrayView(row.parameter) == request.parameter)
                return &row;
        }
        return nullptr;
    };
    if (request.pjlinkClass == kClass2) {
        if (const Mapping* row = search(class2Mappings()))
            return {row, {}};
    }
    if (const Mapping* row = search(kMappings))
        return {row, {}};
    if (known)
        return {nullptr, kOutOfParameter};
    return {nullptr, kUndefinedCommand,
            request.pjlinkClass == kClass2 ? missingFunction(request.command) : ""};
}

std::vector<status::Reports> queriesFor(const Mapping& mapping) {
    std::vector<status::Reports> queries;
    if (needsPowerState(mapping))
        queries.push_back(Reports::PowerState);
    if (mapping.answer == InputSource)
        queries.push_back(Reports::InputMode);
    if (mapping.answer == MuteState)
        queries.push_back(Reports::MuteState);
    if (mapping.answer == Lamp)
        queries.push_back(Reports::LampTime);
    return queries;
}

std::vector<commands::OneShotSender> sendersFor(const Mapping& mapping) {
    std::vector<commands::OneShotSender> senders;
    for (const std::string_view control : mapping.senders) {
        if (control.empty())
            continue;
        if (const auto* sender = commands::findOneShotSender(control))
            senders.push_back(*sender);
        else if (const auto* key = commands::findHoldKey(control))
            senders.push_back({key->control, key->code, commands::TimingClass::Plain});
    }
    return senders;
}

bool sendsCommands(const Mapping& mapping) {
    return std::ranges::any_of(mapping.senders,
                               [](std::string_view control) { return !control.empty(); });
}

bool queryReplyFits(Reports query, QByteArrayView reply) {
    const status::StatusQuery& row = status::statusQuery(query);
    if (!reply.endsWith(kTerminator))
        return false;
    const QByteArrayView text = reply.chopped(1);
    switch (row.rule) {
    case status::Rule::CodeTable:
        // The table's codes are traces: a blank before each byte.
        return text.size() == row.table->headLength / 2 &&
               std::ranges::all_of(text, [](char c) { return std::isxdigit((unsigned char)c); });
    case status::Rule::LampTime:
        return !text.isEmpty() && text.size() <= kMaxLampDigits &&
               std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
    default:
        return true;
    }
}

bool commandReplyFits(QByteArrayView) {
    return false;
}

std::optional<QByteArrayView> stepFailure(link::Outcome outcome, bool isQuery) {
    switch (outcome) {
    case link::Outcome::Acknowledged:
        return isQuery ? std::optional(kProjectorFailure) : std::nullopt;
    case link::Outcome::Replied:
        return isQuery ? std::nullopt : std::optional(kProjectorFailure);
    case link::Outcome::Refused:
        return kUnavailableTime;
    case link::Outcome::Malformed:
    case link::Outcome::NoReply:
    case link::Outcome::PortFailed:
        return kProjectorFailure;
    }
    return kProjectorFailure;
}

std::optional<QByteArrayView> gateRefusal(const Mapping& mapping, const Readings& readings) {
    if (mapping.gate == Gate::Always)
        return std::nullopt;
    const PowerReading* reading = powerReading(readings);
    if (!reading || reading->power == Power::Failed)
        return kProjectorFailure;
    const bool open = reading->power == Power::On ||
                      (mapping.gate == Gate::StandbyOrOn && reading->power == Power::Standby);
    return open ? std::nullopt : std::optional(kUnavailableTime);
}

QByteArray resultOf(const Mapping& mapping, const Readings& readings, const Identity& identity,
                    bool frozen) {
    const PowerReading* power = powerReading(readings);
    switch (mapping.answer) {
    case Ok:
        return kOk.toByteArray();
    case PowerState: {
        const auto digit = powerDigitOf(readings);
        return digit ? QByteArray(1, *digit) : kProjectorFailure.toByteArray();
    }
    case ErrorStatus:
        return power ? faultDigits(power->faults) : kProjectorFailure.toByteArray();
    case InputSource:
        return resultOrFailure(settingShown(mapping.command, readings, Reports::InputMode));
    case MuteState:
        return resultOrFailure(settingShown(mapping.command, readings, Reports::MuteState));
    case Lamp: {
        const auto hours = lampHours(find(readings, Reports::LampTime));
        if (!power || !hours)
            return kProjectorFailure.toByteArray();
        return *hours + (power->lampLit ? " 1" : " 0");
    }
    case InputList:
        return inputList();
    case Name:
        return identity.name;
    case Manufacturer:
        return identity.manufacturer;
    case Product:
        return identity.product;
    case OtherInfo:
        return identity.otherInfo;
    case PjlinkClass:
        // The class the projector supports, on either header.
        return QByteArray(1, kClass2);
    case FreezeState: {
        const auto digit = powerDigitOf(readings);
        if (!digit)
            return kProjectorFailure.toByteArray();
        return (*digit == '1' && frozen) ? "1" : "0";
    }
    case Fixed:
        return QByteArrayView(mapping.text).toByteArray();
    }
    return kProjectorFailure.toByteArray();
}

} // namespace tavo::pjlink
