#pragma once
// One frame's exchange run to its end, for callers that wait for an answer
// (the command line, the network bridge). Begin, then send through the
// exchange as usual; finished() comes once: as soon as the reply is whole (it
// begins with ACK or NAK, or holds a carriage return), else when the
// exchange's reply timer ends the collection, or at once when the frame could
// not go out or the device was lost. A reply that ended early is taken out of
// the reply buffer, so the next frame's reply starts in an empty one.
//
// A reply can only be credited to the frame it answers when the line is
// quiet before the frame goes out. After a reply timeout, a reply that does
// not fit its frame, or bytes that came while no frame was out, the line is
// unsettled: run() then drains it until it has been quiet for kSettleTime
// (kMaxSettle at most, for a line that never goes quiet) before it sends.
// A whole text reply that the caller's check does not accept ends the
// exchange as Malformed: it is never read as a value.

#include "exchange/exchange.h"
#include "exchange/frame.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

namespace tavo::link {

inline constexpr std::chrono::milliseconds kSettleTime{300};
inline constexpr std::chrono::milliseconds kMaxSettle{3000};

enum class Outcome {
    Acknowledged, // a lone ACK
    Refused,      // a lone NAK
    Replied,      // any other reply (a status reply, or whatever came)
    Malformed,    // a whole text reply that does not fit the frame
    NoReply,      // nothing within the reply timeout
    PortFailed,   // the port is closed, refused the frame, or the device was lost
};

struct ExchangeResult {
    QByteArray frame;  // empty when it was never built (the device went while settling)
    bool sent = false; // the frame was written to the port
    QString sentTrace;
    QByteArray reply;
    QString receivedTrace;         // as the received trace shows it: the reply, or the timeout mark
    std::optional<QString> status; // the decoded status line, when the decoder gave one
    Outcome outcome = Outcome::NoReply;
    QString failure; // why the port failed
    qint64 elapsedMs = 0;
};

// Whether a whole text reply (not a lone ACK or NAK) can answer the frame.
using ReplyCheck = std::function<bool(QByteArrayView reply)>;

// Begins with ACK or NAK, or holds a carriage return.
bool isWholeReply(QByteArrayView reply);
Outcome outcomeOf(QByteArrayView reply);

class Transaction final : public QObject {
    Q_OBJECT
public:
    explicit Transaction(Exchange& exchange, QObject* parent = nullptr);

    // Starts watching the exchange; send the frame right after. Whatever came
    // in since the last reply (a late answer, noise) is dropped first: it is
    // not this frame's reply. Does not wait for an unsettled line.
    void begin(ReplyCheck fits = {});
    // Calls send (which sends one frame through the exchange) once the line
    // has settled, at once when it is settled already.
    void run(std::function<void()> send, ReplyCheck fits = {});
    bool isRunning() const { return running_; }
    bool isSettling() const { return bool(pending_); }

Q_SIGNALS:
    void finished(const tavo::link::ExchangeResult& result);

private:
    void onReplyReceived();
    void onSettled();
    void finish(Outcome outcome, const QByteArray& reply, const QString& failure = {});
    void failPending(const QString& failure);

    Exchange& exchange_;
    QElapsedTimer clock_;
    QElapsedTimer settling_;
    QTimer quiet_;
    std::function<void()> pending_; // the send waiting for the line to settle
    ReplyCheck fits_;
    bool running_ = false;
    bool unsettled_ = false;
    bool begun_ = false; // the running frame was built
    bool sent_ = false;  // and went out
};

} // namespace tavo::link
