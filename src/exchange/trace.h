#pragma once
// The trace line: the display form of a frame or of the reply buffer. One
// space, then one token per byte: ACK -> "ACK ", 20 -> "&" (no space), CR ->
// "CR ", LF -> "LF ", other controls -> "? ", 32..122 -> the character and a
// space, anything above 122 -> "? ". The status decoder relies on reply byte k
// standing at trace position 2k while the reply is printable.

#include <QByteArrayView>
#include <QString>

namespace tavo::link {

QString traceLine(QByteArrayView bytes);

// Appends the tokens of bytes to a trace line already begun (no leading space).
void appendTraceTokens(QString& line, QByteArrayView bytes);

} // namespace tavo::link
