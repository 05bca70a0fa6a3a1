#include "pjlink/class2.h"

#include "commands/names.h"
#include "status/tables.h"

#include <algorithm>
#include <array>
#include <deque>
#include <mutex>

namespace tavo::pjlink {

namespace {

using enum Answer;
using status::Reports;

constexpr std::string_view kQuery = "?";

// INNM takes the input's number after the question mark.
constexpr std::array kClass2Mappings{
    Mapping{"INNM", "?11", InputName},
    Mapping{"INNM", "?12", InputName},
    Mapping{"INNM", "?21", InputName},
    Mapping{"FREZ", "1", Ok, Gate::On, {"Command25"}}, // FREEZE ON
    Mapping{"FREZ", "0", Ok, Gate::On, {"Command26"}}, // FREEZE OFF
    Mapping{"FREZ", kQuery, FreezeState},
    Mapping{"SVOL", "1", Ok, Gate::On, {"Command1"}}, // VOL +
    Mapping{"SVOL", "0", Ok, Gate::On, {"Command2"}}, // VOL -
    Mapping{"SNUM", kQuery, Unreported},
    Mapping{"SVER", kQuery, Unreported},
    Mapping{"FILT", kQuery, Unreported},
    Mapping{"RLMP", kQuery, Unreported},
    Mapping{"RFIL", kQuery, Unreported},
};

// The standard's answers for what a projector does not report: no text for a
// serial number, software version or replacement part, and 0 hours for a
// filter whose time it does not count.
struct UnreportedAnswer {
    std::string_view command;
    std::string_view result;
};
constexpr std::array kUnreported{
    UnreportedAnswer{"SNUM", ""}, UnreportedAnswer{"SVER", ""}, UnreportedAnswer{"FILT", "0"},
    UnreportedAnswer{"RLMP", ""}, UnreportedAnswer{"RFIL", ""},
};

// The status queries report power, input, mutes, lamp time, temperatures,
// pressure and settings; no resolution, and there is no microphone.
constexpr std::array kAbsentFunctions{
    AbsentFunction{"MVOL", "no microphone on this projector"},
    AbsentFunction{"IRES", "the projector does not report the input resolution"},
    AbsentFunction{"RRES", "the projector does not report a recommended resolution"},
};

// The names INNM answers, by input number, as the panel's input texts say.
struct NamedInput {
    std::string_view number;
    std::string_view name;
};
constexpr std::array kInputNames{
    NamedInput{"11", "Computer 1"},
    NamedInput{"12", "Computer 2"},
    NamedInput{"21", "Video"},
};

QByteArrayView bytes(std::string_view text) {
    return QByteArrayView(text.data(), qsizetype(text.size()));
}

} // namespace

std::span<const Mapping> class2Mappings() {
    return kClass2Mappings;
}

std::span<const AbsentFunction> absentFunctions() {
    return kAbsentFunctions;
}

const AbsentFunction* absentFunction(QByteArrayView command) {
    const auto found = std::ranges::find_if(
        kAbsentFunctions, [&](const AbsentFunction& f) { return bytes(f.command) == command; });
    return found == kAbsentFunctions.end() ? nullptr : &*found;
}

const commands::OneShotSender* singlePress(std::string_view control) {
    // Made once per hold key asked for, and kept: the senders are handed out
    // by pointer. A deque never moves what it holds.
    static std::mutex guard;
    static std::deque<commands::OneShotSender> made;
    const commands::HoldKey* key = commands::findHoldKey(control);
    if (!key)
        return nullptr;
    const std::lock_guard lock(guard);
    for (const commands::OneShotSender& sender : made) {
        if (sender.control == control)
            return &sender;
    }
    return &made.emplace_back(
        commands::OneShotSender{key->control, key->code, commands::TimingClass::Plain});
}

void FreezeMemory::note(const Mapping& mapping, bool wentThrough, const Readings& readings) {
    if (readings.contains(Reports::PowerState) && powerDigitOf(readings) != '1')
        frozen_ = false;
    if (wentThrough && mapping.command == "FREZ" && mapping.parameter != kQuery)
        frozen_ = mapping.parameter == "1";
}

QByteArray class2Result(const Mapping& mapping, const Readings& readings, bool frozen) {
    switch (mapping.answer) {
    case InputName: {
        const std::string_view number = mapping.parameter.substr(1);
        for (const auto& [input, name] : kInputNames) {
            if (input == number)
                return bytes(name).toByteArray();
        }
        break;
    }
    case FreezeState: {
        const auto digit = powerDigitOf(readings);
        if (!digit)
            return kProjectorFailure.toByteArray();
        return (*digit == '1' && frozen) ? "1" : "0";
    }
    case Unreported:
        for (const auto& [command, result] : kUnreported) {
            if (command == mapping.command)
                return bytes(result).toByteArray();
        }
        break;
    default:
        break;
    }
    return kProjectorFailure.toByteArray();
}

} // namespace tavo::pjlink
