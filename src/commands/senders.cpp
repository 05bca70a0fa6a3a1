#include "commands/senders.h"

#include <array>

namespace tavo::commands {

namespace {

using enum TimingClass;

constexpr std::array kOneShotSenders{
    // POWER
    OneShotSender{"Label1", "CR PROJH", Plain}, // POWER
    OneShotSender{"Command17", "C00", Plain},   // ON
    OneShotSender{"Command18", "C01", Plain},   // OFF
    // INPUT MODE SET
    OneShotSender{"Label2", "CR INPUT", Plain}, // INPUT MODE SET
    OneShotSender{"Command27", "C05", Plain},   // PC1
    OneShotSender{"Command28", "C06", Plain},   // PC2
    OneShotSender{"Command29", "C07", Plain},   // Video
    // MENU
    OneShotSender{"Command23", "C1C", MenuContext}, // ON
    OneShotSender{"Command24", "C1D", Plain},       // OFF
    // SOUND MUTE
    OneShotSender{"Command19", "C0B", Plain}, // ON
    OneShotSender{"Command20", "C0C", Plain}, // OFF
    // NO SHOW
    OneShotSender{"Command21", "C0D", Plain}, // ON
    OneShotSender{"Command22", "C0E", Plain}, // OFF
    // FREEZE
    OneShotSender{"Command25", "C43", Plain}, // ON
    OneShotSender{"Command26", "C44", Plain}, // OFF
    // AV Size
    OneShotSender{"Label6", "CR SCREEN", Plain}, // AV Size
    OneShotSender{"Command31", "C0F", Plain},    // Regular
    OneShotSender{"Command32", "C10", Plain},    // Wide
    // LAMP MODE
    OneShotSender{"Label20", "CR LAMPMODE", Plain}, // LAMP MODE
    OneShotSender{"Command59", "C73", Plain},       // Auto
    OneShotSender{"Command62", "C74", Plain},       // Normal
    OneShotSender{"Command71", "C75", Plain},       // Eco
    // right column
    OneShotSender{"Command13", "C89", MenuContext}, // A-IMAGE
    OneShotSender{"Command30", "C27", Plain},       // IMAGE
    OneShotSender{"Command14", "C8A", Plain},       // P-TIMER
    OneShotSender{"Command3", "C1E", Plain},        // DISPLAY CLEAR
    // picture-mode rows
    OneShotSender{"Command4", "C11", PicturePreset},  // STAND
    OneShotSender{"Command10", "C12", PicturePreset}, // REAL
    OneShotSender{"Command11", "C13", PicturePreset}, // CINEMA
    OneShotSender{"Command39", "C14", PicturePreset}, // IMAGE1
    OneShotSender{"Command40", "C15", PicturePreset}, // IMAGE2
    OneShotSender{"Command41", "C16", PicturePreset}, // IMAGE3
    OneShotSender{"Command42", "C17", PicturePreset}, // IMAGE4
    // status queries
    OneShotSender{"Command44", "CR0", Plain}, // STATUS
    OneShotSender{"Command45", "CR1", Plain}, // MODE
    OneShotSender{"Command46", "CR3", Plain}, // L-TIME
    OneShotSender{"Command47", "CR4", Plain}, // SETTING
    OneShotSender{"Command54", "CR6", Plain}, // TEMP
    // input-source group
    OneShotSender{"Command64", "C50", TerminalSetup},                    // RGB
    OneShotSender{"Command65", "C52", TerminalSetup},                    // DVI(PC Digital)
    OneShotSender{"Command66", "C53", TerminalSetup},                    // DVI(AV HDCP)
    OneShotSender{"Command72", "C25", TerminalSetup},                    // RGB
    OneShotSender{"Command73", "C26", TerminalSetup},                    // Scart
    OneShotSender{"Command53", "CF TERMINAL COMPUTER", TerminalSetup},   // IN
    OneShotSender{"Command76", "CF TERMINAL MONITOR", TerminalSetup},    // OUT
    OneShotSender{"Command81", "CF INPUT VIDEO AUTO", TerminalSetup},    // Auto
    OneShotSender{"Command82", "CF INPUT VIDEO VIDEO", TerminalSetup},   // Video
    OneShotSender{"Command69", "CF INPUT VIDEO S-VIDEO", TerminalSetup}, // S-Video
    OneShotSender{"Command74", "CF INPUT VIDEO YPBPR", TerminalSetup},   // Component
    // FAN SPEED
    OneShotSender{"Label27", "CR FANSPEED", Plain},       // FAN SPEED
    OneShotSender{"Command97", "CF FANSPEED MAX", Plain}, // MAX
    OneShotSender{"Command98", "CF FANSPEED NOR", Plain}, // NOR
    // Key Lock
    OneShotSender{"Label19", "CR KEYDIS", Plain},        // Key Lock
    OneShotSender{"Command56", "CF KEYDIS NONE", Plain}, // Non Lock
    OneShotSender{"Command57", "CF KEYDIS RC", Plain},   // R/C
    OneShotSender{"Command58", "CF KEYDIS KEY", Plain},  // KEY
    // Logo Capture
    OneShotSender{"Command60", "C7D", Plain}, // Logo Capture
    OneShotSender{"Command61", "C7A", Plain}, // OFF
    OneShotSender{"Command63", "C7B", Plain}, // DEF
    OneShotSender{"Command67", "C7C", Plain}, // User
};

constexpr milliseconds kSlowRepeat{250};
constexpr milliseconds kFastRepeat{50};
constexpr milliseconds kSelectRepeat{500};
constexpr ReplyTiming kSlowTiming{milliseconds(200), milliseconds(245)};
constexpr ReplyTiming kFastTiming{milliseconds(25), milliseconds(25)};

constexpr std::array kHoldKeys{
    HoldKey{"Command1", 1, "C09", kSlowRepeat, kSlowTiming},         // VOL +
    HoldKey{"Command2", 2, "C0A", kSlowRepeat, kSlowTiming},         // VOL -
    HoldKey{"Command5", 3, "C3C", {}, {}},                           // up
    HoldKey{"Command7", 4, "C3D", {}, {}},                           // down
    HoldKey{"Command9", 5, "C3B", {}, {}},                           // left
    HoldKey{"Command8", 6, "C3A", {}, {}},                           // right
    HoldKey{"Command15", 7, "C20", kFastRepeat, kFastTiming},        // Brightness +
    HoldKey{"Command35", 8, "C21", kFastRepeat, kFastTiming},        // Brightness -
    HoldKey{"Command36", 9, "C4B", kFastRepeat, kFastTiming},        // Focus +
    HoldKey{"Command37", 10, "C4A", kFastRepeat, kFastTiming},       // Focus -
    HoldKey{"Command6", 13, "C3F", kSelectRepeat, kSlowTiming},      // SELECT
    HoldKey{"Command48", 17, "C30", kSlowRepeat, kSlowTiming, true}, // D.Zoom +
    HoldKey{"Command49", 18, "C31", kSlowRepeat, kSlowTiming, true}, // D.Zoom -
    HoldKey{"Command50", 19, "C8E", kSlowRepeat, kSlowTiming},       // Keystone +
    HoldKey{"Command51", 20, "C8F", kSlowRepeat, kSlowTiming},       // Keystone -
    HoldKey{"Command43", 25, "C47", kFastRepeat, kFastTiming},       // Zoom +
    HoldKey{"Command68", 26, "C46", kFastRepeat, kFastTiming},       // Zoom -
};

} // namespace

std::span<const OneShotSender> oneShotSenders() {
    return kOneShotSenders;
}

std::span<const HoldKey> holdKeys() {
    return kHoldKeys;
}

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
