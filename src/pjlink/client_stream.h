#pragma once
// A client's TCP connection, taken over from the listening server as a
// system socket. Unlike Qt's socket it lets a client finish sending (shut
// down its side, as nc and ncat do after their input) and still receive its
// answers, and it reads only when asked: while reading is off, bytes stay
// with the system, whose full buffers slow the client down.
//
// Closing is graceful: the sending side is shut down once everything is
// out, and what the client still sends is read and dropped until it closes
// too, for at most a short while. Closing with bytes unread would reset the
// connection, and a reset can wipe answers the client has not read yet.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace tavo::pjlink {

class ClientStream final : public QObject {
    Q_OBJECT
public:
    // Takes over the connected socket; closes it when destroyed.
    explicit ClientStream(qintptr descriptor, QObject* parent = nullptr);
    ~ClientStream() override;
    ClientStream(const ClientStream&) = delete;
    ClientStream& operator=(const ClientStream&) = delete;

    // "127.0.0.1:50312", "[::1]:50312".
    const QString& peer() const { return peer_; }
    const QHostAddress& address() const { return address_; }
    bool isOpen() const { return descriptor_ >= 0; }

    // Up to max bytes that have arrived; empty when none is waiting.
    QByteArray read(qsizetype max);
    // The client has finished sending and every byte has been read.
    bool inputEnded() const { return inputEnded_; }
    // Reading on (the start) or off.
    void setReading(bool on);

    // Sends now what the system takes and the rest as it takes it.
    void write(const QByteArray& bytes);
    qsizetype bytesToWrite() const { return outbox_.size(); }
    // Closes once everything written has gone out (see above).
    void closeWhenWritten();
    // Closes now, dropping what has not gone out.
    void abort();

Q_SIGNALS:
    // Bytes arrived, or the client finished sending.
    void readable();
    // The connection is closed (by either side, or after a failure).
    void closed();

private:
    void onReadable();
    void sendWaiting();
    void shutDownSending();
    void close();

    qintptr descriptor_;
    QString peer_;
    QHostAddress address_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QByteArray outbox_;
    QTimer linger_;
    bool inputEnded_ = false;
    bool closeWhenWritten_ = false;
    bool draining_ = false; // sending shut down, waiting for the client to close
};

// A server that hands each accepted connection's socket to a function
// instead of wrapping it in a Qt socket.
class StreamServer final : public QTcpServer {
public:
    std::function<void(qintptr descriptor)> onConnection;

protected:
    void incomingConnection(qintptr descriptor) override;
};

} // namespace tavo::pjlink
