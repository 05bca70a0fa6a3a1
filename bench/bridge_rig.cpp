#include "bench/bridge_rig.h"

#include "bench/processes.h"

#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavo::bench {

namespace {

// The first match's first group in a log, waited for at most ten seconds.
QString waitFor(const QString& log, const QString& pattern) {
    const QRegularExpression expression(pattern);
    for (const auto deadline = Clock::now() + std::chrono::seconds(10); Clock::now() < deadline;
         QThread::msleep(20)) {
        QFile file(log);
        if (file.open(QIODevice::ReadOnly)) {
            const auto match = expression.match(QString::fromLocal8Bit(file.readAll()));
            if (match.hasMatch())
                return match.captured(1);
        }
    }
    return {};
}

} // namespace

quint32 loopback(int third, int fourth) {
    return (127u << 24) | (quint32(third) << 8) | quint32(fourth);
}

BridgeProcess::BridgeProcess(const QString& buildDir, const QTemporaryDir& dir,
                             const BridgeLaunch& launch) {
    const QString simLog = dir.filePath(launch.tag + QStringLiteral("-sim.log"));
    const QString bridgeLog = dir.filePath(launch.tag + QStringLiteral("-bridge.log"));
    sim_ =
        spawn({QStringList{buildDir + QStringLiteral("/tools/projector-sim/tavo-projector-sim")} +
                   launch.simArguments,
               {},
               {},
               simLog});
    const QString device =
        launch.device.isEmpty() ? waitFor(simLog, QStringLiteral("device: (\\S+)")) : launch.device;
    if (device.isEmpty())
        return;
    bridge_ = spawn({QStringList{buildDir + QStringLiteral("/tools/tavo-pjlink/tavo-pjlink"),
                                 QStringLiteral("--device"), device} +
                         launch.bridgeArguments,
                     {},
                     {},
                     bridgeLog});
    port_ = quint16(waitFor(bridgeLog, QStringLiteral("port (\\d+) for")).toUInt());
}

BridgeProcess::~BridgeProcess() {
    if (bridge_ > 0)
        stop(bridge_);
    if (sim_ > 0)
        stop(sim_);
}

Socket::Socket(quint32 from, quint16 port) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval wait{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    sockaddr_in local{AF_INET, 0, {htonl(from)}, {}};
    sockaddr_in bridge{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&bridge), sizeof bridge) != 0) {
        ::close(fd);
        fd = -1;
    }
}

Socket::~Socket() {
    if (fd >= 0)
        ::close(fd);
}

void Socket::send(const QByteArray& bytes) const {
    ::send(fd, bytes.constData(), std::size_t(bytes.size()), MSG_NOSIGNAL);
}

std::optional<QByteArray> Socket::line() const {
    QByteArray bytes;
    char byte = 0;
    while (::recv(fd, &byte, 1, 0) == 1) {
        if (byte == '\r')
            return bytes;
        bytes += byte;
    }
    return std::nullopt;
}

} // namespace tavo::bench
