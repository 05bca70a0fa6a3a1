#pragma once
// The exchange with the projector, without widgets: the window, the command
// line and the network bridge all talk to the projector through one of these.
//
// A send writes the frame at once (nothing is queued), shows its trace,
// starts the reply timer Timer2 and the trace-clearing timer Timer4 and sets
// the awaiting-reply flag. A frame the open port refuses (earlier output still
// waiting) is not on the line, so none of that happens: frameRefused() says
// so. Every received piece is appended to the reply buffer, clears the flag,
// shows the buffer's trace and decodes that very trace. Timer2's tick marks a
// reply that never began (" X X X X") and empties the buffer; Timer4's tick
// blanks the traces and the status line. What to show is signalled; the
// exchange draws nothing.
//
// A piece costs time in proportion to its own bytes, not to the buffer: while
// the received line shows the buffer's trace, only the piece's tokens are
// signalled, and the status decoder looks at no more than the piece when the
// piece cannot change its text (the status line grows by the tokens when it
// copies the trace).

#include "exchange/reply_capture.h"
#include "link/serial_link.h"
#include "status/decoder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QStringView>

#include <chrono>
#include <memory>

class QTimer;

namespace tavo::link {

using std::chrono::milliseconds;

// The reply timeout (Timer2) and trace clearing (Timer4) intervals, set in pairs.
struct ReplyTiming {
    milliseconds replyTimeout;
    milliseconds traceClear;
    friend bool operator==(const ReplyTiming&, const ReplyTiming&) = default;
};

// The intervals at start, which a hold-key release restores.
inline constexpr ReplyTiming kStartTiming{milliseconds(500), milliseconds(1000)};

inline const QString kTimeoutMark = QStringLiteral(" X X X X");

class Exchange final : public QObject {
    Q_OBJECT
public:
    explicit Exchange(std::unique_ptr<SerialLink> port, QObject* parent = nullptr);
    ~Exchange() override;

    SerialLink& port() const { return *port_; }

    // The state at start: empty command prefix, no reply awaited, empty buffer.
    void reset();

    // Builds the frame (command prefix, code, carriage return), stores it as
    // the last frame sent and sends it.
    void send(QByteArrayView code);
    // Writes a frame (when the port is open), shows its trace, starts Timer2,
    // sets the awaiting-reply flag and starts Timer4; only frameRefused() when
    // the open port refuses it.
    void sendFrame(const QByteArray& frame);
    // Shows bytes as the received trace and decodes that trace.
    void showReceived(const QByteArray& data);

    // Interval changes restart a running timer and never start a stopped one.
    void setReplyTiming(const ReplyTiming& timing);
    ReplyTiming replyTiming() const;

    // What the release of a hold key does: the reply timer stops, the
    // clearing timer starts over, both traces blank, the start timing comes
    // back and the buffer empties. The awaiting-reply flag stays.
    void release();

    // Ends the reply being collected without a timeout mark: the reply timer
    // stops and the buffer empties. For callers that know the reply is whole.
    void endReply();

    const QByteArray& commandPrefix() const { return commandPrefix_; }
    const QByteArray& lastFrameSent() const { return lastFrameSent_; }
    const QByteArray& replyBuffer() const { return reply_.bytes(); }
    const QString& replyTrace() const { return reply_.trace(); }
    bool awaitingReply() const { return awaitingReply_; }
    QTimer& replyTimer() const { return *Timer2; }
    QTimer& clearTimer() const { return *Timer4; }

Q_SIGNALS:
    // What the three display lines show now; an empty text blanks the line.
    void sentTraceChanged(const QString& trace);
    void receivedTraceChanged(const QString& trace);
    void statusTextChanged(const QString& text);
    // What to append to the received line or the status line, which show
    // what the signals before left there.
    void receivedTraceAppended(QStringView tokens);
    void statusTextAppended(QStringView tokens);

    // A frame was to go out while the port is closed; nothing was written.
    void sentWhilePortClosed();
    // The open port refused a frame: it is not shown as sent, no reply is awaited.
    void frameRefused(const QString& why);
    // A piece of a reply arrived and was shown and decoded.
    void replyReceived();
    // Timer2 ended the collection of a reply: the bytes collected since the
    // buffer was last emptied, or nothing and timedOut when no byte came.
    void replyEnded(const QByteArray& reply, bool timedOut);

private:
    void onCharactersReceived();
    void onReplyTimeout();
    void onTraceClear();
    void showPiece(qsizetype tokensFrom);
    void emptyBuffer();
    void forgetShownLines();

    std::unique_ptr<SerialLink> port_;
    QTimer* Timer2;
    QTimer* Timer4;
    QByteArray commandPrefix_;
    QByteArray lastFrameSent_;
    ReplyCapture reply_;
    bool awaitingReply_ = false;
    // The received line shows the buffer's trace, as the last piece left it.
    bool receivedTraceShown_ = false;
    status::StatusDecoder decoder_;
};

} // namespace tavo::link
