#include "status/tables.h"

#include <array>

namespace tavo::status {
namespace {

// "CR0": the projector's state.
constexpr std::array powerStates{
    StatusCode{" 0 0", " Power ON"},
    StatusCode{" 8 0", " Stand by"},
    StatusCode{" 4 0", " Count down"},
    StatusCode{" 2 0", " Cooling down"},
    StatusCode{" 1 0", " Power Fail"},
    StatusCode{" 0 8", " Temperature Warning"},
    StatusCode{" 0 2", " NO Key input "},
    StatusCode{" 0 4", " Lamp OFF by PWR Management"},
    StatusCode{" 2 8", " Temperature Warning & cooling down"},
    StatusCode{" 2 4", "Cooling down  PWR Management"},
    StatusCode{" 8 8", " Temperature Warning and recoverd"},
    StatusCode{" 2 1", " Cooling down (All Lamp FAIL)"},
    StatusCode{" 8 1", " Cooling down & sutandby (All Lamp FAIL)"},
};

// "CR1": the input mode, one reply character.
constexpr std::array inputModes{
    StatusCode{" 1", " Computer 1"},
    StatusCode{" 2", " Computer 2"},
    StatusCode{" 3", " Video"},
    StatusCode{" 4", " Input mode 4"},
};

// "CR4": the picture orientation.
constexpr std::array orientations{
    StatusCode{" 1 1", " Normally"},
    StatusCode{" 1 0", " Top/Bottom reversal"},
    StatusCode{" 0 1", " Left/Right reversal"},
    StatusCode{" 0 0", " Top/Bottom , Left/Right reversal"},
};

// "CRA": the mute state.
constexpr std::array muteStates{
    StatusCode{" 0 0", " Video & Audio mute OFF"},
    StatusCode{" 0 1", " Video mute ON"},
    StatusCode{" 0 2", " Audio mute ON"},
    StatusCode{" 0 3", " Video & Audio mute ON"},
    StatusCode{" 8 0", " No signal"},
    StatusCode{" F F", " Stand by"},
};

// "CR7": the lamps and the lamp mode.
constexpr std::array lampStates{
    StatusCode{" 0 0", " All OFF : 2 Lamp mode"},
    StatusCode{" 0 1", " No1 ON  : 2 Lamp mode"},
    StatusCode{" 0 2", " No2 ON  : 2 Lamp mode"},
    StatusCode{" 0 3", " No1,2 ON  : 2 Lamp mode"},
    StatusCode{" 1 0", " All OFF : 1 Lamp mode(No1 USE)"},
    StatusCode{" 1 1", " No1 ON  : 1 Lamp mode(No1 USE)"},
    StatusCode{" 2 0", " All OFF : 1 Lamp mode(No2 USE)"},
    StatusCode{" 2 2", " No2 ON  : 1 Lamp mode(No2 USE)"},
};

constexpr CodeTable powerStateTable{4, powerStates};
constexpr CodeTable inputModeTable{2, inputModes};
constexpr CodeTable orientationTable{4, orientations};
constexpr CodeTable muteStateTable{4, muteStates};
constexpr CodeTable lampStateTable{4, lampStates};

constexpr std::array queries{
    StatusQuery{"CR0", Rule::CodeTable, &powerStateTable},
    StatusQuery{"CR1", Rule::CodeTable, &inputModeTable},
    StatusQuery{"CR4", Rule::CodeTable, &orientationTable},
    StatusQuery{"CR3", Rule::LampTime, nullptr},
    StatusQuery{"CR6", Rule::Sensors, nullptr},
    StatusQuery{"CRA", Rule::CodeTable, &muteStateTable},
    StatusQuery{"CR9", Rule::TraceCopy, nullptr},
    StatusQuery{"CR PRESSURE", Rule::Pressure, nullptr},
    StatusQuery{"CR7", Rule::CodeTable, &lampStateTable},
};

// A head of the wrong length never matches, and of two equal heads only the
// first could ever be shown.
constexpr bool wellFormed(const CodeTable& table) {
    for (auto i = table.codes.begin(); i != table.codes.end(); ++i) {
        if (i->head.size() != std::size_t(table.headLength)) {
            return false;
        }
        for (auto j = table.codes.begin(); j != i; ++j) {
            if (j->head == i->head) {
                return false;
            }
        }
    }
    return true;
}

// The decoder takes the first query whose frame equals the last frame sent.
constexpr bool distinctCodes() {
    for (auto i = queries.begin(); i != queries.end(); ++i) {
        for (auto j = queries.begin(); j != i; ++j) {
            if (j->code == i->code) {
                return false;
            }
        }
    }
    return true;
}

constexpr bool tablesWhereNeeded() {
    for (const StatusQuery& query : queries) {
        if ((query.rule == Rule::CodeTable) != (query.table != nullptr)) {
            return false;
        }
    }
    return true;
}

static_assert(wellFormed(powerStateTable) && wellFormed(inputModeTable) &&
              wellFormed(orientationTable) && wellFormed(muteStateTable) &&
              wellFormed(lampStateTable));
static_assert(distinctCodes());
static_assert(tablesWhereNeeded());

// statusQuery() indexes the queries by Reports: both lists in the same order.
constexpr const StatusQuery& queryAt(Reports what) {
    return queries[static_cast<std::size_t>(what)];
}
static_assert(queries.size() == std::size_t(Reports::LampState) + 1);
static_assert(queryAt(Reports::PowerState).table == &powerStateTable);
static_assert(queryAt(Reports::InputMode).table == &inputModeTable);
static_assert(queryAt(Reports::Orientation).table == &orientationTable);
static_assert(queryAt(Reports::LampTime).rule == Rule::LampTime);
static_assert(queryAt(Reports::Sensors).rule == Rule::Sensors);
static_assert(queryAt(Reports::MuteState).table == &muteStateTable);
static_assert(queryAt(Reports::StatusText).rule == Rule::TraceCopy);
static_assert(queryAt(Reports::Pressure).rule == Rule::Pressure);
static_assert(queryAt(Reports::LampState).table == &lampStateTable);

} // namespace

std::span<const StatusQuery> statusQueries() {
    return queries;
}

const StatusQuery& statusQuery(Reports what) {
    return queryAt(what);
}

} // namespace tavo::status
