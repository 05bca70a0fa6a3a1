#pragma once
// A command frame is the command prefix, the command code and one carriage
// return, one byte per character: no length, checksum, address or line feed.

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

namespace tavo::link {

inline constexpr char kFrameTerminator = '\r';
// The projector's one-byte replies to a command: taken, or refused.
inline constexpr char kAck = 6;
inline constexpr char kNak = 21;

QByteArray buildFrame(QByteArrayView prefix, QByteArrayView code);

// Typed text as bytes, one byte per character; a character that no single byte
// can hold becomes '?'.
QByteArray textToBytes(QStringView text);

} // namespace tavo::link
