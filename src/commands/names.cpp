#include "commands/names.h"

#include <algorithm>
#include <array>

namespace tavo::commands {

namespace {

// clang-format off
constexpr std::array kNames{
    // POWER: the heading asks for the projector hours.
    CommandName{"power", "Label1", "projector hours, shown as received"},
    CommandName{"power on", "Command17", {}},
    CommandName{"power off", "Command18", {}},
    // INPUT MODE SET
    CommandName{"input", "Label2", "input name, shown as received"},
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
    CommandName{"av-size", "Label6", "screen size, shown as received"},
    CommandName{"av-size regular", "Command31", {}},
    CommandName{"av-size wide", "Command32", {}},
    // LAMP MODE
    CommandName{"lamp-mode", "Label20", "lamp mode, shown as received"},
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
    CommandName{"status", "Command44", "power state: Power ON, Stand by, Count down, Cooling down, ..."},
    CommandName{"mode", "Command45", "input mode: Computer 1, Computer 2, Video"},
    CommandName{"lamp-time", "Command46", "lamp hours, with \"Hour Use\""},
    CommandName{"setting", "Command47", "picture orientation: Normally, or which reversal"},
    CommandName{"temp", "Command54", "three temperatures: S1, S2 and S3 in degrees C"},
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
    CommandName{"fan-speed", "Label27", "fan speed, shown as received"},
    CommandName{"fan-speed max", "Command97", {}},
    CommandName{"fan-speed normal", "Command98", {}},
    // Key Lock
    CommandName{"key-lock", "Label19", "key lock, shown as received"},
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

// A name or a control named twice would make one of its entries unreachable.
constexpr bool allDistinct() {
    for (auto i = kNames.begin(); i != kNames.end(); ++i) {
        for (auto j = kNames.begin(); j != i; ++j) {
            if (i->name == j->name || i->control == j->control)
                return false;
        }
    }
    return true;
}

static_assert(kNames.size() == 77);
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
    if (const OneShotSender* sender = findOneShotSender(entry.control))
        return {&entry, sender, nullptr};
    if (const HoldKey* key = findHoldKey(entry.control))
        return {&entry, nullptr, key};
    return {};
}

} // namespace tavo::commands
