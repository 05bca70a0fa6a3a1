#include "link/exchange.h"

#include "link/frame.h"
#include "link/trace.h"
#include "status/decoder.h"

#include <QTimer>

namespace tavo::link {

namespace {

QTimer* makeTimer(QObject* parent, const char* name, milliseconds interval) {
    auto* timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(interval);
    return timer;
}

} // namespace

Exchange::Exchange(std::unique_ptr<SerialLink> port, QObject* parent)
    : QObject(parent), port_(std::move(port)),
      Timer2(makeTimer(this, "Timer2", kStartTiming.replyTimeout)),
      Timer4(makeTimer(this, "Timer4", kStartTiming.traceClear)) {
    connect(port_.get(), &SerialLink::charactersReceived, this, &Exchange::onCharactersReceived);
    connect(Timer2, &QTimer::timeout, this, &Exchange::onReplyTimeout);
    connect(Timer4, &QTimer::timeout, this, &Exchange::onTraceClear);
}

Exchange::~Exchange() = default;

void Exchange::reset() {
    commandPrefix_.clear();
    awaitingReply_ = 0;
    reply_.clear();
}

void Exchange::send(QByteArrayView code) {
    lastFrameSent_ = buildFrame(commandPrefix_, code);
    sendFrame(lastFrameSent_);
}

void Exchange::sendFrame(const QByteArray& frame) {
    if (port_->isOpen())
        port_->write(frame);
    else
        Q_EMIT sentWhilePortClosed();
    Q_EMIT sentTraceChanged(traceLine(frame));
    Timer2->start();
    awaitingReply_ = 1;
    Timer4->start();
}

void Exchange::showReceived(const QByteArray& data) { showReplyTrace(traceLine(data)); }

void Exchange::showReplyTrace(const QString& trace) {
    Q_EMIT receivedTraceChanged(trace);
    if (const auto status = status::decodeStatus(lastFrameSent_, commandPrefix_, trace))
        Q_EMIT statusTextChanged(*status);
}

void Exchange::onCharactersReceived() {
    reply_.append(port_->readAll());
    awaitingReply_ = 0;
    // The buffer's trace is kept up to date piece by piece.
    showReplyTrace(reply_.trace());
    Q_EMIT replyReceived();
}

void Exchange::onReplyTimeout() {
    const bool timedOut = awaitingReply_ == 1;
    if (timedOut)
        Q_EMIT receivedTraceChanged(kTimeoutMark);
    Timer2->stop();
    const QByteArray reply = reply_.bytes();
    reply_.clear();
    awaitingReply_ = 0;
    Q_EMIT replyEnded(reply, timedOut);
}

void Exchange::onTraceClear() {
    // When both fall due together the reply timer goes first, so the timeout
    // mark is never left on show after the blanking.
    if (Timer2->isActive() && Timer2->remainingTime() == 0)
        onReplyTimeout();
    Q_EMIT sentTraceChanged(QString());
    Q_EMIT receivedTraceChanged(QString());
    Q_EMIT statusTextChanged(QString());
    Timer4->stop();
}

void Exchange::setReplyTiming(const ReplyTiming& timing) {
    Timer2->setInterval(timing.replyTimeout);
    Timer4->setInterval(timing.traceClear);
}

ReplyTiming Exchange::replyTiming() const {
    return {Timer2->intervalAsDuration(), Timer4->intervalAsDuration()};
}

void Exchange::release() {
    Timer2->stop();
    Timer4->start();
    Q_EMIT sentTraceChanged(QString());
    Q_EMIT receivedTraceChanged(QString());
    setReplyTiming(kStartTiming);
    reply_.clear();
}

void Exchange::endReply() {
    Timer2->stop();
    reply_.clear();
    awaitingReply_ = 0;
}

} // namespace tavo::link
