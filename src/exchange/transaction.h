#pragma once
// One frame's exchange run to its end, for callers that wait for an answer
// (the command line, the network bridge). Begin, then send through the
// exchange as usual; finished() comes once: as soon as the reply is whole (a
// lone ACK or NAK, or text ending in a carriage return), else when the
// exchange's reply timer ends the collection, or at once when the frame could
// not go out or the device was lost. A reply that ended early is taken out of
// the reply buffer, so the next frame's reply starts in an empty one.

#include "exchange/exchange.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QObject>
#include <QString>

#include <optional>

namespace tavo::link {

inline constexpr char kAck = 6;
inline constexpr char kNak = 21;

enum class Outcome {
    Acknowledged, // a lone ACK
    Refused,      // a lone NAK
    Replied,      // any other reply (a status reply, or whatever came)
    NoReply,      // nothing within the reply timeout
    PortFailed,   // the port is closed, refused the frame, or the device was lost
};

struct ExchangeResult {
    QByteArray frame;
    QString sentTrace;
    QByteArray reply;
    QString receivedTrace; // as the received trace shows it: the reply, or the timeout mark
    std::optional<QString> status; // the decoded status line, when the decoder gave one
    Outcome outcome = Outcome::NoReply;
    QString failure; // why the port failed
    qint64 elapsedMs = 0;
};

// A lone ACK or NAK, or anything ending in a carriage return.
bool isWholeReply(QByteArrayView reply);
Outcome outcomeOf(QByteArrayView reply);

class Transaction final : public QObject {
    Q_OBJECT
public:
    explicit Transaction(Exchange& exchange, QObject* parent = nullptr);

    // Starts watching the exchange; send the frame right after. Whatever came
    // in since the last reply (a late answer, noise) is dropped first: it is
    // not this frame's reply.
    void begin();
    bool isRunning() const { return running_; }

Q_SIGNALS:
    void finished(const tavo::link::ExchangeResult& result);

private:
    void onReplyReceived();
    void finish(Outcome outcome, const QByteArray& reply, const QString& failure = {});

    Exchange& exchange_;
    QElapsedTimer clock_;
    bool running_ = false;
};

} // namespace tavo::link
