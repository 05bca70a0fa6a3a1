// The bridge attacked from loopback while a good client connects,
// authenticates and asks POWR ?: it must be greeted and answered within a
// bound whatever the others do. Counts and times are capped; the bounds are
// generous, yet far below what each attack cost before.

#include "pjlink/authentication.h"
#include "support/pjlink_rig.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <thread>

using namespace tavo;
using namespace tavo::test;
using namespace std::chrono_literals;

namespace {

const QByteArray kPassword = "JBMIAProjectorLink";

enum class Attack { IdleConnections, FloodNames, FloodGarbage, BusyClients, WrongDigests };

QHostAddress loopback(int third, int fourth) {
    return QHostAddress(QStringLiteral("127.0.%1.%2").arg(third).arg(fourth));
}

QByteArray digestFor(const QByteArray& greeting, const QByteArray& password = kPassword) {
    return pjlink::digestOf(greeting.mid(9, 8), password);
}

// A client flooding from a thread of its own, as another program would: it
// sends its line over and over and reads the answers, for ten seconds at most.
struct Flood {
    std::atomic<qint64> answered = 0;
    std::jthread thread;

    Flood(quint16 port, const QByteArray& line)
        : thread([this, port, chunk = line.repeated(1000)](std::stop_token stop) {
              QTcpSocket socket;
              socket.connectToHost(QHostAddress::LocalHost, port);
              if (!socket.waitForReadyRead(kWaitMs))
                  return;
              socket.write(digestFor(socket.readAll()) + "%1CLSS ?\r");
              const QDeadlineTimer deadline(10'000);
              while (!stop.stop_requested() && !deadline.hasExpired() &&
                     socket.state() == QAbstractSocket::ConnectedState) {
                  if (socket.bytesToWrite() < chunk.size())
                      socket.write(chunk);
                  socket.waitForBytesWritten(1);
                  socket.waitForReadyRead(1);
                  answered += socket.readAll().size();
              }
          }) {}
};

struct Attackers {
    std::vector<std::unique_ptr<Client>> clients;
    std::unique_ptr<Flood> flood;
    int digestsAnswered = 0;

    Client& open(quint16 port, const QHostAddress& from, bool authenticate = true) {
        Client& client = *clients.emplace_back(std::make_unique<Client>());
        if (client.connectTo(port, from) && authenticate)
            client.request(digestFor(client.greeting) + "%1CLSS ?");
        return client;
    }

    void start(Attack kind, quint16 port) {
        switch (kind) {
        case Attack::IdleConnections: // from four addresses, as many as each may open
            for (int i = 0; i < pjlink::kMaxConnections; ++i)
                open(port, loopback(1, 2 + i / pjlink::kMaxConnectionsPerAddress), false);
            return;
        case Attack::FloodNames:
        case Attack::FloodGarbage:
            flood = std::make_unique<Flood>(port, kind == Attack::FloodNames ? "%1NAME ?\r"
                                                                             : "garbage\r");
            return;
        case Attack::BusyClients:
            for (int i = 0; i < 60; ++i)
                open(port, loopback(3, 1 + i)).send(QByteArray("%1POWR ?\r").repeated(64));
            return;
        case Attack::WrongDigests:
            for (int i = 0; i < 200; ++i) {
                Client guesser;
                if (!guesser.connectTo(port, loopback(4, 1)))
                    return; // refused
                const QByteArray wrong = digestFor(guesser.greeting, "guess");
                digestsAnswered += guesser.request(wrong + "%1POWR 1") == "PJLINK ERRA";
            }
            return;
        }
    }

    // The attack is at full strength.
    bool underway(Attack kind, BridgeRig& rig) const {
        switch (kind) {
        case Attack::IdleConnections:
            return rig.bridge().connectionCount() == pjlink::kMaxConnections;
        case Attack::FloodNames:
        case Attack::FloodGarbage:
            return flood->answered > 100'000;
        case Attack::BusyClients:
            return rig.line().queued() >= 60 * 8;
        case Attack::WrongDigests:
            return rig.logHas(QStringLiteral("failed digests; connections refused"));
        }
        return false;
    }
};

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
    attackers.start(attack, rig.port());
    QVERIFY(waitUntil([&] { return attackers.underway(attack, rig); }));
    QVERIFY(attackers.digestsAnswered <= settings.guessing.lockoutAfter);

    QElapsedTimer clock;
    clock.start();
    Client good;
    QVERIFY(good.connectTo(rig.port()));
    QVERIFY2(clock.elapsed() < greetingMs, qPrintable(QString::number(clock.elapsed())));
    clock.start();
    QCOMPARE(good.request(digestFor(good.greeting) + "%1POWR ?"), QByteArray("%1POWR=0"));
    QVERIFY2(clock.elapsed() < answerMs, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(TestSimPjlinkAttacks)
#include "tst_sim_pjlink_attacks.moc"
