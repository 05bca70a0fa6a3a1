#pragma once
// What the status line may show, for checks that drive the exchange with
// arbitrary input (the fuzz targets, the soak run): after a status query, a
// text of that query's code table, or a text of the form its rule makes of
// the received trace line. Written apart from the decoder, from the tables
// and the rules as documented, so that the two can disagree.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

namespace tavo::test {

// Empty when the decoder may show text for this trace line after this frame;
// otherwise why it may not.
QString statusTextProblem(const QByteArray& lastFrameSent, const QByteArray& commandPrefix,
                          QStringView traceLine, QStringView text);

// Every frame that a status query of the tables sends, with an empty prefix.
QList<QByteArray> statusQueryFrames();

} // namespace tavo::test
