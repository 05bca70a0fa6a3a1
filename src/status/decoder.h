#pragma once
// The status decoder turns the trace line of a reply to one of nine status
// queries into the text of the status line. It keys on the last frame sent,
// never on the reply itself, and reads fixed character positions of the trace
// line (reply character k stands at trace position 2k while the reply is
// printable). It is pure: the caller writes the text, when there is one.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

namespace tavo::status {

// The text for the status line, or nothing when the last frame sent is no
// status query or the reply head matches no code of the query's table.
std::optional<QString> decodeStatus(const QByteArray& lastFrameSent,
                                    const QByteArray& commandPrefix, const QString& traceLine);

struct StatusQuery;

// What one received piece changes in the status line.
struct StatusChange {
    enum class Kind {
        Keep,    // the line keeps what it shows
        Replace, // the line shows text
        Extend,  // the line's text grows by the trace line from extendFrom on
    };
    Kind kind = Kind::Keep;
    QString text;
    qsizetype extendFrom = 0;
};

// Decodes the trace line of a reply while it grows piece by piece, with the
// outcome of decodeStatus on the whole line after every piece, but at a cost
// that follows the piece rather than the line. Each call gets the whole line
// so far, which extends the line of the previous call unless restart() came
// between; the change it returns applies to a status line that shows what the
// previous calls left there.
//
// This holds because the rules look at the line's start only: the code
// tables, the lamp time and the sensors at fixed positions, the pressure at a
// number that ends at the first character that cannot continue it. Once
// those have arrived, a piece cannot change the outcome and is not looked
// at. The trace copy grows by the piece itself.
class StatusDecoder {
public:
    // The next call decodes its line whole. For a line that is not the
    // previous one extended, or a status line changed by someone else.
    void restart();

    StatusChange decode(const QByteArray& lastFrameSent, const QByteArray& commandPrefix,
                        const QString& traceLine);

private:
    enum class NumberKind { NotBegun, Decimal, Whole };

    StatusChange decodeWhole(const QString& traceLine);
    // Reads what the piece adds to the pressure's number; true when it may
    // change the number read.
    bool pieceMayChangeNumber(QStringView piece);

    QByteArray frame_;
    QByteArray prefix_;
    const StatusQuery* query_ = nullptr;
    qsizetype decodedLength_ = -1; // none since the last restart
    bool settled_ = false;         // later pieces cannot change the outcome
    NumberKind number_ = NumberKind::NotBegun;
};

} // namespace tavo::status
