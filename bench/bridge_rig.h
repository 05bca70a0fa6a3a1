#pragma once
// What the bridge's figures share: the virtual projector and tavo-pjlink in
// front of it, both programs of the build tree, and blocking loopback
// clients that never wait for ever.

#include "bench/clock.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <optional>

#include <sys/types.h>

namespace tavo::bench {

// 127.0.third.fourth, in host order.
quint32 loopback(int third, int fourth);

struct BridgeLaunch {
    QString tag;                 // names the two log files
    QStringList simArguments;    // the virtual projector's options
    QString device;              // the bridge's device; empty: the projector's own
    QStringList bridgeArguments; // --listen and the rest
};

// Both programs started, the bridge's port read from its log; both stopped
// when this goes.
class BridgeProcess {
public:
    BridgeProcess(const QString& buildDir, const QTemporaryDir& dir, const BridgeLaunch& launch);
    ~BridgeProcess();
    BridgeProcess(const BridgeProcess&) = delete;
    BridgeProcess& operator=(const BridgeProcess&) = delete;

    // 0 when the bridge did not start.
    quint16 port() const { return port_; }

private:
    pid_t sim_ = -1;
    pid_t bridge_ = -1;
    quint16 port_ = 0;
};

// A blocking TCP connection from a chosen 127.x address to the bridge on
// 127.0.0.1, with five-second send and receive timeouts.
struct Socket {
    int fd = -1;
    Socket(quint32 from, quint16 port);
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    void send(const QByteArray& bytes) const;
    // The next line, carriage return taken off; nothing on close or timeout.
    std::optional<QByteArray> line() const;
};

} // namespace tavo::bench
