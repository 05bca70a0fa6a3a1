#pragma once
// Bytes from the line or the network as one line of log text: printable
// ASCII as it is, CR, LF, ACK and NAK by name, any other byte by its code, so
// that whatever arrived can neither break a log line nor hide in it. The
// simulator's, the bridge's and the tests' logs all write bytes this way.

#include <QByteArrayView>
#include <QString>

namespace tavo::link {

// "00<CR>", "<ACK>", "<0x8F>".
QString printable(QByteArrayView bytes);

// The same in double quotes: "\"00<CR>\"".
QString quoted(QByteArrayView bytes);

// Bytes from the network in double quotes, escaped as in C: printable ASCII
// as it is, except the double quote and the backslash (escaped by a
// backslash), \r, \n and \xHH for any other byte, so that no client can
// close the quotes or forge a log line.
QString escapedQuoted(QByteArrayView bytes);

// Nanoseconds as milliseconds with two decimals: "12.34 ms".
QString durationText(qint64 nanoseconds);

} // namespace tavo::link
