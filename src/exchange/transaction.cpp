#include "exchange/transaction.h"

#include "exchange/trace.h"
#include "status/decoder.h"

namespace tavo::link {

bool isWholeReply(QByteArrayView reply) {
    if (reply.size() == 1 && (reply.front() == kAck || reply.front() == kNak))
        return true;
    return !reply.isEmpty() && reply.back() == '\r';
}

Outcome outcomeOf(QByteArrayView reply) {
    if (reply.size() == 1 && reply.front() == kAck)
        return Outcome::Acknowledged;
    if (reply.size() == 1 && reply.front() == kNak)
        return Outcome::Refused;
    return reply.isEmpty() ? Outcome::NoReply : Outcome::Replied;
}

Transaction::Transaction(Exchange& exchange, QObject* parent)
    : QObject(parent), exchange_(exchange) {
    connect(&exchange_, &Exchange::replyReceived, this, &Transaction::onReplyReceived);
    connect(&exchange_, &Exchange::replyEnded, this, [this](const QByteArray& reply, bool timedOut) {
        if (running_)
            finish(timedOut ? Outcome::NoReply : outcomeOf(reply), reply);
    });
    connect(&exchange_, &Exchange::sentWhilePortClosed, this, [this] {
        if (running_)
            finish(Outcome::PortFailed, {}, exchange_.port().errorDescription());
    });
    connect(&exchange_, &Exchange::frameRefused, this, [this](const QString& why) {
        if (running_)
            finish(Outcome::PortFailed, {}, why);
    });
    connect(&exchange_.port(), &SerialLink::deviceLost, this, [this](const QString& why) {
        if (running_)
            finish(Outcome::PortFailed, {}, why);
    });
}

void Transaction::begin() {
    exchange_.endReply();
    running_ = true;
    clock_.start();
}

void Transaction::onReplyReceived() {
    if (!running_ || !isWholeReply(exchange_.replyBuffer()))
        return;
    const QByteArray reply = exchange_.replyBuffer();
    exchange_.endReply();
    finish(outcomeOf(reply), reply);
}

void Transaction::finish(Outcome outcome, const QByteArray& reply, const QString& failure) {
    running_ = false;
    ExchangeResult result;
    result.frame = exchange_.lastFrameSent();
    result.sentTrace = traceLine(result.frame);
    result.reply = reply;
    result.outcome = outcome;
    result.failure = failure;
    if (outcome == Outcome::NoReply) {
        result.receivedTrace = kTimeoutMark;
    } else if (outcome != Outcome::PortFailed) {
        result.receivedTrace = traceLine(reply);
        result.status = status::decodeStatus(result.frame, exchange_.commandPrefix(),
                                             result.receivedTrace);
    }
    result.elapsedMs = clock_.elapsed();
    Q_EMIT finished(result);
}

} // namespace tavo::link
