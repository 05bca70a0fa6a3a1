#include "commands/senders.h"

#include <array>

namespace tavo::commands {

namespace {

using enum TimingClass;

constexpr std::array kOneShotSenders{
    // POWER
    OneShotSender{"Label1", "CR PROJH", Plain},
    OneShotSender{"Command17", "C00", Plain},
    OneShotSender{"Command18", "C01", Plain},
    // INPUT MODE SET
    OneShotSender{"Label2", "CR INPUT", Plain},
    OneShotSender{"Command27", "C05", Plain},
    OneShotSender{"Command28", "C06", Plain},
    OneShotSender{"Command29", "C07", Plain},
    // MENU
    OneShotSender{"Command23", "C1C", MenuContext},
    OneShotSender{"Command24", "C1D", Plain},
    // SOUND MUTE, NO SHOW, FREEZE
    OneShotSender{"Command19", "C0B", Plain},
    OneShotSender{"Command20", "C0C", Plain},
    OneShotSender{"Command21", "C0D", Plain},
    OneShotSender{"Command22", "C0E", Plain},
    OneShotSender{"Command25", "C43", Plain},
    OneShotSender{"Command26", "C44", Plain},
    // AV Size
    OneShotSender{"Label6", "CR SCREEN", Plain},
    OneShotSender{"Command31", "C0F", Plain},
    OneShotSender{"Command32", "C10", Plain},
    // LAMP MODE
    OneShotSender{"Label20", "CR LAMPMODE", Plain},
    OneShotSender{"Command59", "C73", Plain},
    OneShotSender{"Command62", "C74", Plain},
    OneShotSender{"Command71", "C75", Plain},
    // right column
    OneShotSender{"Command13", "C89", MenuContext},
    OneShotSender{"Command30", "C27", Plain},
    OneShotSender{"Command14", "C8A", Plain},
    OneShotSender{"Command3", "C1E", Plain},
    // picture-mode rows
    OneShotSender{"Command4", "C11", PicturePreset},
    OneShotSender{"Command10", "C12", PicturePreset},
    OneShotSender{"Command11", "C13", PicturePreset},
    OneShotSender{"Command39", "C14", PicturePreset},
    OneShotSender{"Command40", "C15", PicturePreset},
    OneShotSender{"Command41", "C16", PicturePreset},
    OneShotSender{"Command42", "C17", PicturePreset},
    // status queries
    OneShotSender{"Command44", "CR0", Plain},
    OneShotSender{"Command45", "CR1", Plain},
    OneShotSender{"Command46", "CR3", Plain},
    OneShotSender{"Command47", "CR4", Plain},
    OneShotSender{"Command54", "CR6", Plain},
    // input-source group
    OneShotSender{"Command64", "C50", TerminalSetup},
    OneShotSender{"Command65", "C52", TerminalSetup},
    OneShotSender{"Command66", "C53", TerminalSetup},
    OneShotSender{"Command72", "C25", TerminalSetup},
    OneShotSender{"Command73", "C26", TerminalSetup},
    OneShotSender{"Command53", "CF TERMINAL COMPUTER", TerminalSetup},
    OneShotSender{"Command76", "CF TERMINAL MONITOR", TerminalSetup},
    OneShotSender{"Command81", "CF INPUT VIDEO AUTO", TerminalSetup},
    OneShotSender{"Command82", "CF INPUT VIDEO VIDEO", TerminalSetup},
    OneShotSender{"Command69", "CF INPUT VIDEO S-VIDEO", TerminalSetup},
    OneShotSender{"Command74", "CF INPUT VIDEO YPBPR", TerminalSetup},
    // FAN SPEED
    OneShotSender{"Label27", "CR FANSPEED", Plain},
    OneShotSender{"Command97", "CF FANSPEED MAX", Plain},
    OneShotSender{"Command98", "CF FANSPEED NOR", Plain},
    // Key Lock
    OneShotSender{"Label19", "CR KEYDIS", Plain},
    OneShotSender{"Command56", "CF KEYDIS NONE", Plain},
    OneShotSender{"Command57", "CF KEYDIS RC", Plain},
    OneShotSender{"Command58", "CF KEYDIS KEY", Plain},
    // Logo Capture
    OneShotSender{"Command60", "C7D", Plain},
    OneShotSender{"Command61", "C7A", Plain},
    OneShotSender{"Command63", "C7B", Plain},
    OneShotSender{"Command67", "C7C", Plain},
};

constexpr milliseconds kSlowRepeat{250};
constexpr milliseconds kFastRepeat{50};
constexpr milliseconds kSelectRepeat{500};
constexpr ReplyTiming kSlowTiming{milliseconds(200), milliseconds(245)};
constexpr ReplyTiming kFastTiming{milliseconds(25), milliseconds(25)};

constexpr std::array kHoldKeys{
    HoldKey{"Command1", 1, "C09", kSlowRepeat, kSlowTiming},   // VOL +
    HoldKey{"Command2", 2, "C0A", kSlowRepeat, kSlowTiming},   // VOL -
    HoldKey{"Command5", 3, "C3C", {}, {}},                     // up
    HoldKey{"Command7", 4, "C3D", {}, {}},                     // down
    HoldKey{"Command9", 5, "C3B", {}, {}},                     // left
    HoldKey{"Command8", 6, "C3A", {}, {}},                     // right
    HoldKey{"Command15", 7, "C20", kFastRepeat, kFastTiming},  // Brightness +
    HoldKey{"Command35", 8, "C21", kFastRepeat, kFastTiming},  // Brightness -
    HoldKey{"Command36", 9, "C4B", kFastRepeat, kFastTiming},  // Focus +
    HoldKey{"Command37", 10, "C4A", kFastRepeat, kFastTiming}, // Focus -
    HoldKey{"Command6", 13, "C3F", kSelectRepeat, kSlowTiming}, // SELECT
    HoldKey{"Command48", 17, "C30", kSlowRepeat, kSlowTiming, true}, // D.Zoom +
    HoldKey{"Command49", 18, "C31", kSlowRepeat, kSlowTiming, true}, // D.Zoom -
    HoldKey{"Command50", 19, "C8E", kSlowRepeat, kSlowTiming},  // Keystone +
    HoldKey{"Command51", 20, "C8F", kSlowRepeat, kSlowTiming},  // Keystone -
    HoldKey{"Command43", 25, "C47", kFastRepeat, kFastTiming},  // Zoom +
    HoldKey{"Command68", 26, "C46", kFastRepeat, kFastTiming},  // Zoom -
};

} // namespace

std::span<const OneShotSender> oneShotSenders() { return kOneShotSenders; }

std::span<const HoldKey> holdKeys() { return kHoldKeys; }

std::optional<ReplyTiming> arrowTiming(unsigned char arrowMode) {
    switch (arrowMode) {
    case kArrowModeMenu:
        return kArrowMode1Timing;
    case kArrowModeDigitalZoom:
        return kArrowMode3Timing;
    default:
        return std::nullopt;
    }
}

} // namespace tavo::commands
