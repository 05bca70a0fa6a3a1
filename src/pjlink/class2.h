#pragma once
// What PJLink Class 2 adds to the Class 1 table for this projector, as rows of
// the same kind: input names, freeze and speaker volume, and the functions
// the projector lacks. A "%2" request resolves against these rows first,
// then against the Class 1 rows, which answer alike on both headers.
//
// Answers that need the projector's state read the typed readings of the
// status replies (status::readingOf), never the panel's texts.

#include "commands/senders.h"
#include "pjlink/mapping.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <span>
#include <string_view>

namespace tavo::pjlink {

// The rows only a "%2" request reaches.
std::span<const Mapping> class2Mappings();

// A Class 2 function the projector does not have: its command answers ERR1,
// as the standard has it for a missing function, whatever the parameter.
struct AbsentFunction {
    std::string_view command;
    std::string_view why; // for the log
};
std::span<const AbsentFunction> absentFunctions();
const AbsentFunction* absentFunction(QByteArrayView command);

// A hold key of the panel pressed once, as a one-shot sender (speaker volume
// is a hold key there); nullptr when no hold key has that control name.
const commands::OneShotSender* singlePress(std::string_view control);

// FREZ ?: the projector has no freeze query, so the answer is the freeze this
// bridge last set through FREZ 1 or 0 while the projector stayed on: 0 after
// the bridge starts, and 0 again once any power query reads the projector as
// not on (a freeze ends with the picture). A freeze set from the remote
// control or the keypad is not seen.
class FreezeMemory {
public:
    // After a request was served, whether or not it went through.
    void note(const Mapping& mapping, bool wentThrough, const Readings& readings);
    bool frozen() const { return frozen_; }

private:
    bool frozen_ = false;
};

// The result of a Class 2 row's answer (InputName, FreezeState, Unreported) once its
// steps went through.
QByteArray class2Result(const Mapping& mapping, const Readings& readings, bool frozen);

} // namespace tavo::pjlink
