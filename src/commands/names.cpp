#include "commands/names.h"

#include <algorithm>
#include <array>

namespace tavo::commands {

namespace {

// clang-format off
constexpr std::array kNames{
    // POWER: the heading asks for the projector hours.
    CommandName{"projector-hours", "Label1", "projector hours"},
    CommandName{"power on", "Command17", {}},
    CommandName{"power off", "Command18", {}},
    // INPUT MODE SET
    CommandName{"input-terminal", "Label2", "input and its terminal: pc1-rgb, video-auto, ..."},
    CommandName{"input pc1", "Command27", {}},
    CommandName{"input pc2", "Command28", {}},
    CommandName{"input video", "Command29", {}},
    // MENU
    CommandName{"menu on", "Command23", {}},
    CommandName{"menu off", "Command24", {}},
    // SOUND MUTE, NO SHOW, FREEZE
    CommandName{"sound-mute on", "Command19", {}},
    CommandName{"sound-mute off", "Command20", {}},
    CommandName{"no-show on", "Command21", {}},
    CommandName{"no-show off", "Command22", {}},
    CommandName{"freeze on", "Command25", {}},
    CommandName{"freeze off", "Command26", {}},
    // AV Size
    CommandName{"av-size", "Label6", "screen size: regular, wide"},
    CommandName{"av-size regular", "Command31", {}},
    CommandName{"av-size wide", "Command32", {}},
    // LAMP MODE
    CommandName{"lamp-mode", "Label20", "lamp mode: auto, normal, eco"},
    CommandName{"lamp-mode auto", "Command59", {}},
    CommandName{"lamp-mode normal", "Command62", {}},
    CommandName{"lamp-mode eco", "Command71", {}},
    // right column
    CommandName{"a-image", "Command13", {}},
    CommandName{"image", "Command30", {}},
    CommandName{"p-timer", "Command14", {}},
    CommandName{"display-clear", "Command3", {}},
    // picture-mode rows
    CommandName{"picture-mode stand", "Command4", {}},
    CommandName{"picture-mode real", "Command10", {}},
    CommandName{"picture-mode cinema", "Command11", {}},
    CommandName{"picture-mode image1", "Command39", {}},
    CommandName{"picture-mode image2", "Command40", {}},
    CommandName{"picture-mode image3", "Command41", {}},
    CommandName{"picture-mode image4", "Command42", {}},
    // status queries
    CommandName{"status", "Command44", "power state: on, standby, warm-up, cooling, failures, warnings"},
    CommandName{"input-mode", "Command45", "input mode: pc1, pc2, video"},
    CommandName{"lamp-hours", "Command46", "lamp hours"},
    CommandName{"orientation", "Command47", "picture orientation: normal, or which reversal"},
    CommandName{"temperatures", "Command54", "three temperatures, S1, S2 and S3, in degrees C"},
    // status queries that only the entry sends
    CommandName{"mute-state", {}, "mutes: off, video, audio, video-audio, no-signal, standby", "CRA"},
    CommandName{"status-text", {}, "the projector's status in its own words", "CR9"},
    CommandName{"air-pressure", {}, "air pressure in hPa", "CR PRESSURE"},
    CommandName{"lamp-state", {}, "lamps lit and lamp mode", "CR7"},
    // input terminals: rows PC1, PC2 and Video
    CommandName{"pc1-terminal rgb", "Command64", {}},
    CommandName{"pc1-terminal dvi-pc", "Command65", {}},
    CommandName{"pc1-terminal dvi-av", "Command66", {}},
    CommandName{"pc2-terminal rgb", "Command72", {}},
    CommandName{"pc2-terminal scart", "Command73", {}},
    CommandName{"pc2-terminal in", "Command53", {}},
    CommandName{"pc2-terminal out", "Command76", {}},
    CommandName{"video-terminal auto", "Command81", {}},
    CommandName{"video-terminal video", "Command82", {}},
    CommandName{"video-terminal s-video", "Command69", {}},
    CommandName{"video-terminal component", "Command74", {}},
    // FAN SPEED
    CommandName{"fan-speed", "Label27", "fan speed: max, normal"},
    CommandName{"fan-speed max", "Command97", {}},
    CommandName{"fan-speed normal", "Command98", {}},
    // Key Lock
    CommandName{"key-lock", "Label19", "key lock: none, rc, key"},
    CommandName{"key-lock none", "Command56", {}},
    CommandName{"key-lock rc", "Command57", {}},
    CommandName{"key-lock key", "Command58", {}},
    // Logo Capture
    CommandName{"logo capture", "Command60", {}},
    CommandName{"logo off", "Command61", {}},
    CommandName{"logo default", "Command63", {}},
    CommandName{"logo user", "Command67", {}},
    // hold keys
    CommandName{"vol +", "Command1", {}},
    CommandName{"vol -", "Command2", {}},
    CommandName{"up", "Command5", {}},
    CommandName{"down", "Command7", {}},
    CommandName{"left", "Command9", {}},
    CommandName{"right", "Command8", {}},
    CommandName{"brightness +", "Command15", {}},
    CommandName{"brightness -", "Command35", {}},
    CommandName{"focus +", "Command36", {}},
    CommandName{"focus -", "Command37", {}},
    CommandName{"select", "Command6", {}},
    CommandName{"d-zoom +", "Command48", {}},
    CommandName{"d-zoom -", "Command49", {}},
    CommandName{"keystone +", "Command50", {}},
    CommandName{"keystone -", "Command51", {}},
    CommandName{"zoom +", "Command43", {}},
    CommandName{"zoom -", "Command68", {}},
};
// clang-format on

// Lower-case words of letters, digits, '-' and '+', one blank between them:
// what a shell hands over as separate words and the parser compares.
constexpr bool wellFormed(std::string_view name) {
    if (name.empty() || name.front() == ' ' || name.back() == ' ')
        return false;
    char previous = 0;
    for (const char c : name) {
        const bool allowed =
            (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '+' || c == ' ';
        if (!allowed || (c == ' ' && previous == ' '))
            return false;
        previous = c;
    }
    return true;
}

constexpr bool allWellFormed() {
    return std::all_of(kNames.begin(), kNames.end(),
                       [](const CommandName& entry) { return wellFormed(entry.name); });
}

// A name, control or own code given twice would make one of its entries
// unreachable; an entry names a control or has its own code, not both.
constexpr bool allDistinct() {
    for (auto i = kNames.begin(); i != kNames.end(); ++i) {
        if (i->control.empty() == i->code.empty())
            return false;
        for (auto j = kNames.begin(); j != i; ++j) {
            if (i->name == j->name || (!i->control.empty() && i->control == j->control) ||
                (!i->code.empty() && i->code == j->code))
                return false;
        }
    }
    return true;
}

static_assert(kNames.size() == 81);
static_assert(allWellFormed());
static_assert(allDistinct());

} // namespace

std::span<const CommandName> commandNames() {
    return kNames;
}

const OneShotSender* findOneShotSender(std::string_view control) {
    const auto senders = oneShotSenders();
    const auto found = std::find_if(senders.begin(), senders.end(),
                                    [&](const OneShotSender& s) { return s.control == control; });
    return found == senders.end() ? nullptr : &*found;
}

const HoldKey* findHoldKey(std::string_view control) {
    const auto keys = holdKeys();
    const auto found = std::find_if(keys.begin(), keys.end(),
                                    [&](const HoldKey& k) { return k.control == control; });
    return found == keys.end() ? nullptr : &*found;
}

NamedCommand commandFor(const CommandName& entry) {
    if (!entry.code.empty())
        return {&entry, nullptr, nullptr};
    if (const OneShotSender* sender = findOneShotSender(entry.control))
        return {&entry, sender, nullptr};
    if (const HoldKey* key = findHoldKey(entry.control))
        return {&entry, nullptr, key};
    return {};
}

} // namespace tavo::commands
