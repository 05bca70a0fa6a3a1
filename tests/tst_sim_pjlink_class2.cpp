// PJLink Class 2 over UDP on loopback: a controller's socket on 127.0.0.1,
// the bridge on 127.0.0.2 for the search (both are loopback on Linux). Every
// datagram goes to 127.0.0.0/8.

#include "support/pjlink_rig.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

using namespace tavo;
using namespace tavo::test;
using namespace std::chrono_literals;

namespace {

// A controller's UDP socket: keeps what arrives, in order.
class Controller {
public:
    explicit Controller(const QHostAddress& address = QHostAddress(QHostAddress::LocalHost)) {
        socket_.bind(address, 0);
        QObject::connect(&socket_, &QUdpSocket::readyRead, &socket_, [this] {
            while (socket_.hasPendingDatagrams())
                received.append(socket_.receiveDatagram().data());
        });
    }
    quint16 port() const { return socket_.localPort(); }
    void send(const QByteArray& datagram, const QHostAddress& to, quint16 port) {
        socket_.writeDatagram(datagram, to, port);
    }

    QByteArrayList received;

private:
    QUdpSocket socket_;
};

const QHostAddress kBridgeAddress{QStringLiteral("127.0.0.2")};
constexpr auto kPollPeriod = 300ms;
// A change is notified within a poll period and a round of queries.
constexpr int kNotifiedWithinMs = 2 * kPollPeriod.count();

} // namespace

class TestSimPjlinkClass2 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void search_data();
    void search();
    void powerCycleNotifies();
};

void TestSimPjlinkClass2::search_data() {
    QTest::addColumn<QByteArrayList>("datagrams");
    QTest::addColumn<int>("answers");

    QTest::addRow("search") << QByteArrayList{"%2SRCH\r"} << 1;
    QTest::addRow("not a search") << QByteArrayList{"%1SRCH\r", "%2SRCH", "%2SRCHX\r"} << 0;
    QTest::addRow("too long") << QByteArrayList{"%2SRCH\r" + QByteArray(2000, 'x')} << 0;
    QTest::addRow("a flood of searches")
        << QByteArrayList(50, "%2SRCH\r") << pjlink::SearchLimits{}.perSender;
}

void TestSimPjlinkClass2::search() {
    QFETCH(QByteArrayList, datagrams);
    QFETCH(int, answers);

    VirtualProjector projector;
    QVERIFY(projector.isValid());
    pjlink::BridgeSettings settings = loopbackSettings();
    settings.address = kBridgeAddress;
    BridgeRig rig(projector.device(), settings);
    QVERIFY2(rig.isReady(), qPrintable(rig.log.join(QLatin1Char('\n'))));
    Controller controller;
    for (const QByteArray& datagram : datagrams)
        controller.send(datagram, kBridgeAddress, rig.port());
    // A last search from another address marks the end of the bridge's answers.
    Controller marker(QHostAddress(QStringLiteral("127.0.0.3")));
    marker.send("%2SRCH\r", kBridgeAddress, rig.port());
    QVERIFY(waitUntil([&] { return !marker.received.isEmpty(); }));

    QCOMPARE(controller.received, QByteArrayList(answers, "%2ACKN=00:00:00:00:00:00\r"));
}

// Standby, on, input 12, off: POWR and INPT notifications, each within the
// poll period of the change, after the LKUP of the start.
void TestSimPjlinkClass2::powerCycleNotifies() {
    sim::ProjectorConfig config;
    config.countDown = 1000ms;
    config.cooling = 1000ms;
    VirtualProjector projector(config);
    QVERIFY(projector.isValid());
    Controller controller;
    pjlink::BridgeSettings settings = loopbackSettings();
    settings.pollPeriod = kPollPeriod;
    settings.udp.notify = {{QHostAddress::LocalHost, controller.port()}};
    settings.udp.notifyPort = controller.port();
    BridgeRig rig(projector.device(), settings);
    QVERIFY2(rig.isReady(), qPrintable(rig.log.join(QLatin1Char('\n'))));
    QVERIFY(waitUntil([&] { return !controller.received.isEmpty(); }));
    QCOMPARE(controller.received.takeFirst(), "%2LKUP=00:00:00:00:00:00\r");

    const auto powerNotifications = [&] {
        QByteArrayList power;
        for (const QByteArray& datagram : std::as_const(controller.received)) {
            if (datagram.startsWith("%2POWR="))
                power.append(datagram);
        }
        return power;
    };
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    QCOMPARE(client.request("%1POWR 1"), "%1POWR=OK");
    QVERIFY(waitUntil([&] { return powerNotifications().size() == 1; }, kNotifiedWithinMs));
    QVERIFY(waitUntil([&] { return powerNotifications().size() == 2; }));
    QCOMPARE(client.request("%1INPT 12"), "%1INPT=OK");
    QVERIFY(
        waitUntil([&] { return controller.received.contains("%2INPT=12\r"); }, kNotifiedWithinMs));
    QCOMPARE(client.request("%1POWR 0"), "%1POWR=OK");
    QVERIFY(waitUntil([&] { return powerNotifications().size() == 3; }, kNotifiedWithinMs));
    QVERIFY(waitUntil([&] { return powerNotifications().size() == 4; }));
    QCOMPARE(powerNotifications(),
             (QByteArrayList{"%2POWR=3\r", "%2POWR=1\r", "%2POWR=2\r", "%2POWR=0\r"}));
}

QTEST_GUILESS_MAIN(TestSimPjlinkClass2)
#include "tst_sim_pjlink_class2.moc"
