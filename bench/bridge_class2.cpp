#include "bench/bridge_class2.h"

#include "bench/bridge_rig.h"
#include "bench/pty.h"

#include <QTemporaryDir>

#include <memory>
#include <random>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavo::bench {

namespace {

using std::chrono::milliseconds;

const QString kGroup = QStringLiteral("bridge, PJLink Class 2");
constexpr milliseconds kPollPeriod{5000}; // the bridge's default
constexpr int kWatchedBridges = 10;
constexpr int kChangesPerBridge = 10; // 100 in all: enough for a p99
constexpr auto kTapRun = std::chrono::seconds(60);
constexpr int kSearches = 100;
// Within the bridge's budget of 30 answers in 10 s, from 40 addresses in turn.
constexpr milliseconds kSearchInterval{400};
constexpr int kSearchAddresses = 40;
// One character at 19200 baud, 8N1: ten bits.
constexpr double kCharacterMs = 10.0 / 19200 * 1000;

// A UDP socket on a loopback address and a free port, blocking, with a
// receive timeout.
class Datagrams {
public:
    Datagrams(quint32 address, milliseconds timeout) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const timeval wait{long(timeout.count() / 1000), long(timeout.count() % 1000) * 1000};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        sockaddr_in local{AF_INET, 0, {htonl(address)}, {}};
        socklen_t size = sizeof local;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size) == 0)
            port_ = ntohs(local.sin_port);
    }
    ~Datagrams() { ::close(fd_); }
    Datagrams(const Datagrams&) = delete;
    Datagrams& operator=(const Datagrams&) = delete;

    quint16 port() const { return port_; }
    void sendTo(quint16 port, QByteArrayView bytes) const {
        const sockaddr_in to{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        ::sendto(fd_, bytes.data(), std::size_t(bytes.size()), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    // The next datagram; nothing at the timeout.
    std::optional<QByteArray> next() const {
        char buffer[512];
        const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
        return got < 0 ? std::nullopt : std::optional(QByteArray(buffer, got));
    }
    void drain() const {
        char buffer[512];
        while (::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) >= 0) {
        }
    }

private:
    int fd_ = -1;
    quint16 port_ = 0;
};

// One request on a connection of its own, from 127.0.8.1 (no bridge or
// controller of the bench's is there to hear what the bridge learns from it).
QByteArray request(quint16 port, const QByteArray& line) {
    const Socket client(loopback(8, 1), port);
    if (!client.line())
        return {};
    client.send(line + '\r');
    return client.line().value_or(QByteArray());
}

QStringList listenOnLoopback() {
    return {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")};
}

// A bridge told to notify the controller, in front of a projector that
// comes on quickly.
struct WatchedBridge {
    Datagrams controller{loopback(0, 1), 2 * kPollPeriod + std::chrono::seconds(2)};
    BridgeProcess bridge;
    WatchedBridge(const QString& buildDir, const QTemporaryDir& dir, int index)
        : bridge(buildDir, dir,
                 {QStringLiteral("watched-%1").arg(index),
                  {QStringLiteral("--countdown"), QStringLiteral("300")},
                  {},
                  listenOnLoopback() +
                      QStringList{QStringLiteral("--notify"),
                                  QStringLiteral("127.0.0.1:%1").arg(controller.port())}}) {}
};

// Waits for this datagram, letting others pass; false when none came in the
// socket's timeout.
bool awaitDatagram(const Datagrams& controller, const QByteArray& expected) {
    for (;;) {
        const auto datagram = controller.next();
        if (!datagram)
            return false;
        if (*datagram == expected)
            return true;
    }
}

// The changes of one bridge, each at a random moment of the poll period;
// the samples in ms, or why they stopped.
void notificationDelays(WatchedBridge& watched, unsigned seed, std::vector<double>& samples,
                        QString& failure) {
    const quint16 port = watched.bridge.port();
    // The mutes are read right after the power state, and the first reading
    // once the projector is on is what a change is told against.
    if (request(port, "%1POWR 1") != "%1POWR=OK" ||
        !awaitDatagram(watched.controller, "%2POWR=1\r")) {
        failure = QStringLiteral("a projector did not come on");
        return;
    }
    std::this_thread::sleep_for(milliseconds(200));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> moment(0, int(kPollPeriod.count()));
    for (int i = 0; i < kChangesPerBridge; ++i) {
        std::this_thread::sleep_for(milliseconds(moment(random)));
        const QByteArray mutes = i % 2 == 0 ? "31" : "30";
        watched.controller.drain();
        if (request(port, "%1AVMT " + mutes) != "%1AVMT=OK") {
            failure =
                QStringLiteral("AVMT ") + QLatin1String(mutes) + QStringLiteral(" was not taken");
            return;
        }
        const auto changed = Clock::now();
        if (!awaitDatagram(watched.controller, "%2AVMT=" + mutes + '\r')) {
            failure = QStringLiteral("no notification of AVMT ") + QLatin1String(mutes) +
                      QStringLiteral(" within two poll periods");
            return;
        }
        samples.push_back(msSince(changed));
    }
}

Figure notificationFigure(const QString& buildDir, const QTemporaryDir& dir) {
    Figure figure{kGroup,
                  QStringLiteral("status notification delay, projector change -> datagram, "
                                 "default poll period (5 s)"),
                  QStringLiteral("ms"),
                  {},
                  {}};
    std::vector<std::unique_ptr<WatchedBridge>> bridges;
    for (int i = 0; i < kWatchedBridges; ++i) {
        bridges.push_back(std::make_unique<WatchedBridge>(buildDir, dir, i));
        if (bridges.back()->bridge.port() == 0 || bridges.back()->controller.port() == 0) {
            figure.note = QStringLiteral("a bridge did not start");
            return figure;
        }
    }
    std::vector<std::vector<double>> samples(kWatchedBridges);
    std::vector<QString> failures(kWatchedBridges);
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < kWatchedBridges; ++i)
            threads.emplace_back(notificationDelays, std::ref(*bridges[std::size_t(i)]),
                                 unsigned(i + 1), std::ref(samples[std::size_t(i)]),
                                 std::ref(failures[std::size_t(i)]));
    }
    for (int i = 0; i < kWatchedBridges; ++i) {
        figure.samples.insert(figure.samples.end(), samples[std::size_t(i)].begin(),
                              samples[std::size_t(i)].end());
        if (!failures[std::size_t(i)].isEmpty())
            figure.note = failures[std::size_t(i)];
    }
    if (figure.note.isEmpty())
        figure.note = QStringLiteral("%1 bridges, AVMT 31 and 30 by turns, from the bridge's OK")
                          .arg(kWatchedBridges);
    return figure;
}

// The exchanges a bridge with no client puts on the line, each from its
// frame's first byte to its reply's carriage return.
struct Tapped {
    std::vector<double> exchangesMs; // frame time at 19200 baud included
    double wallMs = 0;
};

Tapped tapTheLine(const QString& buildDir, const QTemporaryDir& dir) {
    const Pty bridgeSide;
    const Pty projectorSide;
    const BridgeProcess bridge(buildDir, dir,
                               {QStringLiteral("tapped"),
                                {QStringLiteral("--device"), projectorSide.slaveName()},
                                bridgeSide.slaveName(),
                                listenOnLoopback()});
    Tapped tapped;
    if (bridge.port() == 0)
        return tapped;
    const auto start = Clock::now();
    std::optional<Clock::time_point> frameStart;
    int frameBytes = 0;
    char buffer[256];
    while (Clock::now() - start < kTapRun) {
        pollfd ends[]{{bridgeSide.master(), POLLIN, 0}, {projectorSide.master(), POLLIN, 0}};
        ::poll(ends, 2, 100);
        if (ends[0].revents & POLLIN) {
            const ssize_t got = ::read(bridgeSide.master(), buffer, sizeof buffer);
            if (got > 0) {
                if (!frameStart)
                    frameStart = Clock::now();
                frameBytes += int(got);
                projectorSide.writeMaster(QByteArrayView(buffer, got));
            }
        }
        if (ends[1].revents & POLLIN) {
            const ssize_t got = ::read(projectorSide.master(), buffer, sizeof buffer);
            if (got > 0) {
                bridgeSide.writeMaster(QByteArrayView(buffer, got));
                if (frameStart && QByteArrayView(buffer, got).contains('\r')) {
                    tapped.exchangesMs.push_back(msSince(*frameStart) + frameBytes * kCharacterMs);
                    frameStart.reset();
                    frameBytes = 0;
                }
            }
        }
    }
    tapped.wallMs = msSince(start);
    return tapped;
}

std::vector<Figure> lineFigures(const Tapped& tapped) {
    const QString name = QStringLiteral("serial line busy from polling alone, default poll period");
    if (tapped.exchangesMs.empty())
        return {
            {kGroup, name, QStringLiteral("%"), {}, QStringLiteral("the bridge did not start")}};
    double busyMs = 0;
    for (const double ms : tapped.exchangesMs)
        busyMs += ms;
    return {{kGroup, QStringLiteral("poll exchange on the line, frame's first byte -> reply's CR"),
             QStringLiteral("ms"), tapped.exchangesMs,
             QStringLiteral("the frame's time at 19200 baud included")},
            {kGroup,
             name,
             QStringLiteral("%"),
             {100 * busyMs / tapped.wallMs},
             QStringLiteral("%1 exchanges in %2 s")
                 .arg(tapped.exchangesMs.size())
                 .arg(tapped.wallMs / 1000, 0, 'f', 0)}};
}

Figure searchFigure(const QString& buildDir, const QTemporaryDir& dir) {
    Figure figure{kGroup,
                  QStringLiteral("SRCH -> ACKN, one datagram each way"),
                  QStringLiteral("ms"),
                  {},
                  {}};
    const BridgeProcess bridge(buildDir, dir,
                               {QStringLiteral("searched"), {}, {}, listenOnLoopback()});
    if (bridge.port() == 0) {
        figure.note = QStringLiteral("the bridge did not start");
        return figure;
    }
    auto next = Clock::now();
    for (int i = 0; i < kSearches; ++i, next += kSearchInterval) {
        std::this_thread::sleep_until(next);
        const Datagrams searcher(loopback(9, 1 + i % kSearchAddresses), milliseconds(2000));
        const auto start = Clock::now();
        searcher.sendTo(bridge.port(), "%2SRCH\r");
        const auto answer = searcher.next();
        if (!answer || !answer->startsWith("%2ACKN=")) {
            figure.note = QStringLiteral("search %1 not answered").arg(i + 1);
            break;
        }
        figure.samples.push_back(msSince(start));
    }
    return figure;
}

} // namespace

std::vector<Figure> class2Figures(const QString& buildDir) {
    QTemporaryDir dir;
    Tapped tapped;
    Figure search;
    Figure notification;
    {
        const std::jthread tap([&] { tapped = tapTheLine(buildDir, dir); });
        const std::jthread searches([&] { search = searchFigure(buildDir, dir); });
        notification = notificationFigure(buildDir, dir);
    }
    std::vector<Figure> figures{notification};
    for (Figure& figure : lineFigures(tapped))
        figures.push_back(std::move(figure));
    figures.push_back(search);
    return figures;
}

} // namespace tavo::bench
