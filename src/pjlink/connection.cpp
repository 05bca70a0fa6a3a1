#include "pjlink/connection.h"

#include "pjlink/authentication.h"
#include "pjlink/client_stream.h"
#include "pjlink/protocol.h"

#include <algorithm>
#include <cctype>

namespace tavo::pjlink {

namespace {

// Answers waiting for a client that does not read them: far more than
// unanswered requests can produce, so only a client that never reads
// reaches it.
constexpr qsizetype kMaxUnsent = 64 * 1024;

// A request after the first that still carries a digest (some clients send
// one with every request): 32 hex digits, then the request's header. Any
// other line is read as a request, and answered as one.
bool carriesDigest(QByteArrayView line) {
    return line.size() > kDigestLength && line[kDigestLength] == '%' &&
           std::all_of(line.begin(), line.begin() + kDigestLength,
                       [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

} // namespace

Connection::Connection(ClientStream* stream, const Settings& settings, RequestHandler onRequest,
                       QObject* parent)
    : QObject(parent), stream_(stream), onRequest_(std::move(onRequest)), guard_(settings.guard),
      idleTimeout_(settings.idleTimeout), firstRequestTimeout_(settings.firstRequestTimeout),
      maxUnanswered_(settings.maxUnanswered) {
    stream_->setParent(this);
    idle_.setSingleShot(true);
    idle_.setInterval(firstRequestTimeout_);
    connect(&idle_, &QTimer::timeout, this, [this] {
        closeFor(proven_
                     ? QStringLiteral("idle for %1 ms").arg(idleTimeout_.count())
                     : QStringLiteral("no request within %1 ms").arg(firstRequestTimeout_.count()));
    });
    connect(stream_, &ClientStream::readable, this, &Connection::readInput);
    connect(stream_, &ClientStream::closed, this, &Connection::closed);

    if (settings.password) {
        const QByteArray challenge = makeChallenge();
        expectedDigest_ = digestOf(challenge, *settings.password);
        stream_->write(greetingWithChallenge(challenge));
    } else {
        stream_->write(kGreetingOpen);
    }
    idle_.start();
}

const QString& Connection::peer() const {
    return stream_->peer();
}

const QHostAddress& Connection::address() const {
    return stream_->address();
}

void Connection::evict() {
    Q_EMIT logLine(LogKind::Connection,
                   QStringLiteral("%1 closed: no request yet, and a new connection needs the room")
                       .arg(peer()));
    closing_ = true;
    idle_.stop();
    stream_->abort();
}

bool Connection::isOpen() const {
    return stream_->isOpen();
}

qsizetype Connection::maxLineLength() const {
    return kMaxRequestLength + (expectedDigest_.isEmpty() ? 0 : kDigestLength);
}

void Connection::readInput() {
    readScheduled_ = false;
    int lines = 0;
    while (!closing_ && stream_->isOpen()) {
        if (lines == kLinesPerTurn) {
            yieldTurn();
            return;
        }
        if (qsizetype(unanswered_.size()) >= maxUnanswered_) {
            readBlocked_ = true;
            stream_->setReading(false);
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
            ++lines;
            continue;
        }
        inbox_.remove(0, scan.consumed);
        const QByteArray more = stream_->read(maxLineLength() - inbox_.size());
        if (more.isEmpty()) {
            if (stream_->inputEnded())
                finishInput();
            return;
        }
        inbox_.append(more);
    }
}

// Lines still waiting are read on a later turn of the event loop, after
// every other connection has had its own.
void Connection::yieldTurn() {
    if (readScheduled_)
        return;
    readScheduled_ = true;
    QMetaObject::invokeMethod(this, &Connection::readInput, Qt::QueuedConnection);
}

void Connection::handleLine(QByteArray line) {
    if (line.isEmpty())
        return;
    idle_.start();
    if (!authenticate(line))
        return;
    if (line.size() + 1 > kMaxRequestLength) {
        closeFor(QStringLiteral("request longer than %1 bytes").arg(kMaxRequestLength));
        return;
    }
    if (!proven_) {
        proven_ = true;
        idle_.setInterval(idleTimeout_);
    }
    const quint64 id = nextId_++;
    unanswered_.push_back(Slot{id, {}, false});
    onRequest_(*this, id, line);
}

bool Connection::authenticate(QByteArray& line) {
    if (expectedDigest_.isEmpty())
        return true;
    if (authenticated_ && !carriesDigest(line))
        return true;
    const auto digested = takeDigest(line);
    if (!digested) {
        refuse(QStringLiteral("no digest"));
        return false;
    }
    if (!digestsEqual(digested->digest, expectedDigest_)) {
        refuse(QStringLiteral("wrong digest"));
        return false;
    }
    authenticated_ = true;
    if (guard_)
        guard_->succeeded(address());
    line = digested->request.toByteArray();
    return true;
}

// The answer waits the longer the more digests from the address failed,
// so that guessing is slow; nothing more is read meanwhile.
void Connection::refuse(const QString& why) {
    const milliseconds delay =
        guard_ ? guard_->failed(address(), AuthGuard::Clock::now()) : milliseconds(0);
    Q_EMIT logLine(LogKind::Authentication,
                   QStringLiteral("%1 authentication failed (%2): PJLINK ERRA in %3 ms, closing")
                       .arg(peer(), why)
                       .arg(delay.count()));
    stopReading();
    closeWhenDone_ = true;
    const quint64 id = nextId_++;
    unanswered_.push_back(Slot{id, {}, false});
    QTimer::singleShot(delay, this, [this, id] { answer(id, kAuthenticationError); });
}

// The client sent all it will send; what it asked for is still answered.
void Connection::finishInput() {
    closing_ = true;
    closeWhenDone_ = true;
    flush();
}

void Connection::answer(quint64 id, const QByteArray& answer) {
    for (Slot& slot : unanswered_) {
        if (slot.id == id) {
            slot.answer = answer;
            slot.ready = true;
            break;
        }
    }
    flush();
}

void Connection::flush() {
    bool wrote = false;
    while (!unanswered_.empty() && unanswered_.front().ready) {
        stream_->write(unanswered_.front().answer);
        unanswered_.pop_front();
        wrote = true;
    }
    if (stream_->bytesToWrite() > kMaxUnsent) {
        Q_EMIT logLine(LogKind::Connection,
                       QStringLiteral("%1 closed: does not read its answers").arg(peer()));
        closing_ = true;
        stream_->abort();
        return;
    }
    if (wrote && !closing_)
        idle_.start();
    if (closeWhenDone_ && unanswered_.empty()) {
        stream_->closeWhenWritten();
        return;
    }
    // Reading stopped for want of room: go on from the event loop, not from
    // inside an answer.
    if (readBlocked_ && qsizetype(unanswered_.size()) < maxUnanswered_) {
        readBlocked_ = false;
        stream_->setReading(true);
        yieldTurn();
    }
}

// Nothing more is read; what the client still sends waits with the system
// until the connection closes.
void Connection::stopReading() {
    closing_ = true;
    stream_->setReading(false);
}

// Requests read before the cause still get their answers, then the
// connection closes.
void Connection::closeFor(const QString& why) {
    Q_EMIT logLine(LogKind::Connection, QStringLiteral("%1 closed: %2").arg(peer(), why));
    stopReading();
    closeWhenDone_ = true;
    idle_.stop();
    flush();
}

} // namespace tavo::pjlink
