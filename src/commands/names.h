#pragma once
// The command line's names for the sending controls: one readable, stable
// name per one-shot sender and per hold key, made from the control's group
// and caption ("power on", "input pc2", "vol +", "status"). An entry names
// its control only; the code and the timing come from the sender tables, so
// no command code is written twice.

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
};

// The 60 one-shot senders in their table's order, then the 17 hold keys.
std::span<const CommandName> commandNames();

// A name resolved to what it sends: exactly one of sender and key is set.
struct NamedCommand {
    const CommandName* entry = nullptr;
    const OneShotSender* sender = nullptr;
    const HoldKey* key = nullptr;

    std::string_view code() const { return sender ? sender->code : key->code; }
    bool isQuery() const { return !entry->reply.empty(); }
};

// The one-shot sender or hold key of a control; nothing when it has none.
const OneShotSender* findOneShotSender(std::string_view control);
const HoldKey* findHoldKey(std::string_view control);

// The table entry resolved; entry, sender and key all null when the entry
// names a control that sends nothing (which the tests rule out).
NamedCommand commandFor(const CommandName& entry);

} // namespace tavo::commands
