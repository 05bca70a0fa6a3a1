#include "bench/bridge_attacks.h"

#include "bench/bridge_rig.h"
#include "pjlink/authentication.h"

#include <QFile>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <thread>

#include <poll.h>
#include <sys/socket.h>

namespace tavo::bench {

namespace {

const QString kGroup = QStringLiteral("bridge under attack");
const QByteArray kPassword = QByteArrayLiteral("bench-password");
constexpr int kRoundTrips = 100; // enough for a p99
constexpr auto kWarmUp = std::chrono::milliseconds(1000);
constexpr auto kGuessing = std::chrono::seconds(3);

QByteArray digestFor(const QByteArray& greeting, const QByteArray& password = kPassword) {
    return pjlink::digestOf(greeting.mid(9, pjlink::kChallengeLength), password);
}

// The virtual projector and the bridge in front of it, authentication on.
BridgeLaunch withPassword(const QTemporaryDir& dir) {
    const QString password = dir.filePath(QStringLiteral("password"));
    QFile file(password);
    if (file.open(QIODevice::WriteOnly))
        file.write(kPassword + '\n');
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return {QStringLiteral("attack"),
            {},
            {},
            {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
             QStringLiteral("--password-file"), password}};
}

// An attack runs on threads of its own until the figure is taken.
using Attack = std::function<void(std::stop_token stop, quint16 port)>;

void flood(std::stop_token stop, quint16 port) {
    Socket socket(loopback(2, 1), port);
    const auto greeting = socket.line();
    if (!greeting)
        return;
    socket.send(digestFor(*greeting) + "%1CLSS ?\r");
    const QByteArray chunk = QByteArray("%1NAME ?\r").repeated(1000);
    char scratch[65536];
    while (!stop.stop_requested()) {
        socket.send(chunk);
        while (::recv(socket.fd, scratch, sizeof scratch, MSG_DONTWAIT) > 0) {
        }
    }
}

// Connections from four addresses that read the greeting and say nothing;
// each one closed is opened again.
void idleConnections(std::stop_token stop, quint16 port) {
    std::vector<std::unique_ptr<Socket>> sockets(64);
    while (!stop.stop_requested()) {
        std::vector<pollfd> fds;
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            if (!sockets[i] || sockets[i]->fd < 0)
                sockets[i] = std::make_unique<Socket>(loopback(1, 2 + int(i) / 16), port);
            fds.push_back({sockets[i]->fd, POLLIN, 0});
        }
        ::poll(fds.data(), nfds_t(fds.size()), 50);
        char scratch[256];
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP)) &&
                ::recv(fds[i].fd, scratch, sizeof scratch, MSG_DONTWAIT) <= 0)
                sockets[i].reset();
        }
    }
}

// Sixty clients, each keeping 16 POWR ? waiting.
void busyClients(std::stop_token stop, quint16 port) {
    std::vector<std::unique_ptr<Socket>> sockets;
    std::vector<pollfd> fds;
    for (int i = 0; i < 60; ++i) {
        auto& socket = sockets.emplace_back(std::make_unique<Socket>(loopback(3, 1 + i), port));
        if (const auto greeting = socket->line())
            socket->send(digestFor(*greeting) + QByteArray("%1POWR ?\r").repeated(16));
        fds.push_back({socket->fd, POLLIN, 0});
    }
    char scratch[4096];
    while (!stop.stop_requested()) {
        ::poll(fds.data(), nfds_t(fds.size()), 50);
        for (std::size_t i = 0; i < fds.size(); ++i) {
            const ssize_t got = ::recv(fds[i].fd, scratch, sizeof scratch, MSG_DONTWAIT);
            if (got > 0)
                sockets[i]->send(QByteArray("%1POWR ?\r")
                                     .repeated(int(QByteArrayView(scratch, got).count('\r'))));
        }
    }
}

// A good client's POWR ? round trips, each on a connection of its own
// (greeting and digest included), while the attack runs.
Figure roundTrips(const QString& buildDir, const QString& name, const Attack& attack) {
    QTemporaryDir dir;
    const BridgeProcess bridge(buildDir, dir, withPassword(dir));
    Figure figure{kGroup,
                  QStringLiteral("POWR ? round trip with a new connection, ") + name,
                  QStringLiteral("ms"),
                  {},
                  {}};
    if (bridge.port() == 0) {
        figure.note = QStringLiteral("the bridge did not start");
        return figure;
    }
    std::jthread attacker;
    if (attack)
        attacker = std::jthread(attack, bridge.port());
    std::this_thread::sleep_for(kWarmUp);
    for (int i = 0; i < kRoundTrips; ++i) {
        const auto start = Clock::now();
        Socket good(loopback(0, 1), bridge.port());
        const auto greeting = good.line();
        if (!greeting)
            break;
        good.send(digestFor(*greeting) + "%1POWR ?\r");
        if (good.line() != QByteArray("%1POWR=0"))
            break;
        figure.samples.push_back(msSince(start));
    }
    if (figure.samples.size() < std::size_t(kRoundTrips))
        figure.note = QStringLiteral("only %1 of %2 round trips answered")
                          .arg(figure.samples.size())
                          .arg(kRoundTrips);
    return figure;
}

// Wrong digests answered, one connection after another, from one address.
Figure wrongDigests(const QString& buildDir) {
    QTemporaryDir dir;
    const BridgeProcess bridge(buildDir, dir, withPassword(dir));
    int answered = 0;
    const auto start = Clock::now();
    while (bridge.port() != 0 && Clock::now() - start < kGuessing) {
        Socket guesser(loopback(4, 1), bridge.port());
        if (const auto greeting = guesser.line()) {
            guesser.send(digestFor(*greeting, "guess") + "%1POWR ?\r");
            answered += guesser.line() == QByteArray("PJLINK ERRA");
        }
    }
    return {kGroup,
            QStringLiteral("wrong digests answered per second, one address"),
            QStringLiteral("1/s"),
            {answered / (msSince(start) / 1000)},
            QStringLiteral("%1 in %2 s").arg(answered).arg(msSince(start) / 1000, 0, 'f', 1)};
}

} // namespace

std::vector<Figure> bridgeAttackFigures(const QString& buildDir) {
    return {roundTrips(buildDir, QStringLiteral("alone"), {}),
            roundTrips(buildDir, QStringLiteral("under a client flooding NAME ?"), flood),
            roundTrips(buildDir, QStringLiteral("under 64 idle connections"), idleConnections),
            roundTrips(buildDir, QStringLiteral("under 60 busy clients"), busyClients),
            wrongDigests(buildDir)};
}

} // namespace tavo::bench
