#include "pjlink/client_stream.h"

#include <QHostAddress>
#include <QSocketNotifier>

#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavo::pjlink {

namespace {

struct Peer {
    QHostAddress address;
    QString text;
};

// "127.0.0.1:50312", "[::1]:50312".
Peer peerOf(qintptr descriptor) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(int(descriptor), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {QHostAddress(), QStringLiteral("unknown peer")};
    const QHostAddress host(reinterpret_cast<const sockaddr*>(&address));
    const bool v6 = address.ss_family == AF_INET6;
    const quint16 port = v6 ? ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port)
                            : ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
    const QString text = v6 ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2");
    return {host, text.arg(host.toString()).arg(port)};
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// How long a closing connection waits for the client to close its side.
constexpr std::chrono::milliseconds kLinger{2000};

} // namespace

ClientStream::ClientStream(qintptr descriptor, QObject* parent)
    : QObject(parent), descriptor_(descriptor),
      readNotifier_(std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read)),
      writeNotifier_(std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Write)) {
    const Peer peer = peerOf(descriptor);
    peer_ = peer.text;
    address_ = peer.address;
    ::fcntl(int(descriptor_), F_SETFL, ::fcntl(int(descriptor_), F_GETFL) | O_NONBLOCK);
    writeNotifier_->setEnabled(false);
    linger_.setSingleShot(true);
    linger_.setInterval(kLinger);
    connect(&linger_, &QTimer::timeout, this, &ClientStream::close);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &ClientStream::onReadable);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &ClientStream::sendWaiting);
}

void ClientStream::onReadable() {
    if (!draining_) {
        Q_EMIT readable();
        return;
    }
    char scratch[4096];
    for (;;) {
        const ssize_t count = ::recv(int(descriptor_), scratch, sizeof scratch, 0);
        if (count > 0 || (count < 0 && errno == EINTR))
            continue;
        if (count < 0 && wouldBlock(errno))
            return;
        close(); // the client closed too, or failed
        return;
    }
}

ClientStream::~ClientStream() {
    readNotifier_.reset();
    writeNotifier_.reset();
    if (descriptor_ >= 0)
        ::close(int(descriptor_));
}

QByteArray ClientStream::read(qsizetype max) {
    if (descriptor_ < 0 || inputEnded_ || draining_ || max <= 0)
        return {};
    QByteArray bytes(max, Qt::Uninitialized);
    ssize_t count = -1;
    do
        count = ::recv(int(descriptor_), bytes.data(), std::size_t(max), 0);
    while (count < 0 && errno == EINTR);
    if (count > 0) {
        bytes.truncate(count);
        return bytes;
    }
    if (count == 0) {
        // The client shut down its side; answers may still go out.
        inputEnded_ = true;
        readNotifier_->setEnabled(false);
    } else if (!wouldBlock(errno)) {
        close();
    }
    return {};
}

void ClientStream::setReading(bool on) {
    if (descriptor_ >= 0 && !inputEnded_ && !draining_)
        readNotifier_->setEnabled(on);
}

void ClientStream::write(const QByteArray& bytes) {
    if (descriptor_ < 0 || closeWhenWritten_)
        return;
    outbox_.append(bytes);
    sendWaiting();
}

void ClientStream::sendWaiting() {
    while (descriptor_ >= 0 && !outbox_.isEmpty()) {
        const ssize_t count = ::send(int(descriptor_), outbox_.constData(),
                                     std::size_t(outbox_.size()), MSG_NOSIGNAL);
        if (count > 0) {
            outbox_.remove(0, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && wouldBlock(errno)) {
            writeNotifier_->setEnabled(true);
            return;
        }
        close(); // the client is gone
        return;
    }
    if (descriptor_ < 0)
        return;
    writeNotifier_->setEnabled(false);
    if (closeWhenWritten_)
        shutDownSending();
}

void ClientStream::closeWhenWritten() {
    if (closeWhenWritten_ || descriptor_ < 0)
        return;
    closeWhenWritten_ = true;
    if (outbox_.isEmpty())
        shutDownSending();
}

void ClientStream::shutDownSending() {
    if (draining_)
        return;
    if (inputEnded_ || ::shutdown(int(descriptor_), SHUT_WR) != 0) {
        // Nothing more can come from the client, or the connection is gone.
        close();
        return;
    }
    draining_ = true;
    readNotifier_->setEnabled(true);
    linger_.start();
}

void ClientStream::abort() {
    close();
}

void ClientStream::close() {
    if (descriptor_ < 0)
        return;
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    linger_.stop();
    ::close(int(descriptor_));
    descriptor_ = -1;
    outbox_.clear();
    Q_EMIT closed();
}

void StreamServer::incomingConnection(qintptr descriptor) {
    if (onConnection)
        onConnection(descriptor);
    else
        ::close(int(descriptor));
}

} // namespace tavo::pjlink
