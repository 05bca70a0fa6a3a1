#include "pjlink/class2.h"

#include <algorithm>
#include <array>

namespace tavo::pjlink {

namespace {

using enum Answer;

// INNM takes the input's number after the question mark; the names are the
// panel's input texts. The standard answers no text for a serial number,
// software version or replacement part a projector does not report, and 0
// hours for a filter whose time it does not count.
constexpr std::array kClass2Mappings{
    Mapping{.command = "INNM", .parameter = "?11", .answer = Fixed, .text = "Computer 1"},
    Mapping{.command = "INNM", .parameter = "?12", .answer = Fixed, .text = "Computer 2"},
    Mapping{.command = "INNM", .parameter = "?21", .answer = Fixed, .text = "Video"},
    Mapping{"FREZ", "1", Ok, Gate::On, {"Command25"}}, // FREEZE ON
    Mapping{"FREZ", "0", Ok, Gate::On, {"Command26"}}, // FREEZE OFF
    Mapping{"FREZ", kQuery, FreezeState},
    Mapping{"SVOL", "1", Ok, Gate::On, {"Command1"}}, // VOL + (a hold key, pressed once)
    Mapping{"SVOL", "0", Ok, Gate::On, {"Command2"}}, // VOL -
    Mapping{.command = "SNUM", .parameter = kQuery, .answer = Fixed},
    Mapping{.command = "SVER", .parameter = kQuery, .answer = Fixed},
    Mapping{.command = "FILT", .parameter = kQuery, .answer = Fixed, .text = "0"},
    Mapping{.command = "RLMP", .parameter = kQuery, .answer = Fixed},
    Mapping{.command = "RFIL", .parameter = kQuery, .answer = Fixed},
};

// Class 2 functions the projector does not have: the status queries report
// no resolution, and there is no microphone.
struct MissingFunction {
    std::string_view command;
    std::string_view why;
};
constexpr std::array kMissingFunctions{
    MissingFunction{"MVOL", "no microphone on this projector"},
    MissingFunction{"IRES", "the projector does not report the input resolution"},
    MissingFunction{"RRES", "the projector does not report a recommended resolution"},
};

} // namespace

std::span<const Mapping> class2Mappings() {
    return kClass2Mappings;
}

std::string_view missingFunction(QByteArrayView command) {
    const auto found = std::ranges::find_if(kMissingFunctions, [&](const MissingFunction& f) {
        return QByteArrayView(f.command) == command;
    });
    return found == kMissingFunctions.end() ? std::string_view() : found->why;
}

void FreezeMemory::note(const Mapping& mapping, bool wentThrough, const Readings& readings) {
    if (readings.contains(status::Reports::PowerState) && powerDigitOf(readings) != '1')
        frozen_ = false;
    if (wentThrough && mapping.command == "FREZ" && mapping.parameter != kQuery)
        frozen_ = mapping.parameter == "1";
}

} // namespace tavo::pjlink
