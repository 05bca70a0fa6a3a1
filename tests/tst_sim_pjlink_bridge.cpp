// The PJLink bridge serving the virtual projector over a pseudo-terminal,
// reached by clients on loopback: every command and error answer in every
// power state, with the frames that reached the projector; authentication;
// fifty clients at once; and what a misbehaving client gets: closed when
// idle, after an over-long line or beyond the connection limit, and errors
// for random bytes, none of which reach the serial line; a good client
// served within a bound while others attack; and Class 2 over UDP: search
// and notifications. Every datagram and connection goes to 127.0.0.0/8.

#include "pjlink/authentication.h"
#include "support/pjlink_rig.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUdpSocket>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tavo;
using namespace tavo::test;
using namespace std::chrono_literals;

namespace {

enum class Start { Standby, WarmingUp, On, Cooling };

constexpr auto kLong = 60s; // a count down or cooling that outlasts the test

sim::ProjectorConfig configFor(Start start) {
    sim::ProjectorConfig config;
    config.countDown = start == Start::On || start == Start::Cooling ? 30ms : kLong;
    config.cooling = kLong;
    return config;
}

const QByteArray kPassword = "JBMIAProjectorLink";

// The bridge's settings with authentication on, or as they come.
pjlink::BridgeSettings settingsWithPassword(bool on = true) {
    pjlink::BridgeSettings settings = loopbackSettings();
    if (on)
        settings.password = kPassword;
    return settings;
}

QByteArray digestFor(const QByteArray& greeting, const QByteArray& password = kPassword) {
    return pjlink::digestOf(greeting.mid(9, 8), password);
}

// Sends the bytes on a plain socket, shuts down its sending side as nc and
// ncat do at the end of their input, and collects everything until the
// bridge closes the connection. Nothing when it does not close in time.
std::optional<QByteArray> sendAndFinish(quint16 port, const QByteArray& bytes) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::send(fd, bytes.constData(), std::size_t(bytes.size()), 0) != bytes.size() ||
        ::shutdown(fd, SHUT_WR) != 0) {
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    QByteArray received;
    bool ended = false;
    waitUntil([&] {
        char buffer[512];
        for (;;) {
            const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
            if (count <= 0) {
                ended = count == 0; // else nothing waiting yet
                return ended;
            }
            received.append(buffer, count);
        }
    });
    ::close(fd);
    return ended ? std::optional(received) : std::nullopt;
}

enum class Attack { IdleConnections, FloodNames, FloodGarbage, BusyClients, WrongDigests };

QHostAddress loopback(int third, int fourth) {
    return QHostAddress(QStringLiteral("127.0.%1.%2").arg(third).arg(fourth));
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

// What an attack holds open lasts as long as this.
struct Attackers {
    std::vector<std::unique_ptr<Client>> clients;
    std::unique_ptr<Flood> flood;
    int digestsAnswered = 0;

    // Starts the attack; the check tells when it is at full strength.
    std::function<bool()> start(Attack kind, BridgeRig& rig) {
        const auto open = [&](const QHostAddress& from) -> Client& {
            Client& client = *clients.emplace_back(std::make_unique<Client>());
            client.connectTo(rig.port(), from);
            return client;
        };
        switch (kind) {
        case Attack::IdleConnections: // from four addresses, as many as each may open
            for (int i = 0; i < pjlink::kMaxConnections; ++i)
                open(loopback(1, 2 + i / pjlink::kMaxConnectionsPerAddress));
            return [&rig] { return rig.bridge().connectionCount() == pjlink::kMaxConnections; };
        case Attack::FloodNames:
        case Attack::FloodGarbage:
            flood = std::make_unique<Flood>(rig.port(), kind == Attack::FloodNames ? "%1NAME ?\r"
                                                                                   : "garbage\r");
            return [this] { return flood->answered > 100'000; };
        case Attack::BusyClients:
            for (int i = 0; i < 60; ++i) {
                Client& client = open(loopback(3, 1 + i));
                client.request(digestFor(client.greeting) + "%1CLSS ?");
                client.send(QByteArray("%1POWR ?\r").repeated(64));
            }
            return [&rig] { return rig.line().queued() >= 60 * 8; };
        case Attack::WrongDigests:
            for (int i = 0; i < 200; ++i) {
                Client guesser;
                if (!guesser.connectTo(rig.port(), loopback(4, 1)))
                    break; // refused
                const QByteArray wrong = digestFor(guesser.greeting, "guess");
                digestsAnswered += guesser.request(wrong + "%1POWR 1") == "PJLINK ERRA";
            }
            return [&rig] {
                return rig.logHas(QStringLiteral("failed digests; connections refused"));
            };
        }
        return [] { return false; };
    }
};

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

// The bridge watching the projector and notifying the controller.
pjlink::BridgeSettings watchedBy(const Controller& controller) {
    pjlink::BridgeSettings settings = loopbackSettings();
    settings.pollPeriod = kPollPeriod;
    settings.udp.notify = {{QHostAddress::LocalHost, controller.port()}};
    settings.udp.notifyPort = controller.port(); // the clients it learns, not port 4352
    return settings;
}

} // namespace

class TestSimPjlinkBridge : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answers_data();
    void answers();
    void authenticates_data();
    void authenticates();
    void refusesAWrongDigest_data();
    void refusesAWrongDigest();
    void closingKeepsTheAnswersSentBefore();
    void fiftyClientsAtOnce();
    void closesAnIdleConnection();
    void overLongLine_data();
    void overLongLine();
    void logsFramesForAClientGone();
    void randomBytesGetErrorsAndStayOffTheLine_data();
    void randomBytesGetErrorsAndStayOffTheLine();
    void limitsConnections_data();
    void limitsConnections();
    void answersAClientThatFinishedSending_data();
    void answersAClientThatFinishedSending();
    void goodClientServedUnderAttack_data();
    void goodClientServedUnderAttack();
    void search_data();
    void search();
    void powerCycleNotifies();
    void errorStatusNotifies_data();
    void errorStatusNotifies();

private:
    // Brings the projector into the start state through the bridge.
    static bool reach(Start start, Client& client);
};

bool TestSimPjlinkBridge::reach(Start start, Client& client) {
    if (start == Start::Standby)
        return true;
    if (client.request("%1POWR 1") != "%1POWR=OK")
        return false;
    if (start == Start::WarmingUp)
        return true;
    if (!waitUntil([&] { return client.request("%1POWR ?") == "%1POWR=1"; }))
        return false;
    return start == Start::On || client.request("%1POWR 0") == "%1POWR=OK";
}

void TestSimPjlinkBridge::answers_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<QByteArrayList>("requests");
    QTest::addColumn<QByteArrayList>("answers");
    QTest::addColumn<QByteArrayList>("frames"); // what reached the projector

    // The Class 1 rows run on both headers, as the standard has Class 2 answer
    // them alike; the rows named here answer otherwise on "%2".
    const QSet<QByteArray> class1Only{"undefined command", "class 3 command", "not a request",
                                      "binary line"};
    const auto row = [&](const char* name, Start start, QByteArrayList requests,
                         QByteArrayList answers, QByteArrayList frames) {
        QTest::addRow("%s", name) << int(start) << requests << answers << frames;
        if (class1Only.contains(name) || !requests.constFirst().contains("%1"))
            return;
        for (QByteArrayList* lines : {&requests, &answers}) {
            for (QByteArray& line : *lines)
                line.replace("%1", "%2");
        }
        QTest::addRow("%s, %%2", name) << int(start) << requests << answers << frames;
    };
    using enum Start;
    row("POWR ? in standby", Standby, {"%1POWR ?"}, {"%1POWR=0"}, {"CR0"});
    row("INPT ? in standby", Standby, {"%1INPT ?"}, {"%1INPT=11"}, {"CR1"});
    row("AVMT ? in standby", Standby, {"%1AVMT ?"}, {"%1AVMT=ERR3"}, {"CRA"});
    row("ERST ? in standby", Standby, {"%1ERST ?"}, {"%1ERST=000000"}, {"CR0"});
    row("LAMP ? in standby", Standby, {"%1LAMP ?"}, {"%1LAMP=1234 0"}, {"CR0", "CR3"});
    row("INST ?", Standby, {"%1INST ?"}, {"%1INST=11 12 21"}, {});
    row("NAME ?", Standby, {"%1NAME ?"}, {"%1NAME=Hall A"}, {});
    row("INF1 ?", Standby, {"%1INF1 ?"}, {"%1INF1=TAVO"}, {});
    row("INF2 ?", Standby, {"%1INF2 ?"}, {"%1INF2=RA20"}, {});
    row("INFO ?", Standby, {"%1INFO ?"}, {"%1INFO=tavo-pjlink " TAVO_VERSION}, {});
    row("CLSS ?", Standby, {"%1CLSS ?"}, {"%1CLSS=2"}, {});
    row("POWR 1 from standby", Standby, {"%1POWR 1", "%1POWR ?"}, {"%1POWR=OK", "%1POWR=3"},
        {"CR0", "C00", "CR0"});
    row("POWR 0 in standby", Standby, {"%1POWR 0"}, {"%1POWR=OK"}, {"CR0", "C01"});
    row("INPT 12 in standby", Standby, {"%1INPT 12"}, {"%1INPT=ERR3"}, {"CR0"});
    row("AVMT 31 in standby", Standby, {"%1AVMT 31"}, {"%1AVMT=ERR3"}, {"CR0"});
    row("undefined command", Standby, {"%1FREZ ?"}, {"%1FREZ=ERR1"}, {});
    row("class 3 command", Standby, {"%3POWR ?"}, {"%3POWR=ERR1"}, {});
    row("power out of parameter", Standby, {"%1POWR 2"}, {"%1POWR=ERR2"}, {});
    row("input not on this projector", Standby, {"%1INPT 31"}, {"%1INPT=ERR2"}, {});
    row("mute out of parameter", Standby, {"%1AVMT 40"}, {"%1AVMT=ERR2"}, {});
    row("setting a query-only command", Standby, {"%1CLSS 1"}, {"%1CLSS=ERR2"}, {});
    row("no parameter", Standby, {"%1POWR"}, {"%1POWR=ERR2"}, {});
    row("lower-case command", Standby, {"%1powr ?"}, {"%1POWR=0"}, {"CR0"});
    row("not a request", Standby, {"hello"},
        {"%1????"
         "=ERR1"},
        {});
    row("binary line", Standby, {QByteArray("\x01\xff\0%", 4)},
        {"%1????"
         "=ERR1"},
        {});
    row("CR LF line ends", Standby, {"%1CLSS ?", "\n%1INF1 ?"}, {"%1CLSS=2", "%1INF1=TAVO"}, {});

    row("POWR ? warming up", WarmingUp, {"%1POWR ?"}, {"%1POWR=3"}, {"CR0"});
    row("POWR 0 warming up", WarmingUp, {"%1POWR 0"}, {"%1POWR=ERR3"}, {"CR0"});
    row("POWR 1 warming up", WarmingUp, {"%1POWR 1"}, {"%1POWR=ERR3"}, {"CR0"});
    row("INPT 21 warming up", WarmingUp, {"%1INPT 21"}, {"%1INPT=ERR3"}, {"CR0"});
    row("LAMP ? warming up", WarmingUp, {"%1LAMP ?"}, {"%1LAMP=1234 0"}, {"CR0", "CR3"});

    row("POWR ? on", On, {"%1POWR ?"}, {"%1POWR=1"}, {"CR0"});
    row("POWR 1 on", On, {"%1POWR 1"}, {"%1POWR=OK"}, {"CR0", "C00"});
    row("LAMP ? on", On, {"%1LAMP ?"}, {"%1LAMP=1234 1"}, {"CR0", "CR3"});
    row("ERST ? on", On, {"%1ERST ?"}, {"%1ERST=000000"}, {"CR0"});
    row("INPT 12 then ?", On, {"%1INPT 12", "%1INPT ?"}, {"%1INPT=OK", "%1INPT=12"},
        {"CR0", "C06", "CR1"});
    row("INPT 21 then ?", On, {"%1INPT 21", "%1INPT ?"}, {"%1INPT=OK", "%1INPT=21"},
        {"CR0", "C07", "CR1"});
    row("INPT 11 then ?", On, {"%1INPT 21", "%1INPT 11", "%1INPT ?"},
        {"%1INPT=OK", "%1INPT=OK", "%1INPT=11"}, {"CR0", "C07", "CR0", "C05", "CR1"});
    row("AVMT ? on", On, {"%1AVMT ?"}, {"%1AVMT=30"}, {"CRA"});
    row("AVMT 11 then ?", On, {"%1AVMT 11", "%1AVMT ?"}, {"%1AVMT=OK", "%1AVMT=11"},
        {"CR0", "C0D", "CRA"});
    row("AVMT 21 then ?", On, {"%1AVMT 21", "%1AVMT ?"}, {"%1AVMT=OK", "%1AVMT=21"},
        {"CR0", "C0B", "CRA"});
    row("AVMT 31 then ?", On, {"%1AVMT 31", "%1AVMT ?"}, {"%1AVMT=OK", "%1AVMT=31"},
        {"CR0", "C0D", "C0B", "CRA"});
    row("AVMT 31, 10 then ?", On, {"%1AVMT 31", "%1AVMT 10", "%1AVMT ?"},
        {"%1AVMT=OK", "%1AVMT=OK", "%1AVMT=21"}, {"CR0", "C0D", "C0B", "CR0", "C0E", "CRA"});
    row("AVMT 31, 20 then ?", On, {"%1AVMT 31", "%1AVMT 20", "%1AVMT ?"},
        {"%1AVMT=OK", "%1AVMT=OK", "%1AVMT=11"}, {"CR0", "C0D", "C0B", "CR0", "C0C", "CRA"});
    row("AVMT 31, 30 then ?", On, {"%1AVMT 31", "%1AVMT 30", "%1AVMT ?"},
        {"%1AVMT=OK", "%1AVMT=OK", "%1AVMT=30"}, {"CR0", "C0D", "C0B", "CR0", "C0E", "C0C", "CRA"});
    row("POWR 0 on then ?", On, {"%1POWR 0", "%1POWR ?"}, {"%1POWR=OK", "%1POWR=2"},
        {"CR0", "C01", "CR0"});

    row("INNM ?11", Standby, {"%2INNM ?11"}, {"%2INNM=Computer 1"}, {});
    row("INNM of no input", Standby, {"%2INNM ?31"}, {"%2INNM=ERR2"}, {});
    row("FREZ ? in standby", Standby, {"%2FREZ ?"}, {"%2FREZ=0"}, {"CR0"});
    row("FREZ 1 in standby", Standby, {"%2FREZ 1"}, {"%2FREZ=ERR3"}, {"CR0"});
    row("FREZ 1 then ?", On, {"%2FREZ 1", "%2FREZ ?"}, {"%2FREZ=OK", "%2FREZ=1"},
        {"CR0", "C43", "CR0"});
    row("FREZ 1, power off, then ?", On, {"%2FREZ 1", "%1POWR 0", "%2FREZ ?"},
        {"%2FREZ=OK", "%1POWR=OK", "%2FREZ=0"}, {"CR0", "C43", "CR0", "C01", "CR0"});
    row("FREZ out of parameter", On, {"%2FREZ 2"}, {"%2FREZ=ERR2"}, {});
    row("SVOL 1 on", On, {"%2SVOL 1"}, {"%2SVOL=OK"}, {"CR0", "C09"});
    row("SVOL 1 in standby", Standby, {"%2SVOL 1"}, {"%2SVOL=ERR3"}, {"CR0"});
    row("MVOL: no microphone", On, {"%2MVOL 1"}, {"%2MVOL=ERR1"}, {});
    row("SNUM: not reported", On, {"%2SNUM ?"}, {"%2SNUM="}, {});
    row("FILT: not counted", On, {"%2FILT ?"}, {"%2FILT=0"}, {});
    row("IRES: not reported", On, {"%2IRES ?"}, {"%2IRES=ERR1"}, {});

    row("POWR ? cooling", Cooling, {"%1POWR ?"}, {"%1POWR=2"}, {"CR0"});
    row("POWR 1 cooling", Cooling, {"%1POWR 1"}, {"%1POWR=ERR3"}, {"CR0"});
    row("AVMT 30 cooling", Cooling, {"%1AVMT 30"}, {"%1AVMT=ERR3"}, {"CR0"});
}

void TestSimPjlinkBridge::answers() {
    QFETCH(int, start);
    QFETCH(QByteArrayList, requests);
    QFETCH(QByteArrayList, answers);
    QFETCH(QByteArrayList, frames);

    VirtualProjector projector(configFor(Start(start)));
    QVERIFY(projector.isValid());
    BridgeRig rig(projector.device());
    QVERIFY2(rig.isReady(), qPrintable(rig.log.join(QLatin1Char('\n'))));
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    QCOMPARE(client.greeting, QByteArray("PJLINK 0"));
    QVERIFY(reach(Start(start), client));
    projector.frames.clear();

    QByteArrayList got;
    for (const QByteArray& request : requests)
        got << client.request(request);
    QCOMPARE(got, answers);
    QCOMPARE(projector.frames, frames);
    QVERIFY(!client.isClosed());
}

void TestSimPjlinkBridge::authenticates_data() {
    QTest::addColumn<bool>("upperCase");
    QTest::addColumn<bool>("digestEveryTime");

    QTest::addRow("digest on the first request") << false << false;
    QTest::addRow("digest in upper case") << true << false;
    QTest::addRow("digest on every request") << false << true;
}

void TestSimPjlinkBridge::authenticates() {
    QFETCH(bool, upperCase);
    QFETCH(bool, digestEveryTime);

    VirtualProjector projector;
    BridgeRig rig(projector.device(), settingsWithPassword());
    QVERIFY(rig.isReady());
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    const QRegularExpression greeting(QStringLiteral("^PJLINK 1 ([0-9a-f]{8})$"));
    const auto match = greeting.match(QString::fromLatin1(client.greeting));
    QVERIFY2(match.hasMatch(), client.greeting.constData());
    QByteArray digest = pjlink::digestOf(match.captured(1).toLatin1(), kPassword);
    if (upperCase)
        digest = digest.toUpper();

    QCOMPARE(client.request(digest + "%1POWR ?"), QByteArray("%1POWR=0"));
    QCOMPARE(client.request((digestEveryTime ? digest : QByteArray()) + "%1INF1 ?"),
             QByteArray("%1INF1=TAVO"));
    QCOMPARE(client.request((digestEveryTime ? digest : QByteArray()) + "%1INPT ?"),
             QByteArray("%1INPT=11"));
    QCOMPARE(projector.frames, QByteArrayList({"CR0", "CR1"}));
    QVERIFY(!rig.logHas(QString::fromLatin1(digest)));
}

void TestSimPjlinkBridge::refusesAWrongDigest_data() {
    QTest::addColumn<QByteArrayList>("requests"); // %D stands for the right digest
    QTest::addColumn<QByteArrayList>("frames");

    QTest::addRow("wrong password") << QByteArrayList{"%W%1POWR 1"} << QByteArrayList{};
    QTest::addRow("no digest") << QByteArrayList{"%1NAME " + QByteArray(40, 'x')}
                               << QByteArrayList{};
    QTest::addRow("digest of another challenge")
        << QByteArrayList{"5d8409bc1c3fa39749434aa3a5c38682%1POWR 1"} << QByteArrayList{};
    QTest::addRow("line shorter than a digest") << QByteArrayList{"%1POWR"} << QByteArrayList{};
    QTest::addRow("digest alone, wrong") << QByteArrayList{"%W"} << QByteArrayList{};
    QTest::addRow("wrong digest after a right one")
        << QByteArrayList{"%D%1POWR ?", "%W%1POWR 1"} << QByteArrayList{"CR0"};
}

void TestSimPjlinkBridge::refusesAWrongDigest() {
    QFETCH(QByteArrayList, requests);
    QFETCH(QByteArrayList, frames);

    VirtualProjector projector;
    BridgeRig rig(projector.device(), settingsWithPassword());
    QVERIFY(rig.isReady());
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    const QByteArray challenge = client.greeting.mid(9);
    const QByteArray right = pjlink::digestOf(challenge, kPassword);
    const QByteArray wrong = pjlink::digestOf(challenge, "JBMIAProjectorLinK");

    QByteArray last;
    for (QByteArray request : requests) {
        request.replace("%D", right).replace("%W", wrong);
        last = client.request(request);
    }
    QCOMPARE(last, QByteArray("PJLINK ERRA"));
    QVERIFY(client.waitForClose());
    QCOMPARE(projector.frames, frames);
    QVERIFY(rig.logHas(QStringLiteral("authentication failed")));
}

// Bytes the client sent after the request that closes its connection stay
// unread; closing must not reset the connection, since a reset can wipe the
// answers the client has not read yet.
void TestSimPjlinkBridge::closingKeepsTheAnswersSentBefore() {
    VirtualProjector projector;
    BridgeRig rig(projector.device(), settingsWithPassword());
    QVERIFY(rig.isReady());
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    const QByteArray challenge = client.greeting.mid(9);
    QCOMPARE(client.request(pjlink::digestOf(challenge, kPassword) + "%1CLSS ?"),
             QByteArray("%1CLSS=2"));

    constexpr int kRequests = 200;
    QByteArray bytes;
    for (int i = 0; i < kRequests; ++i)
        bytes += "%1CLSS ?\r";
    bytes += pjlink::digestOf(challenge, "wrong") + "%1POWR 1\r" + QByteArray(4000, 'x');
    client.send(bytes);
    for (int i = 0; i < kRequests; ++i)
        QCOMPARE(client.nextLine(), QByteArray("%1CLSS=2"));
    QCOMPARE(client.nextLine(), QByteArray("PJLINK ERRA"));
    QVERIFY(client.waitForClose());
}

// Every client pipelines five requests at once; each gets its five answers,
// in its own order, local answers included.
void TestSimPjlinkBridge::fiftyClientsAtOnce() {
    VirtualProjector projector;
    BridgeRig rig(projector.device());
    QVERIFY(rig.isReady());
    constexpr int kClients = 50;
    const QByteArray requests = "%1POWR ?\r%1CLSS ?\r%1INPT ?\r%1INF2 ?\r%1AVMT ?\r";
    const QByteArray answers = "%1POWR=0\r%1CLSS=2\r%1INPT=11\r%1INF2=RA20\r%1AVMT=ERR3\r";

    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(std::make_unique<Client>());
        QVERIFY(clients.back()->connectTo(rig.port()));
    }
    QCOMPARE(rig.bridge().connectionCount(), kClients);
    for (auto& client : clients)
        client->send(requests);
    QVERIFY(waitUntil(
        [&] {
            return std::all_of(clients.begin(), clients.end(), [&](const auto& client) {
                return client->pending().size() >= answers.size();
            });
        },
        30000));
    for (auto& client : clients)
        QCOMPARE(client->pending(), answers);
    QCOMPARE(projector.frames.size(), kClients * 3);
}

void TestSimPjlinkBridge::closesAnIdleConnection() {
    VirtualProjector projector;
    pjlink::BridgeSettings settings = loopbackSettings();
    settings.idleTimeout = 200ms;
    BridgeRig rig(projector.device(), settings);
    QVERIFY(rig.isReady());
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    QCOMPARE(client.request("%1CLSS ?"), QByteArray("%1CLSS=2"));
    QVERIFY(client.waitForClose());
    QVERIFY(rig.logHas(QStringLiteral("closed: idle for 200 ms")));
    QTRY_COMPARE(rig.bridge().connectionCount(), 0);
}

// Requests before an over-long line are answered, then the connection closes.
void TestSimPjlinkBridge::overLongLine_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QByteArray>("answers");
    QTest::addColumn<QByteArrayList>("frames");

    const QByteArray longest = "%1NAME " + QByteArray(128, 'x') + '\r'; // 136 bytes
    QTest::addRow("longest request answered")
        << longest << false << QByteArray("%1NAME=ERR2\r") << QByteArrayList{};
    QTest::addRow("one byte more")
        << "%1NAME " + QByteArray(129, 'x') + '\r' << true << QByteArray() << QByteArrayList{};
    QTest::addRow("no CR in 200 bytes")
        << QByteArray(200, 'A') << true << QByteArray() << QByteArrayList{};
    QTest::addRow("binary without CR")
        << QByteArray(4096, '\0') << true << QByteArray() << QByteArrayList{};
    QTest::addRow("a setting, then 200 bytes")
        << "%1POWR 1\r" + QByteArray(200, 'x') << true << QByteArray("%1POWR=OK\r")
        << QByteArrayList{"CR0", "C00"};
}

void TestSimPjlinkBridge::overLongLine() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, closed);
    QFETCH(QByteArray, answers);
    QFETCH(QByteArrayList, frames);

    VirtualProjector projector;
    BridgeRig rig(projector.device());
    QVERIFY(rig.isReady());
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    client.send(bytes);
    if (closed) {
        QVERIFY(client.waitForClose());
        QVERIFY(rig.logHas(QStringLiteral("longer than 136 bytes")));
        QCOMPARE(client.pending(), answers);
    } else {
        QCOMPARE(client.nextLine(), answers.chopped(1));
        QCOMPARE(client.request("%1CLSS ?"), QByteArray("%1CLSS=2"));
    }
    QCOMPARE(projector.frames, frames);
}

// A client that resets its connection right after a setting: the frames
// that went out are logged all the same.
void TestSimPjlinkBridge::logsFramesForAClientGone() {
    VirtualProjector projector;
    BridgeRig rig(projector.device());
    QVERIFY(rig.isReady());
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    client.send("%1POWR 0\r");
    QVERIFY(waitUntil([&] { return !projector.frames.isEmpty(); }));
    client.reset();
    QVERIFY(waitUntil([&] { return rig.logHas(QStringLiteral("C01 -> \"<ACK>\"")); }));
    QVERIFY(rig.logHas(QStringLiteral("client gone, not answered")));
}

// Lines of random bytes each get an error answer, the connection stays
// open, and not one byte reaches the projector.
void TestSimPjlinkBridge::randomBytesGetErrorsAndStayOffTheLine_data() {
    QTest::addColumn<bool>("authenticated");
    QTest::addRow("without authentication") << false;
    QTest::addRow("after authentication") << true;
}

void TestSimPjlinkBridge::randomBytesGetErrorsAndStayOffTheLine() {
    QFETCH(bool, authenticated);

    VirtualProjector projector;
    BridgeRig rig(projector.device(), settingsWithPassword(authenticated));
    QVERIFY(rig.isReady());
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    if (authenticated) {
        const QByteArray digest = pjlink::digestOf(client.greeting.mid(9), kPassword);
        QCOMPARE(client.request(digest + "%1CLSS ?"), QByteArray("%1CLSS=2"));
    }

    QRandomGenerator random(4352);
    QByteArray bytes;
    int lines = 0;
    for (int i = 0; i < 200; ++i) {
        QByteArray line(1 + random.bounded(100), '\0');
        for (char& byte : line) {
            do
                byte = char(random.bounded(256));
            while (byte == '\r' || byte == '\n');
        }
        // Every other line looks like a request up to its command.
        if (i % 2 == 0)
            line.prepend("%1");
        bytes += line + '\r';
        ++lines;
    }
    client.send(bytes);
    const QRegularExpression error(QStringLiteral("^%[0-9][A-Z0-9?]{4}=ERR[12]$"));
    for (int i = 0; i < lines; ++i) {
        const auto answer = client.nextLine();
        QVERIFY2(answer, qPrintable(QStringLiteral("answer %1 missing").arg(i)));
        QVERIFY2(error.match(QString::fromLatin1(*answer)).hasMatch(), answer->constData());
    }
    QCOMPARE(client.request("%1CLSS ?"), QByteArray("%1CLSS=2"));
    QVERIFY(projector.frames.isEmpty());
}

// With the table full, a connection that has made no request yet gives way
// to a new one; one that has keeps its place.
void TestSimPjlinkBridge::limitsConnections_data() {
    QTest::addColumn<bool>("firstAsked");
    QTest::addColumn<bool>("thirdIn");
    QTest::addRow("every place taken by a client that asked") << true << false;
    QTest::addRow("a client that never asked gives way") << false << true;
}

void TestSimPjlinkBridge::limitsConnections() {
    QFETCH(bool, firstAsked);
    QFETCH(bool, thirdIn);
    VirtualProjector projector;
    pjlink::BridgeSettings settings = loopbackSettings();
    settings.maxConnections = 2;
    BridgeRig rig(projector.device(), settings);
    QVERIFY(rig.isReady());
    Client first;
    Client second;
    QVERIFY(first.connectTo(rig.port()));
    if (firstAsked)
        QCOMPARE(first.request("%1CLSS ?"), QByteArray("%1CLSS=2"));
    QVERIFY(second.connectTo(rig.port()));
    QCOMPARE(second.request("%1CLSS ?"), QByteArray("%1CLSS=2"));

    Client third;
    QCOMPARE(third.connectTo(rig.port()), thirdIn);
    QCOMPARE(first.waitForClose(thirdIn ? kWaitMs : 100), thirdIn);
    QCOMPARE(rig.logHas(QStringLiteral("refused: 2 connections open")), !thirdIn);
    QCOMPARE(second.request("%1POWR ?"), QByteArray("%1POWR=0"));

    second.reset(); // a place comes free
    QTRY_COMPARE(rig.bridge().connectionCount(), 1);
    Client fourth;
    QVERIFY(fourth.connectTo(rig.port()));
    QCOMPARE(fourth.request("%1POWR ?"), QByteArray("%1POWR=0"));
}

void TestSimPjlinkBridge::answersAClientThatFinishedSending_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("received");

    QTest::addRow("serial and local requests")
        << QByteArray("%1POWR ?\r%1CLSS ?\r") << QByteArray("PJLINK 0\r%1POWR=0\r%1CLSS=2\r");
    QTest::addRow("unfinished line dropped")
        << QByteArray("%1CLSS ?\r%1POWR ?") << QByteArray("PJLINK 0\r%1CLSS=2\r");
    QTest::addRow("nothing sent") << QByteArray() << QByteArray("PJLINK 0\r");
    QTest::addRow("line ended by LF, as echo into nc")
        << QByteArray("%1CLSS ?\n") << QByteArray("PJLINK 0\r%1CLSS=2\r");
}

void TestSimPjlinkBridge::answersAClientThatFinishedSending() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, received);

    VirtualProjector projector;
    BridgeRig rig(projector.device());
    QVERIFY(rig.isReady());
    QCOMPARE(sendAndFinish(rig.port(), bytes), std::optional(received));
    QTRY_COMPARE(rig.bridge().connectionCount(), 0);
}

void TestSimPjlinkBridge::goodClientServedUnderAttack_data() {
    QTest::addColumn<Attack>("attack");
    QTest::addColumn<int>("greetingMs"); // bounds for the good client
    QTest::addColumn<int>("answerMs");
    QTest::addRow("64 idle unauthenticated connections") << Attack::IdleConnections << 500 << 500;
    QTest::addRow("a client flooding NAME ?") << Attack::FloodNames << 100 << 500;
    QTest::addRow("a client flooding garbage lines") << Attack::FloodGarbage << 100 << 500;
    QTest::addRow("60 clients keeping 16 POWR ? waiting") << Attack::BusyClients << 100 << 1500;
    QTest::addRow("200 wrong digests from one address") << Attack::WrongDigests << 100 << 500;
}

void TestSimPjlinkBridge::goodClientServedUnderAttack() {
    QFETCH(Attack, attack);
    QFETCH(int, greetingMs);
    QFETCH(int, answerMs);
    VirtualProjector projector;
    pjlink::BridgeSettings settings = settingsWithPassword();
    settings.maxPerAddress = pjlink::kMaxConnectionsPerAddress;
    settings.guessing = {1ms, 4ms, 10, 60s};
    BridgeRig rig(projector.device(), settings);
    QVERIFY(rig.isReady());
    Attackers attackers;
    QVERIFY(waitUntil(attackers.start(attack, rig)));
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

void TestSimPjlinkBridge::search_data() {
    QTest::addColumn<QByteArrayList>("datagrams");
    QTest::addColumn<int>("answers");

    QTest::addRow("search") << QByteArrayList{"%2SRCH\r"} << 1;
    QTest::addRow("not a search") << QByteArrayList{"%1SRCH\r", "%2SRCH", "%2SRCHX\r"} << 0;
    QTest::addRow("too long") << QByteArrayList{"%2SRCH\r" + QByteArray(2000, 'x')} << 0;
    QTest::addRow("a flood of searches")
        << QByteArrayList(50, "%2SRCH\r") << pjlink::SearchLimits{}.perSender;
}

void TestSimPjlinkBridge::search() {
    QFETCH(QByteArrayList, datagrams);
    QFETCH(int, answers);

    VirtualProjector projector;
    QVERIFY(projector.isValid());
    pjlink::BridgeSettings settings = loopbackSettings();
    settings.address = kBridgeAddress;
    Controller atNotifyPort; // where a controller hears notifications
    settings.udp.notifyPort = atNotifyPort.port();
    BridgeRig rig(projector.device(), settings);
    QVERIFY2(rig.isReady(), qPrintable(rig.log.join(QLatin1Char('\n'))));
    Controller controller;
    for (const QByteArray& datagram : datagrams)
        controller.send(datagram, kBridgeAddress, rig.port());
    // A last search from another address marks the end of the bridge's answers.
    Controller marker(QHostAddress(QStringLiteral("127.0.0.3")));
    marker.send("%2SRCH\r", kBridgeAddress, rig.port());
    QVERIFY(waitUntil([&] { return !marker.received.isEmpty(); }));
    QVERIFY(waitUntil([&] { return atNotifyPort.received.size() >= answers; }));

    const QByteArrayList acknowledged(answers, "%2ACKN=00:00:00:00:00:00\r");
    QCOMPARE(controller.received, acknowledged);
    QCOMPARE(atNotifyPort.received, acknowledged);
    const QString logged =
        QStringLiteral("127.0.0.1:") + QString::number(controller.port()) +
        QStringLiteral(" \"%2SRCH\" -> \"%2ACKN=00:00:00:00:00:00\", also to port ") +
        QString::number(atNotifyPort.port());
    QCOMPARE(rig.logHas(logged), answers > 0);
}

// Standby, on, input 12, mutes on, off: each change notified within the
// poll period, after the LKUP of the start.
void TestSimPjlinkBridge::powerCycleNotifies() {
    sim::ProjectorConfig config;
    config.countDown = 1000ms;
    config.cooling = 1000ms;
    VirtualProjector projector(config);
    QVERIFY(projector.isValid());
    Controller controller;
    BridgeRig rig(projector.device(), watchedBy(controller));
    QVERIFY2(rig.isReady(), qPrintable(rig.log.join(QLatin1Char('\n'))));
    const auto notified = [&](qsizetype count, int withinMs = kWaitMs) {
        return waitUntil([&] { return controller.received.size() == count; }, withinMs);
    };
    QVERIFY(notified(1)); // LKUP
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    QCOMPARE(client.request("%1POWR 1"), "%1POWR=OK");
    QVERIFY(notified(2, kNotifiedWithinMs));
    QVERIFY(notified(3));
    QCOMPARE(client.request("%1INPT 12"), "%1INPT=OK");
    QVERIFY(notified(4, kNotifiedWithinMs));
    QCOMPARE(client.request("%1AVMT 31"), "%1AVMT=OK");
    QVERIFY(notified(5, kNotifiedWithinMs));
    QCOMPARE(client.request("%1POWR 0"), "%1POWR=OK"); // the mutes end with the picture
    QVERIFY(notified(7, kNotifiedWithinMs));
    QVERIFY(notified(8));
    QCOMPARE(controller.received, (QByteArrayList{"%2LKUP=00:00:00:00:00:00\r", "%2POWR=3\r",
                                                  "%2POWR=1\r", "%2INPT=12\r", "%2AVMT=31\r",
                                                  "%2POWR=2\r", "%2AVMT=30\r", "%2POWR=0\r"}));
}

void TestSimPjlinkBridge::errorStatusNotifies_data() {
    QTest::addColumn<QByteArrayList>("powerReplies"); // CR0, one after the other
    QTest::addColumn<QByteArrayList>("notifications");

    QTest::addRow("temperature warning comes and goes")
        << QByteArrayList{"00", "08", "00"} << QByteArrayList{"%2ERST=001000\r", "%2ERST=000000\r"};
    QTest::addRow("lamp failure while cooling")
        << QByteArrayList{"20", "21"} << QByteArrayList{"%2ERST=020000\r"};
    // The power state is unknown then: ERST alone is notified.
    QTest::addRow("power failure")
        << QByteArrayList{"00", "10"} << QByteArrayList{"%2ERST=000002\r"};
}

// A scripted projector, as no virtual one fails: each change of the error
// digits is notified once, and nothing else changes.
void TestSimPjlinkBridge::errorStatusNotifies() {
    QFETCH(QByteArrayList, powerReplies);
    QFETCH(QByteArrayList, notifications);

    ScriptedProjector projector(
        {{"CR0", powerReplies.takeFirst() + '\r'}, {"CR1", "1\r"}, {"CRA", "00\r"}});
    QVERIFY(projector.isValid());
    Controller controller;
    BridgeRig rig(projector.device(), watchedBy(controller));
    QVERIFY(rig.isReady());
    QVERIFY(waitUntil([&] { return controller.received.size() == 1; }));
    controller.received.removeFirst(); // LKUP
    for (const QByteArray& reply : std::as_const(powerReplies)) {
        projector.setReply("CR0", reply + '\r');
        const qsizetype asked = projector.frames.count("CR0");
        QVERIFY(waitUntil([&] { return projector.frames.count("CR0") > asked + 1; }));
    }
    QCOMPARE(controller.received, notifications);
}

QTEST_GUILESS_MAIN(TestSimPjlinkBridge)
#include "tst_sim_pjlink_bridge.moc"
