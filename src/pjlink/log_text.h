#pragma once
// Texts for the bridge's log: bytes with their control characters named, so
// that whatever a client or the projector sent fits on one line.

#include <QByteArrayView>
#include <QString>

namespace tavo::pjlink {

// "%1POWR=1<CR>", "<ACK>", "<0x8F>": printable ASCII as is, the rest named.
QString printable(QByteArrayView bytes);

// Nanoseconds as milliseconds with two decimals: "12.34 ms".
QString durationText(qint64 nanoseconds);

} // namespace tavo::pjlink
