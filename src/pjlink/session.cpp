#include "pjlink/session.h"

#include "pjlink/authentication.h"
#include "pjlink/protocol.h"

#include <QTcpSocket>

namespace tavo::pjlink {

namespace {

// Bytes Qt may hold for the socket before it stops reading from the system.
constexpr qint64 kSocketReadBuffer = 4096;

// A request after the first that still carries a digest (some clients send
// one with every request): 32 bytes, then the request's header.
bool carriesDigest(QByteArrayView line) {
    return line.size() > kDigestLength && line.front() != '%' && line[kDigestLength] == '%';
}

} // namespace

Session::Session(QTcpSocket* socket, const Settings& settings, RequestHandler onRequest,
                 QObject* parent)
    : QObject(parent), socket_(socket), onRequest_(std::move(onRequest)),
      peer_(QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort())),
      idleTimeout_(settings.idleTimeout), maxUnanswered_(settings.maxUnanswered) {
    socket_->setParent(this);
    socket_->setReadBufferSize(kSocketReadBuffer);
    idle_.setSingleShot(true);
    idle_.setInterval(idleTimeout_);
    connect(&idle_, &QTimer::timeout, this,
            [this] { closeFor(QStringLiteral("idle for %1 ms").arg(idleTimeout_.count())); });
    connect(socket_, &QTcpSocket::readyRead, this, &Session::readInput);
    connect(socket_, &QTcpSocket::disconnected, this, &Session::closed);

    if (settings.password) {
        const QByteArray challenge = makeChallenge();
        expectedDigest_ = digestOf(challenge, *settings.password);
        socket_->write(greetingWithChallenge(challenge));
    } else {
        socket_->write(kGreetingOpen);
    }
    idle_.start();
}

qsizetype Session::maxLineLength() const {
    return kMaxRequestLength + (expectedDigest_.isEmpty() ? 0 : kDigestLength);
}

void Session::readInput() {
    while (!closing_) {
        if (qsizetype(unanswered_.size()) >= maxUnanswered_) {
            readBlocked_ = true;
            return;
        }
        const LineScan scan = scanLine(inbox_, maxLineLength());
        if (scan.result == LineScan::Result::TooLong) {
            closeFor(QStringLiteral("line longer than %1 bytes").arg(maxLineLength()));
            return;
        }
        if (scan.result == LineScan::Result::Line) {
            QByteArray line = scan.line.toByteArray();
            inbox_.remove(0, scan.consumed);
            handleLine(std::move(line));
            continue;
        }
        inbox_.remove(0, scan.consumed);
        const QByteArray more = socket_->read(maxLineLength() - inbox_.size());
        if (more.isEmpty())
            return;
        inbox_.append(more);
    }
}

void Session::handleLine(QByteArray line) {
    if (line.isEmpty())
        return;
    idle_.start();
    if (!authenticate(line))
        return;
    if (line.size() + 1 > kMaxRequestLength) {
        closeFor(QStringLiteral("request longer than %1 bytes").arg(kMaxRequestLength));
        return;
    }
    const quint64 id = nextId_++;
    unanswered_.push_back(Slot{id, {}, false});
    onRequest_(*this, id, line);
}

bool Session::authenticate(QByteArray& line) {
    if (expectedDigest_.isEmpty())
        return true;
    if (authenticated_ && !carriesDigest(line))
        return true;
    if (line.size() < kDigestLength) {
        refuse(QStringLiteral("no digest"));
        return false;
    }
    if (!digestsEqual(QByteArrayView(line).first(kDigestLength), expectedDigest_)) {
        refuse(QStringLiteral("wrong digest"));
        return false;
    }
    authenticated_ = true;
    line.remove(0, kDigestLength);
    return true;
}

void Session::refuse(const QString& why) {
    Q_EMIT logLine(
        QStringLiteral("%1 authentication failed (%2): PJLINK ERRA, closing").arg(peer_, why));
    closing_ = true;
    closeWhenDone_ = true;
    unanswered_.push_back(Slot{nextId_++, kAuthenticationError, true});
    flush();
}

void Session::answer(quint64 id, const QByteArray& answer) {
    for (Slot& slot : unanswered_) {
        if (slot.id == id) {
            slot.answer = answer;
            slot.ready = true;
            break;
        }
    }
    flush();
}

void Session::flush() {
    bool wrote = false;
    while (!unanswered_.empty() && unanswered_.front().ready) {
        if (socket_->state() == QAbstractSocket::ConnectedState)
            socket_->write(unanswered_.front().answer);
        unanswered_.pop_front();
        wrote = true;
    }
    if (wrote && !closing_)
        idle_.start();
    if (closeWhenDone_ && unanswered_.empty()) {
        socket_->disconnectFromHost();
        return;
    }
    // Reading stopped for want of room: go on from the event loop, not from
    // inside an answer.
    if (readBlocked_ && qsizetype(unanswered_.size()) < maxUnanswered_) {
        readBlocked_ = false;
        QMetaObject::invokeMethod(this, &Session::readInput, Qt::QueuedConnection);
    }
}

void Session::closeFor(const QString& why) {
    Q_EMIT logLine(QStringLiteral("%1 closed: %2").arg(peer_, why));
    closing_ = true;
    idle_.stop();
    socket_->disconnectFromHost();
}

} // namespace tavo::pjlink
