#include "exchange/exchange.h"

#include "exchange/frame.h"
#include "exchange/trace.h"
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
    awaitingReply_ = false;
    emptyBuffer();
}

void Exchange::send(QByteArrayView code) {
    lastFrameSent_ = buildFrame(commandPrefix_, code);
    sendFrame(lastFrameSent_);
}

void Exchange::sendFrame(const QByteArray& frame) {
    if (!port_->isOpen()) {
        Q_EMIT sentWhilePortClosed();
    } else if (!port_->write(frame)) {
        Q_EMIT frameRefused(port_->errorDescription());
        return;
    }
    Q_EMIT sentTraceChanged(traceLine(frame));
    Timer2->start();
    awaitingReply_ = true;
    Timer4->start();
}

void Exchange::showReceived(const QByteArray& data) {
    const QString trace = traceLine(data);
    Q_EMIT receivedTraceChanged(trace);
    if (const auto status = status::decodeStatus(lastFrameSent_, commandPrefix_, trace))
        Q_EMIT statusTextChanged(*status);
    forgetShownLines();
}

void Exchange::onCharactersReceived() {
    const qsizetype tokensFrom = reply_.trace().size();
    reply_.append(port_->readAll());
    awaitingReply_ = false;
    showPiece(tokensFrom);
    Q_EMIT replyReceived();
}

// The buffer's trace is kept up to date piece by piece; the lines take the
// piece's tokens when they show what the pieces before left there, and are
// set whole otherwise.
void Exchange::showPiece(qsizetype tokensFrom) {
    const QString& trace = reply_.trace();
    if (!receivedTraceShown_) {
        Q_EMIT receivedTraceChanged(trace);
        receivedTraceShown_ = true;
    } else if (trace.size() > tokensFrom) {
        Q_EMIT receivedTraceAppended(QStringView(trace).sliced(tokensFrom));
    }
    const status::StatusChange change = decoder_.decode(lastFrameSent_, commandPrefix_, trace);
    switch (change.kind) {
    case status::StatusChange::Kind::Keep:
        break;
    case status::StatusChange::Kind::Replace:
        Q_EMIT statusTextChanged(change.text);
        break;
    case status::StatusChange::Kind::Extend:
        Q_EMIT statusTextAppended(QStringView(trace).sliced(change.extendFrom));
        break;
    }
}

void Exchange::emptyBuffer() {
    reply_.clear();
    forgetShownLines();
}

// The received line no longer shows the buffer's trace, nor the status line
// what the decoder left there: the next piece sets both whole.
void Exchange::forgetShownLines() {
    receivedTraceShown_ = false;
    decoder_.restart();
}

void Exchange::onReplyTimeout() {
    const bool timedOut = awaitingReply_;
    if (timedOut)
        Q_EMIT receivedTraceChanged(kTimeoutMark);
    Timer2->stop();
    const QByteArray reply = reply_.bytes();
    emptyBuffer();
    awaitingReply_ = false;
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
    forgetShownLines();
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
    emptyBuffer();
}

void Exchange::endReply() {
    Timer2->stop();
    emptyBuffer();
    awaitingReply_ = false;
}

} // namespace tavo::link
