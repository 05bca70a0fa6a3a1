#include "bench/tools_figures.h"

#include "bench/bridge_attacks.h"
#include "bench/bridge_class2.h"
#include "bench/clock.h"
#include "bench/processes.h"
#include "bench/pty.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tavo::bench {

namespace {

const QString kGroup = QStringLiteral("command line and bridge");
constexpr int kCtlRuns = 30;
constexpr int kOneClientRequests = 1000;
constexpr int kClients = 50;
constexpr int kRequestsPerClient = 40;
// Requests of each client left out of the figures: connection set-up and
// first-use costs.
constexpr int kOneClientWarmUp = 20;
constexpr int kManyClientsWarmUp = 2;
constexpr auto kGiveUp = std::chrono::seconds(20);
const QByteArray kRequest = QByteArrayLiteral("%1POWR ?");

int remainingMs(Clock::time_point deadline) {
    return int(std::max<long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
}

// The projector on the master side of a pseudo-terminal, answering each
// frame at once: CR0 with "stand by", anything else with ACK.
class InstantProjector {
public:
    explicit InstantProjector(const Pty& pty) : pty_(pty) {}

    // Reads what waits and answers every complete frame.
    void serve() {
        char buffer[4096];
        for (ssize_t n; (n = ::read(pty_.master(), buffer, sizeof buffer)) > 0;)
            pending_.append(buffer, n);
        for (qsizetype end; (end = pending_.indexOf('\r')) >= 0;) {
            const QByteArray frame = pending_.left(end);
            pending_.remove(0, end + 1);
            const auto start = Clock::now();
            pty_.writeMaster(frame == "CR0" ? QByteArrayView("80\r") : QByteArrayView("\x06"));
            answeringMs_ += msBetween(start, Clock::now());
        }
    }
    double answeringMs() const { return answeringMs_; }

private:
    const Pty& pty_;
    QByteArray pending_;
    double answeringMs_ = 0;
};

struct Timed {
    std::optional<double> ms; // empty: the run failed, see failure
    double projectorMs = 0;
    QString failure;
};

// Starts a program and serves the projector until it exits.
Timed timeProgram(const QStringList& command, const Pty& pty, const QString& log) {
    InstantProjector projector(pty);
    const auto start = Clock::now();
    const pid_t pid = spawn({command, {}, {}, log});
    // A descriptor that becomes readable when the program exits: its end is
    // seen at once, not at the next turn of a polling loop.
    const int exitFd = int(::syscall(SYS_pidfd_open, pid, 0));
    if (exitFd < 0) {
        stop(pid);
        return {{},
                0,
                QStringLiteral("pidfd_open: %1").arg(QString::fromLocal8Bit(std::strerror(errno)))};
    }
    const auto deadline = start + kGiveUp;
    pollfd fds[2] = {{pty.master(), POLLIN, 0}, {exitFd, POLLIN, 0}};
    bool exited = false;
    while (!exited && Clock::now() < deadline) {
        if (::poll(fds, 2, remainingMs(deadline)) <= 0)
            continue;
        if (fds[0].revents & POLLIN)
            projector.serve();
        exited = fds[1].revents & POLLIN;
    }
    const auto end = Clock::now();
    ::close(exitFd);
    if (!exited) {
        stop(pid);
        return {
            {},
            0,
            QStringLiteral("%1 did not end within %2 s").arg(command.front()).arg(kGiveUp.count())};
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return {{},
                0,
                QStringLiteral("%1 failed (status %2); see %3")
                    .arg(command.join(u' '))
                    .arg(status)
                    .arg(log)};
    return {msBetween(start, end) - projector.answeringMs(), projector.answeringMs(), {}};
}

std::vector<Figure> commandLineFigures(const QString& buildDir, const QTemporaryDir& dir) {
    const QString program = buildDir + QStringLiteral("/tools/tavo-ctl/tavo-ctl");
    const QString log = dir.filePath(QStringLiteral("tavo-ctl.log"));
    Figure status{kGroup,
                  QStringLiteral("tavo-ctl status, start to exit minus the reply time"),
                  QStringLiteral("ms"),
                  {},
                  {}};
    Figure version{kGroup,
                   QStringLiteral("tavo-ctl --version, start to exit (no port, no frame)"),
                   QStringLiteral("ms"),
                   {},
                   {}};
    std::vector<double> answering;
    // Interleaved, so that a slow spell of the machine falls on both.
    for (int i = 0; i < kCtlRuns; ++i) {
        Pty pty;
        const Timed run = timeProgram(
            {program, QStringLiteral("--device"), pty.slaveName(), QStringLiteral("status")}, pty,
            log);
        const Timed bare = timeProgram({program, QStringLiteral("--version")}, pty, log);
        if (!run.ms || !bare.ms) {
            status.samples.clear();
            status.note = run.ms ? bare.failure : run.failure;
            return {status, version};
        }
        status.samples.push_back(*run.ms);
        version.samples.push_back(*bare.ms);
        answering.push_back(run.projectorMs * 1000);
    }
    status.note = QStringLiteral("the projector (this bench) took a median %1 µs to answer")
                      .arg(summarize(answering).median, 0, 'f', 1);
    return {status, version};
}

// ------------------------------------------------------------ the bridge

struct Client {
    int fd = -1;
    QString local; // "127.0.0.2:50312", as the bridge logs it
    QByteArray inbox;
    bool greeted = false;
    int asked = 0;
    Clock::time_point sentAt;
    std::vector<double> roundTrips;
};

// What the bridge logged for a request: the wait for the line and the
// serial exchange, in ms.
struct Logged {
    double queued = 0;
    double serial = 0;
};

// The bridge's log lines for kRequest, by the client's address and port, in order.
std::map<QString, std::vector<Logged>> loggedRequests(const QByteArray& log) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(127\.0\.0\.\d+:\d+) "%1POWR \?" -> .*\| queued (\d+\.\d+) ms, )"
                       R"(serial (\d+\.\d+) ms, total)"));
    std::map<QString, std::vector<Logged>> byPort;
    for (const QByteArray& line : log.split('\n')) {
        const auto match = pattern.match(QString::fromLatin1(line));
        if (match.hasMatch())
            byPort[match.captured(1)].push_back(
                {match.captured(2).toDouble(), match.captured(3).toDouble()});
    }
    return byPort;
}

class BridgeRun {
public:
    BridgeRun(const QString& buildDir, const QString& logPath) : log_(logPath), projector_(pty_) {
        pid_ = spawn({{buildDir + QStringLiteral("/tools/tavo-pjlink/tavo-pjlink"),
                       QStringLiteral("--device"), pty_.slaveName(), QStringLiteral("--listen"),
                       QStringLiteral("127.0.0.1:0"), QStringLiteral("--verbose")},
                      {},
                      {},
                      log_});
        static const QRegularExpression portLine(QStringLiteral("port (\\d+) for"));
        for (const auto deadline = Clock::now() + kGiveUp; port_ == 0 && Clock::now() < deadline;) {
            Pty::waitReadable(pty_.master(), 5);
            projector_.serve();
            const auto match = portLine.match(QString::fromLocal8Bit(log()));
            if (match.hasMatch())
                port_ = quint16(match.captured(1).toUInt());
        }
        if (port_ == 0)
            failure_ = QStringLiteral("tavo-pjlink did not start; see %1").arg(log_);
    }
    ~BridgeRun() {
        for (Client& client : clients_)
            ::close(client.fd);
        if (pid_ > 0)
            stop(pid_);
    }
    BridgeRun(const BridgeRun&) = delete;
    BridgeRun& operator=(const BridgeRun&) = delete;

    // Each of count clients asks requests times, one request at a time, all
    // at once; false (see failure()) when something went wrong.
    bool run(int count, int requests) {
        if (!failure_.isEmpty())
            return false;
        for (int i = 0; i < count; ++i) {
            if (!connectClient())
                return false;
        }
        const auto deadline = Clock::now() + kGiveUp;
        started_ = Clock::now();
        int finished = 0;
        std::vector<pollfd> fds;
        while (finished < count) {
            if (Clock::now() > deadline) {
                failure_ = QStringLiteral("answers stopped coming after %1 s").arg(kGiveUp.count());
                return false;
            }
            fds.assign(1, {pty_.master(), POLLIN, 0});
            for (const Client& client : clients_)
                fds.push_back({client.fd, POLLIN, 0});
            if (::poll(fds.data(), nfds_t(fds.size()), remainingMs(deadline)) <= 0)
                continue;
            if (fds[0].revents & POLLIN)
                projector_.serve();
            for (std::size_t i = 0; i < clients_.size(); ++i) {
                if (fds[i + 1].revents & (POLLIN | POLLHUP | POLLERR)) {
                    if (!readAnswers(clients_[i], requests, finished))
                        return false;
                }
            }
        }
        ended_ = Clock::now();
        stop(pid_);
        pid_ = -1;
        return true;
    }

    const QString& failure() const { return failure_; }
    const std::vector<Client>& clients() const { return clients_; }
    double wallMs() const { return msBetween(started_, ended_); }
    QByteArray log() const {
        QFile file(log_);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private:
    bool connectClient() {
        Client client;
        client.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        // Spread over loopback addresses: the bridge takes at most 16
        // connections from one.
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(INADDR_LOOPBACK + quint32(clients_.size() / 16));
        ::bind(client.fd, reinterpret_cast<const sockaddr*>(&from), sizeof from);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port_);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (client.fd < 0 || ::connect(client.fd, reinterpret_cast<const sockaddr*>(&address),
                                       sizeof address) != 0) {
            failure_ = QStringLiteral("cannot connect to 127.0.0.1:%1: %2")
                           .arg(port_)
                           .arg(QString::fromLocal8Bit(std::strerror(errno)));
            if (client.fd >= 0)
                ::close(client.fd);
            return false;
        }
        const int on = 1;
        ::setsockopt(client.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        sockaddr_in local{};
        socklen_t length = sizeof local;
        ::getsockname(client.fd, reinterpret_cast<sockaddr*>(&local), &length);
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &local.sin_addr, text, sizeof text);
        client.local = QStringLiteral("%1:%2").arg(QLatin1String(text)).arg(ntohs(local.sin_port));
        clients_.push_back(std::move(client));
        return true;
    }

    void ask(Client& client) {
        const QByteArray line = kRequest + '\r';
        client.sentAt = Clock::now();
        if (::send(client.fd, line.constData(), std::size_t(line.size()), MSG_NOSIGNAL) !=
            line.size())
            failure_ = QStringLiteral("a request could not be sent whole");
        ++client.asked;
    }

    bool readAnswers(Client& client, int requests, int& finished) {
        char buffer[4096];
        const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EAGAIN)
            return true;
        if (n <= 0) {
            failure_ = QStringLiteral("the bridge closed a connection");
            return false;
        }
        client.inbox.append(buffer, n);
        for (qsizetype end; (end = client.inbox.indexOf('\r')) >= 0;) {
            const QByteArray line = client.inbox.left(end);
            client.inbox.remove(0, end + 1);
            if (!client.greeted) {
                client.greeted = true;
            } else {
                client.roundTrips.push_back(msBetween(client.sentAt, Clock::now()));
                if (line != "%1POWR=0") {
                    failure_ =
                        QStringLiteral("unexpected answer \"%1\"").arg(QString::fromLatin1(line));
                    return false;
                }
            }
            if (client.asked < requests)
                ask(client);
            else
                ++finished;
        }
        return failure_.isEmpty();
    }

    QString log_;
    Pty pty_;
    InstantProjector projector_;
    pid_t pid_ = -1;
    quint16 port_ = 0;
    std::vector<Client> clients_;
    Clock::time_point started_;
    Clock::time_point ended_;
    QString failure_;
};

// Round trip minus the logged wait and exchange, per request after the
// warm-up; the note gives the round trip and the share of the wall time the
// serial line was busy.
struct BridgeFigures {
    std::vector<double> added;
    std::vector<double> roundTrips;
    double lineBusyShare = 0;
    QString failure;
};

BridgeFigures measureBridge(const QString& buildDir, const QTemporaryDir& dir, int clients,
                            int requests, int warmUp) {
    BridgeRun bridge(buildDir, dir.filePath(QStringLiteral("tavo-pjlink-%1.log").arg(clients)));
    if (!bridge.run(clients, requests))
        return {{}, {}, 0, bridge.failure()};
    const auto logged = loggedRequests(bridge.log());
    BridgeFigures figures;
    double serialMs = 0;
    for (const Client& client : bridge.clients()) {
        const auto found = logged.find(client.local);
        if (found == logged.end() || found->second.size() != client.roundTrips.size())
            return {{},
                    {},
                    0,
                    QStringLiteral("the bridge's log does not hold one line per request of %1")
                        .arg(client.local)};
        for (std::size_t i = 0; i < client.roundTrips.size(); ++i) {
            const Logged& line = found->second[i];
            serialMs += line.serial;
            if (int(i) < warmUp)
                continue;
            figures.roundTrips.push_back(client.roundTrips[i]);
            figures.added.push_back(client.roundTrips[i] - line.queued - line.serial);
        }
    }
    figures.lineBusyShare = 100 * serialMs / bridge.wallMs();
    return figures;
}

Figure bridgeFigure(const BridgeFigures& measured, int clients) {
    Figure figure{kGroup,
                  QStringLiteral("bridge, added latency per request, %1 client%2")
                      .arg(clients)
                      .arg(clients == 1 ? QString() : QStringLiteral("s")),
                  QStringLiteral("ms"), measured.added, measured.failure};
    if (measured.failure.isEmpty())
        figure.note =
            QStringLiteral("POWR ? round trip %1 ms median, minus the line wait and serial "
                           "exchange the bridge logged; serial line busy %2 % of the time")
                .arg(summarize(measured.roundTrips).median, 0, 'f', 3)
                .arg(measured.lineBusyShare, 0, 'f', 0);
    return figure;
}

} // namespace

std::vector<Figure> commandLineAndBridgeFigures(const QString& buildDir) {
    QTemporaryDir dir;
    std::vector<Figure> figures = commandLineFigures(buildDir, dir);
    figures.push_back(bridgeFigure(
        measureBridge(buildDir, dir, 1, kOneClientWarmUp + kOneClientRequests, kOneClientWarmUp),
        1));
    figures.push_back(bridgeFigure(
        measureBridge(buildDir, dir, kClients, kRequestsPerClient, kManyClientsWarmUp), kClients));
    for (Figure& figure : bridgeAttackFigures(buildDir))
        figures.push_back(std::move(figure));
    for (Figure& figure : class2Figures(buildDir))
        figures.push_back(std::move(figure));
    return figures;
}

} // namespace tavo::bench
