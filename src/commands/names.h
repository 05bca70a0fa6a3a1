#pragma once
// The command line's names for the sending controls: one readable, stable
// name per one-shot sender and per hold key, made from the control's group
// and caption ("power on", "input pc2", "vol +"), a query named after what
// it reads ("lamp-hours", "status" for the power state). An entry names its
// control only; the code and the timing come from the sender tables, so no
// command code is written twice. The four status queries that no control
// sends (only the entry does) carry their own code.

#include "commands/senders.h"

#include <span>
#include <string_view>

namespace tavo::commands {

struct CommandName {
    std::string_view name;    // lower case, words separated by one blank
    std::string_view control; // the sender's or hold key's control name
    // What the reply means, for a query (the code begins "CR"); empty for a
    // command, which the projector answers with ACK or refuses with NAK.
    std::string_view reply;
    std::string_view code = {}; // a query no control sends: its code
};

// The 60 one-shot senders (and, after the panel's five status queries, the
// four only the entry sends) in their table's order, then the 17 hold keys.
std::span<const CommandName> commandNames();

// A name resolved to what it sends: at most one of sender and key is set;
// neither for a query with its own code.
struct NamedCommand {
    const CommandName* entry = nullptr;
    const OneShotSender* sender = nullptr;
    const HoldKey* key = nullptr;

    std::string_view code() const { return sender ? sender->code : key ? key->code : entry->code; }
    bool isQuery() const { return !entry->reply.empty(); }
};

// The one-shot sender or hold key of a control; nothing when it has none.
const OneShotSender* findOneShotSender(std::string_view control);
const HoldKey* findHoldKey(std::string_view control);

// The table entry resolved; entry, sender and key all null when the entry
// names a control that sends nothing (which the tests rule out).
NamedCommand commandFor(const CommandName& entry);

} // namespace tavo::commands
