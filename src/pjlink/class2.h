#pragma once
// What PJLink Class 2 adds to the Class 1 table for this projector, as rows of
// the same kind: input names, freeze and speaker volume, and the standard's
// answers for what the projector does not report. A "%2" request resolves
// against these rows first, then against the Class 1 rows, which answer
// alike on both headers.
//
// Answers that need the projector's state read the typed readings of the
// status replies (status::readingOf), never the panel's texts.

#include "pjlink/mapping.h"

#include <QByteArrayView>

#include <span>
#include <string_view>

namespace tavo::pjlink {

// The rows only a "%2" request reaches.
std::span<const Mapping> class2Mappings();

// Why a Class 2 command the projector lacks (MVOL: no microphone) answers
// ERR1 like any unknown command, for the log; empty for any other command.
std::string_view missingFunction(QByteArrayView command);

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

} // namespace tavo::pjlink
