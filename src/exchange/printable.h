#pragma once
// Bytes from the line or the network as one line of log text: printable
// ASCII as it is, CR, LF, ACK and NAK by name, any other byte by its code, so
// that whatever arrived can neither break a log line nor hide in it.

#include <QByteArrayView>
#include <QString>

namespace tavo::link {

// "00<CR>", "<ACK>", "<0x8F>".
QString printable(QByteArrayView bytes);

} // namespace tavo::link
