#pragma once
// What each sending control sends, as tables: the 60 one-shot senders (54
// buttons and 6 heading labels) with their timing class, and the 17 hold keys
// with the repeat and reply intervals their press sets.

#include "exchange/exchange.h"

#include <chrono>
#include <optional>
#include <span>
#include <string_view>

namespace tavo::commands {

using link::ReplyTiming;
using std::chrono::milliseconds;

// What happens around the send step of a one-shot sender.
enum class TimingClass {
    Plain,         // nothing
    PicturePreset, // reply timer 2000 / trace clearing 2500, before sending
    TerminalSetup, // 5000 / 5500, before sending
    MenuContext,   // repeat timer 200 and arrow mode 1, after sending
};

struct OneShotSender {
    std::string_view control;
    std::string_view code;
    TimingClass timing;
};

std::span<const OneShotSender> oneShotSenders();

struct HoldKey {
    std::string_view control;
    unsigned char number; // the held-key number
    std::string_view code;
    // Empty for the arrow keys: they repeat at whatever Timer1 holds and take
    // their reply timing from the arrow mode.
    std::optional<milliseconds> repeat;
    std::optional<ReplyTiming> timing;
    bool isDigitalZoom = false;
};

std::span<const HoldKey> holdKeys();

// The repeat interval at start.
inline constexpr milliseconds kStartRepeat{200};
inline constexpr ReplyTiming kPicturePresetTiming{milliseconds(2000), milliseconds(2500)};
inline constexpr ReplyTiming kTerminalSetupTiming{milliseconds(5000), milliseconds(5500)};
inline constexpr milliseconds kMenuContextRepeat{200};
inline constexpr ReplyTiming kArrowMode1Timing{milliseconds(150), milliseconds(190)};
inline constexpr ReplyTiming kArrowMode3Timing{milliseconds(5), milliseconds(5)};
inline constexpr milliseconds kDigitalZoomReleaseRepeat{5};

// Arrow modes: 0 at start, 1 after a menu context click, 3 after a D.Zoom release.
inline constexpr unsigned char kArrowModeMenu = 1;
inline constexpr unsigned char kArrowModeDigitalZoom = 3;

std::optional<ReplyTiming> arrowTiming(unsigned char arrowMode);

} // namespace tavo::commands
