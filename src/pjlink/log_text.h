#pragma once
// Texts for the bridge's log: bytes with their control characters named (see
// link/printable.h), so that whatever a client or the projector sent fits on
// one line, and durations.

#include "link/printable.h"

#include <QByteArrayView>
#include <QString>

namespace tavo::pjlink {

using link::printable;

// Bytes from the network in double quotes, escaped as in C: printable ASCII
// as it is, except the double quote and the backslash (escaped by a
// backslash), \r, \n and \xHH for any other byte, so that no client can
// close the quotes or forge a log line.
QString escapedQuoted(QByteArrayView bytes);

// Nanoseconds as milliseconds with two decimals: "12.34 ms".
QString durationText(qint64 nanoseconds);

} // namespace tavo::pjlink
