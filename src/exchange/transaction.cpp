#include "exchange/transaction.h"

#include "exchange/trace.h"
#include "status/decoder.h"

namespace tavo::link {

bool isWholeReply(QByteArrayView reply) {
    // Bytes that come after the answer in the same piece (line noise) do not
    // hold it back; the caller sees them in the reply.
    if (!reply.isEmpty() && (reply.front() == kAck || reply.front() == kNak))
        return true;
    return reply.contains('\r');
}

Outcome outcomeOf(QByteArrayView reply) {
    if (reply.size() == 1 && reply.front() == kAck)
        return Outcome::Acknowledged;
    if (reply.size() == 1 && reply.front() == kNak)
        return Outcome::Refused;
    return reply.isEmpty() ? Outcome::NoReply : Outcome::Replied;
}

Transaction::Transaction(Exchange& exchange, QObject* parent)
    : QObject(parent), exchange_(exchange), quiet_(this) {
    quiet_.setObjectName(QStringLiteral("settle"));
    quiet_.setSingleShot(true);
    quiet_.setTimerType(Qt::PreciseTimer);
    quiet_.setInterval(kSettleTime);
    connect(&quiet_, &QTimer::timeout, this, &Transaction::onSettled);
    connect(&exchange_, &Exchange::replyReceived, this, &Transaction::onReplyReceived);
    connect(&exchange_, &Exchange::replyEnded, this,
            [this](const QByteArray& reply, bool timedOut) {
                if (running_)
                    finish(timedOut ? Outcome::NoReply : outcomeOf(reply), reply);
            });
    connect(&exchange_, &Exchange::sentWhilePortClosed, this, [this] {
        sent_ = false;
        if (running_)
            finish(Outcome::PortFailed, {}, exchange_.port().errorDescription());
    });
    connect(&exchange_, &Exchange::frameRefused, this, [this](const QString& why) {
        sent_ = false;
        if (running_)
            finish(Outcome::PortFailed, {}, why);
    });
    connect(&exchange_.port(), &SerialLink::deviceLost, this, [this](const QString& why) {
        if (running_)
            finish(Outcome::PortFailed, {}, why);
        else if (pending_)
            failPending(why);
    });
}

void Transaction::begin(ReplyCheck fits) {
    exchange_.endReply();
    fits_ = std::move(fits);
    running_ = true;
    begun_ = true;
    unsettled_ = false;
    sent_ = exchange_.port().isOpen();
    clock_.start();
}

void Transaction::run(std::function<void()> send, ReplyCheck fits) {
    if (!unsettled_ || !exchange_.port().isOpen()) {
        begin(std::move(fits));
        send();
        return;
    }
    pending_ = std::move(send);
    fits_ = std::move(fits);
    exchange_.endReply();
    settling_.start();
    quiet_.start();
}

void Transaction::onSettled() {
    auto send = std::move(pending_);
    pending_ = nullptr;
    if (!send)
        return;
    begin(std::move(fits_));
    send();
}

void Transaction::failPending(const QString& failure) {
    quiet_.stop();
    pending_ = nullptr;
    begun_ = false;
    clock_.start();
    sent_ = false;
    finish(Outcome::PortFailed, {}, failure);
}

void Transaction::onReplyReceived() {
    if (!running_) {
        if (exchange_.replyBuffer().isEmpty())
            return;
        // Nobody's reply: the next frame waits for the line to go quiet,
        // and what came is dropped before it goes out.
        unsettled_ = true;
        if (pending_) {
            exchange_.endReply();
            if (settling_.elapsed() < kMaxSettle.count())
                quiet_.start();
        }
        return;
    }
    if (!isWholeReply(exchange_.replyBuffer()))
        return;
    const QByteArray reply = exchange_.replyBuffer();
    exchange_.endReply();
    const Outcome outcome = outcomeOf(reply);
    const bool fits = outcome != Outcome::Replied || !fits_ || fits_(reply);
    finish(fits ? outcome : Outcome::Malformed, reply);
}

void Transaction::finish(Outcome outcome, const QByteArray& reply, const QString& failure) {
    running_ = false;
    if (outcome == Outcome::NoReply || outcome == Outcome::Malformed)
        unsettled_ = true;
    ExchangeResult result;
    result.frame = begun_ ? exchange_.lastFrameSent() : QByteArray();
    result.sent = sent_;
    result.sentTrace = traceLine(result.frame);
    result.reply = reply;
    result.outcome = outcome;
    result.failure = failure;
    if (outcome == Outcome::NoReply) {
        result.receivedTrace = kTimeoutMark;
    } else if (outcome != Outcome::PortFailed) {
        result.receivedTrace = traceLine(reply);
        result.status =
            status::decodeStatus(result.frame, exchange_.commandPrefix(), result.receivedTrace);
    }
    result.elapsedMs = clock_.elapsed();
    Q_EMIT finished(result);
}

} // namespace tavo::link
