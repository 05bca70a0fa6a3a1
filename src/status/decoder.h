#pragma once
// The status decoder turns the trace line of a reply to one of nine status
// queries into the text of the status line. It keys on the last frame sent,
// never on the reply itself, and reads fixed character positions of the trace
// line (reply character k stands at trace position 2k while the reply is
// printable). It is pure: the caller writes the text, when there is one.

#include <QByteArray>
#include <QString>

#include <optional>

namespace tavo::status {

// The text for the status line, or nothing when the last frame sent is no
// status query or the reply head matches no code of the query's table.
std::optional<QString> decodeStatus(const QByteArray& lastFrameSent, const QByteArray& commandPrefix,
                                    const QString& traceLine);

} // namespace tavo::status
