// The bridge attacked from loopback as a hostile client or a demanding
// integrator would, while a good client connects, authenticates and asks
// POWR ?: it must be greeted and answered within a bound whatever the
// others do. Counts and times are capped; bounds are generous, so that the
// test holds on a busy machine, yet far below what the attacks cost before.

#include "pjlink/authentication.h"
#include "support/pjlink_rig.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tavo;
using namespace tavo::test;
using namespace std::chrono_literals;

namespace {

const QByteArray kPassword = "JBMIAProjectorLink";

enum class Attack { IdleConnections, FloodNames, FloodGarbage, BusyClients, WrongDigests };

QHostAddress loopback(int third, int fourth) {
    return QHostAddress(QStringLiteral("127.0.%1.%2").arg(third).arg(fourth));
}

// A client flooding the bridge from a thread of its own, as another program
// would: it sends its line over and over and reads the answers, for at most
// ten seconds.
class Flood {
public:
    Flood(quint16 port, QByteArray line) : line_(std::move(line)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return;
        thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
    }
    ~Flood() {
        thread_ = {};
        ::close(fd_);
    }
    qint64 answered() const { return answered_; }

private:
    void run(std::stop_token stop) {
        // Authenticated: the greeting (its challenge) read, blocking, with
        // the bridge's event loop running in the test's thread.
        const timeval wait{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        QByteArray greeting;
        char byte = 0;
        while (!greeting.endsWith('\r') && ::recv(fd_, &byte, 1, 0) == 1)
            greeting += byte;
        const QByteArray first = pjlink::digestOf(greeting.mid(9, 8), kPassword) + "%1CLSS ?\r";
        ::send(fd_, first.constData(), std::size_t(first.size()), MSG_NOSIGNAL);
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
        const QByteArray chunk = line_.repeated(1000);
        char scratch[65536];
        const QDeadlineTimer deadline(10'000);
        while (!stop.stop_requested() && !deadline.hasExpired()) {
            const ssize_t got = ::recv(fd_, scratch, sizeof scratch, 0);
            if (got == 0 || (got < 0 && errno != EAGAIN))
                return;
            answered_ += std::max<ssize_t>(got, 0);
            if (::send(fd_, chunk.constData(), std::size_t(chunk.size()), MSG_NOSIGNAL) < 0 &&
                errno != EAGAIN)
                return;
        }
    }

    QByteArray line_;
    int fd_ = -1;
    std::atomic<qint64> answered_ = 0;
    std::jthread thread_;
};

// The attackers: connections kept open for the length of the test.
struct Attackers {
    std::vector<std::unique_ptr<Client>> clients;
    std::unique_ptr<Flood> flood;
    int digestsAnswered = 0;

    // An authenticated client, unless it is to stay silent.
    Client& open(quint16 port, const QHostAddress& from, bool authenticate = true) {
        clients.push_back(std::make_unique<Client>());
        Client& client = *clients.back();
        if (client.connectTo(port, from) && authenticate)
            client.request(pjlink::digestOf(client.greeting.mid(9), kPassword) + "%1CLSS ?");
        return client;
    }
};

void attack(Attack kind, quint16 port, Attackers& attackers) {
    switch (kind) {
    case Attack::IdleConnections: // from four addresses, 16 each
        for (int i = 0; i < pjlink::kMaxConnections; ++i)
            attackers.open(port, loopback(1, 2 + i / pjlink::kMaxConnectionsPerAddress), false);
        return;
    case Attack::FloodNames:
        attackers.flood = std::make_unique<Flood>(port, "%1NAME ?\r");
        return;
    case Attack::FloodGarbage:
        attackers.flood = std::make_unique<Flood>(port, "garbage\r");
        return;
    case Attack::BusyClients:
        for (int i = 0; i < 60; ++i)
            attackers.open(port, loopback(3, 1 + i)).send(QByteArray("%1POWR ?\r").repeated(64));
        return;
    case Attack::WrongDigests:
        for (int i = 0; i < 200; ++i) {
            Client guesser;
            if (!guesser.connectTo(port, loopback(4, 1)))
                return; // refused
            const QByteArray wrong = pjlink::digestOf(guesser.greeting.mid(9), "guess");
            if (guesser.request(wrong + "%1POWR 1") == "PJLINK ERRA")
                ++attackers.digestsAnswered;
        }
        return;
    }
}

// The attack is at full strength.
bool underway(Attack kind, BridgeRig& rig, const Attackers& attackers) {
    switch (kind) {
    case Attack::IdleConnections:
        return rig.bridge().connectionCount() == pjlink::kMaxConnections;
    case Attack::FloodNames:
    case Attack::FloodGarbage:
        return attackers.flood->answered() > 100'000;
    case Attack::BusyClients:
        return rig.line().queued() >= 60 * 8;
    case Attack::WrongDigests:
        return rig.logHas(QStringLiteral("failed digests; connections refused"));
    }
    return false;
}

} // namespace

class TestSimPjlinkAttacks : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void goodClientServed_data();
    void goodClientServed();
};

void TestSimPjlinkAttacks::goodClientServed_data() {
    QTest::addColumn<Attack>("attack");
    QTest::addColumn<int>("greetingMs"); // bounds for the good client
    QTest::addColumn<int>("answerMs");

    QTest::addRow("64 idle unauthenticated connections") << Attack::IdleConnections << 500 << 500;
    QTest::addRow("a client flooding NAME ?") << Attack::FloodNames << 100 << 500;
    QTest::addRow("a client flooding garbage lines") << Attack::FloodGarbage << 100 << 500;
    QTest::addRow("60 clients keeping 16 POWR ? waiting") << Attack::BusyClients << 100 << 1500;
    QTest::addRow("200 wrong digests from one address") << Attack::WrongDigests << 100 << 500;
}

void TestSimPjlinkAttacks::goodClientServed() {
    QFETCH(Attack, attack);
    QFETCH(int, greetingMs);
    QFETCH(int, answerMs);

    VirtualProjector projector;
    pjlink::BridgeSettings settings = loopbackSettings();
    settings.password = kPassword;
    settings.maxPerAddress = pjlink::kMaxConnectionsPerAddress;
    settings.guessing = {1ms, 4ms, 10, 60s};
    BridgeRig rig(projector.device(), settings);
    QVERIFY(rig.isReady());
    Attackers attackers;
    ::attack(attack, rig.port(), attackers);
    QVERIFY(waitUntil([&] { return underway(attack, rig, attackers); }));
    QVERIFY(attackers.digestsAnswered <= settings.guessing.lockoutAfter);

    QElapsedTimer clock;
    clock.start();
    Client good;
    QVERIFY(good.connectTo(rig.port()));
    QVERIFY2(clock.elapsed() < greetingMs, qPrintable(QString::number(clock.elapsed())));
    clock.start();
    const QByteArray digest = pjlink::digestOf(good.greeting.mid(9), kPassword);
    QCOMPARE(good.request(digest + "%1POWR ?"), QByteArray("%1POWR=0"));
    QVERIFY2(clock.elapsed() < answerMs, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestSimPjlinkAttacks)
#include "tst_sim_pjlink_attacks.moc"
