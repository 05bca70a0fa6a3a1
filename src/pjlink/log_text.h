#pragma once
// Texts for the bridge's log: bytes with their control characters named (see
// link/printable.h), so that whatever a client or the projector sent fits on
// one line, and durations.

#include "exchange/printable.h"

#include <QString>

namespace tavo::pjlink {

using link::printable;

// Nanoseconds as milliseconds with two decimals: "12.34 ms".
QString durationText(qint64 nanoseconds);

} // namespace tavo::pjlink
