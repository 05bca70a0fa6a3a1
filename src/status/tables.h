#pragma once
// The nine status queries and the code tables of the five that answer with a
// status code. A code table compares the head of the reply's trace line (a
// blank before every reply character) with each code's head; the texts are
// shown as they stand, blanks and spelling included.

#include <span>
#include <string_view>

namespace tavo::status {

struct StatusCode {
    std::string_view head; // as it stands at the start of the trace line, e.g. " 0 0"
    std::string_view text;
};

struct CodeTable {
    int headLength; // trace characters compared: 4 for two reply characters, 2 for one
    std::span<const StatusCode> codes;
};

enum class Rule { CodeTable, LampTime, Sensors, TraceCopy, Pressure };

struct StatusQuery {
    std::string_view code; // sent as command prefix + code + carriage return
    Rule rule;
    const CodeTable* table; // only for Rule::CodeTable
};

// In the order in which the decoder tests them.
std::span<const StatusQuery> statusQueries();

// The queries by what they report, for callers that send one themselves (the
// network bridge), so that no query code is written twice.
enum class Reports {
    PowerState,
    InputMode,
    Orientation,
    LampTime,
    Sensors,
    MuteState,
    StatusText,
    Pressure,
    LampState,
};
const StatusQuery& statusQuery(Reports what);

} // namespace tavo::status
