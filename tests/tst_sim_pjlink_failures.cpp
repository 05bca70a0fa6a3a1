// The bridge when the projector side fails: a silent projector, a queue that
// waits too long, the serial device lost and back, and replies a working
// projector would not give (refusals, failure codes, nonsense), played by a
// scripted projector on a pseudo-terminal. Every client gets its answer.

#include "support/pjlink_rig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <cstdio>

using namespace tavo;
using namespace tavo::test;
using namespace std::chrono_literals;

namespace {

constexpr char kAck[] = "\x06";
constexpr char kNak[] = "\x15";

using Replies = QMap<QByteArray, QByteArray>;

// Points the link at a device, replacing what it pointed at in one step.
bool pointLink(const QString& link, const QString& device) {
    const QString fresh = link + QStringLiteral(".new");
    QFile::remove(fresh);
    return QFile::link(device, fresh) &&
           ::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(link).constData()) == 0;
}

} // namespace

class TestSimPjlinkFailures : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void silentProjector_data();
    void silentProjector();
    void slowProjector_data();
    void slowProjector();
    void deviceLostAndBack();
    void deviceMissingAtStart();
    void scriptedReplies_data();
    void scriptedReplies();
};

void TestSimPjlinkFailures::silentProjector_data() {
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");

    QTest::addRow("POWR ?") << QByteArray("%1POWR ?") << QByteArray("%1POWR=ERR4");
    QTest::addRow("POWR 1") << QByteArray("%1POWR 1") << QByteArray("%1POWR=ERR4");
    QTest::addRow("INPT ?") << QByteArray("%1INPT ?") << QByteArray("%1INPT=ERR4");
    QTest::addRow("LAMP ?") << QByteArray("%1LAMP ?") << QByteArray("%1LAMP=ERR4");
    QTest::addRow("CLSS ? needs no projector") << QByteArray("%1CLSS ?") << QByteArray("%1CLSS=2");
}

void TestSimPjlinkFailures::silentProjector() {
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);

    sim::Behaviour silent;
    silent.silent = true;
    VirtualProjector projector({}, silent);
    BridgeRig rig(projector.device());
    QVERIFY(rig.isReady());
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    QCOMPARE(client.request(request), answer);
    QVERIFY(!client.isClosed());
}

// A projector slow to answer or silent. Requests sent at once and queued for
// longer than the limit are refused without being sent: ERR4 behind one that
// does not answer, ERR3 behind one that is busy. Asked one at a time, a reply
// after the timeout is never taken for the next frame's, and no setting goes
// out on one.
void TestSimPjlinkFailures::slowProjector_data() {
    QTest::addColumn<bool>("silent");
    QTest::addColumn<int>("lateMs");
    QTest::addColumn<int>("queueLimitMs"); // 0: as it comes, and one request at a time
    QTest::addColumn<QByteArrayList>("requests");
    QTest::addColumn<QByteArrayList>("answers");
    QTest::addColumn<QByteArrayList>("frames");

    const QByteArrayList queued{"%1POWR ?", "%1INPT ?", "%1AVMT ?"};
    const QByteArrayList asked{"%1POWR ?", "%1INPT ?", "%1POWR 1", "%1ERST ?"};
    QTest::addRow("queue limit, silent projector")
        << true << 300 << 200 << queued
        << QByteArrayList{"%1POWR=ERR4", "%1INPT=ERR4", "%1AVMT=ERR4"} << QByteArrayList{"CR0"};
    QTest::addRow("queue limit, slow projector")
        << false << 300 << 200 << queued << QByteArrayList{"%1POWR=0", "%1INPT=ERR3", "%1AVMT=ERR3"}
        << QByteArrayList{"CR0"};
    QTest::addRow("late, within the timeout")
        << false << 300 << 0 << asked
        << QByteArrayList{"%1POWR=0", "%1INPT=11", "%1POWR=OK", "%1ERST=000000"}
        << QByteArrayList{"CR0", "CR1", "CR0", "C00", "CR0"};
    QTest::addRow("later than the timeout")
        << false << 600 << 0 << asked
        << QByteArrayList{"%1POWR=ERR4", "%1INPT=ERR4", "%1POWR=ERR4", "%1ERST=ERR4"}
        << QByteArrayList{"CR0", "CR1", "CR0", "CR0"};
}

void TestSimPjlinkFailures::slowProjector() {
    QFETCH(bool, silent);
    QFETCH(int, lateMs);
    QFETCH(int, queueLimitMs);
    QFETCH(QByteArrayList, requests);
    QFETCH(QByteArrayList, answers);
    QFETCH(QByteArrayList, frames);

    sim::Behaviour behaviour;
    behaviour.silent = silent;
    behaviour.late = std::chrono::milliseconds(lateMs);
    VirtualProjector projector({}, behaviour);
    pjlink::ProjectorLine::Settings line = lineSettings(projector.device());
    if (queueLimitMs > 0)
        line.queueLimit = std::chrono::milliseconds(queueLimitMs);
    BridgeRig rig(line, loopbackSettings());
    QVERIFY(rig.isReady());
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    if (queueLimitMs > 0)
        client.send(requests.join('\r') + '\r');
    QByteArrayList got;
    for (const QByteArray& request : requests)
        got << (queueLimitMs > 0 ? client.nextLine().value_or("<none>") : client.request(request));
    QCOMPARE(got, answers);
    QCOMPARE(projector.frames, frames);
    if (queueLimitMs > 0)
        QVERIFY(rig.logHas(QStringLiteral("for the serial line")));
}

// The device behind a path goes away with requests waiting and comes back
// as a new pseudo-terminal behind the same path.
void TestSimPjlinkFailures::deviceLostAndBack() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("projector"));
    sim::Behaviour late;
    late.late = 300ms; // so that requests are still waiting when the device goes
    auto first = std::make_unique<VirtualProjector>(sim::ProjectorConfig{}, late);
    QVERIFY(pointLink(link, first->ptyPath()));
    BridgeRig rig(link);
    QVERIFY2(rig.isReady(), qPrintable(rig.log.join(QLatin1Char('\n'))));
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    QCOMPARE(client.request("%1POWR ?"), QByteArray("%1POWR=0"));

    client.send("%1POWR ?\r%1INPT ?\r%1CLSS ?\r%1AVMT ?\r");
    QVERIFY(waitUntil([&] { return first->frames.size() == 2; }));
    first.reset();
    QCOMPARE(client.nextLine(), QByteArray("%1POWR=ERR4"));
    QCOMPARE(client.nextLine(), QByteArray("%1INPT=ERR4"));
    QCOMPARE(client.nextLine(), QByteArray("%1CLSS=2"));
    QCOMPARE(client.nextLine(), QByteArray("%1AVMT=ERR4"));
    QVERIFY(rig.logHas(QStringLiteral("serial device lost")));
    QVERIFY(!rig.line().isOpen());
    QCOMPARE(client.request("%1LAMP ?"), QByteArray("%1LAMP=ERR4"));

    VirtualProjector second;
    QVERIFY(pointLink(link, second.ptyPath()));
    QVERIFY(waitUntil([&] { return rig.line().isOpen(); }));
    QCOMPARE(client.request("%1POWR ?"), QByteArray("%1POWR=0"));
    QCOMPARE(second.frames, QByteArrayList{"CR0"});
    QVERIFY(!client.isClosed());
}

void TestSimPjlinkFailures::deviceMissingAtStart() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("projector"));
    BridgeRig rig(link);
    QVERIFY(!rig.line().isOpen());
    QVERIFY(rig.logHas(QStringLiteral("serial port closed")));
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    QCOMPARE(client.request("%1POWR ?"), QByteArray("%1POWR=ERR4"));

    VirtualProjector projector;
    QVERIFY(pointLink(link, projector.ptyPath()));
    QVERIFY(waitUntil([&] { return rig.line().isOpen(); }));
    QCOMPARE(client.request("%1POWR ?"), QByteArray("%1POWR=0"));
}

void TestSimPjlinkFailures::scriptedReplies_data() {
    QTest::addColumn<Replies>("replies");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArrayList>("frames");

    const Replies on{{"CR0", "00\r"}};
    QTest::addRow("command refused")
        << Replies{{"CR0", "00\r"}, {"C05", kNak}} << QByteArray("%1INPT 11")
        << QByteArray("%1INPT=ERR3") << QByteArrayList{"CR0", "C05"};
    QTest::addRow("second command refused")
        << Replies{{"CR0", "00\r"}, {"C0D", kAck}, {"C0B", kNak}} << QByteArray("%1AVMT 31")
        << QByteArray("%1AVMT=ERR3") << QByteArrayList{"CR0", "C0D", "C0B"};
    QTest::addRow("command answered with text")
        << Replies{{"CR0", "00\r"}, {"C06", "00\r"}} << QByteArray("%1INPT 12")
        << QByteArray("%1INPT=ERR4") << QByteArrayList{"CR0", "C06"};
    QTest::addRow("command unanswered") << on << QByteArray("%1POWR 0") << QByteArray("%1POWR=ERR4")
                                        << QByteArrayList{"CR0", "C01"};
    QTest::addRow("query refused") << Replies{{"CR0", kNak}} << QByteArray("%1POWR ?")
                                   << QByteArray("%1POWR=ERR3") << QByteArrayList{"CR0"};
    QTest::addRow("query acknowledged") << Replies{{"CR0", kAck}} << QByteArray("%1POWR ?")
                                        << QByteArray("%1POWR=ERR4") << QByteArrayList{"CR0"};
    QTest::addRow("unknown power code") << Replies{{"CR0", "77\r"}} << QByteArray("%1POWR ?")
                                        << QByteArray("%1POWR=ERR4") << QByteArrayList{"CR0"};
    QTest::addRow("power failure: POWR ?") << Replies{{"CR0", "10\r"}} << QByteArray("%1POWR ?")
                                           << QByteArray("%1POWR=ERR4") << QByteArrayList{"CR0"};
    QTest::addRow("power failure: ERST ?") << Replies{{"CR0", "10\r"}} << QByteArray("%1ERST ?")
                                           << QByteArray("%1ERST=000002") << QByteArrayList{"CR0"};
    QTest::addRow("power failure: POWR 1") << Replies{{"CR0", "10\r"}} << QByteArray("%1POWR 1")
                                           << QByteArray("%1POWR=ERR4") << QByteArrayList{"CR0"};
    QTest::addRow("lamp failure: ERST ?") << Replies{{"CR0", "81\r"}} << QByteArray("%1ERST ?")
                                          << QByteArray("%1ERST=020000") << QByteArrayList{"CR0"};
    QTest::addRow("lamp failure: LAMP ?")
        << Replies{{"CR0", "81\r"}, {"CR3", "02000\r"}} << QByteArray("%1LAMP ?")
        << QByteArray("%1LAMP=2000 0") << QByteArrayList{"CR0", "CR3"};
    QTest::addRow("temperature warning: ERST ?")
        << Replies{{"CR0", "08\r"}} << QByteArray("%1ERST ?") << QByteArray("%1ERST=001000")
        << QByteArrayList{"CR0"};
    QTest::addRow("temperature warning: POWR ?")
        << Replies{{"CR0", "08\r"}} << QByteArray("%1POWR ?") << QByteArray("%1POWR=1")
        << QByteArrayList{"CR0"};
    QTest::addRow("lamp time not a number")
        << Replies{{"CR0", "00\r"}, {"CR3", "12x45\r"}} << QByteArray("%1LAMP ?")
        << QByteArray("%1LAMP=ERR4") << QByteArrayList{"CR0", "CR3"};
    QTest::addRow("no signal") << Replies{{"CRA", "80\r"}} << QByteArray("%1AVMT ?")
                               << QByteArray("%1AVMT=ERR3") << QByteArrayList{"CRA"};
    QTest::addRow("input mode 4") << Replies{{"CR1", "4\r"}} << QByteArray("%1INPT ?")
                                  << QByteArray("%1INPT=ERR3") << QByteArrayList{"CR1"};
}

void TestSimPjlinkFailures::scriptedReplies() {
    QFETCH(Replies, replies);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArrayList, frames);

    ScriptedProjector projector(replies);
    QVERIFY(projector.isValid());
    BridgeRig rig(projector.device());
    QVERIFY(rig.isReady());
    Client client;
    QVERIFY(client.connectTo(rig.port()));
    QCOMPARE(client.request(request), answer);
    QCOMPARE(projector.frames, frames);
}

QTEST_GUILESS_MAIN(TestSimPjlinkFailures)
#include "tst_sim_pjlink_failures.moc"
