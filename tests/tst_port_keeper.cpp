// The port keeper over the in-memory line: the port it opens or falls back to,
// the wording of a failure, reopening on its timer, said once per cause.
#include "link/port_keeper.h"
#include "support/fake_serial.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTest>

using tavo::link::PortKeeper;
using tavo::test::FakeSerial;

class TestPortKeeper : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void switchTo_data();
    void switchTo();
    void reopensOnItsTimer_data();
    void reopensOnItsTimer();
};

void TestPortKeeper::switchTo_data() {
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("description");
    QTest::addRow("COM2 opens") << QString() << 2 << 2 << QString();
    QTest::addRow("COM2 missing: COM1 next")
        << "COM2 (/dev/b)" << 2 << 1 << "Cannot open COM2 (/dev/b): the device does not exist.";
    QTest::addRow("no COM3: COM1 stays") << QString() << 3 << 1 << "There is no port COM3.";
}

void TestPortKeeper::switchTo() {
    QFETCH(QString, failing);
    QFETCH(int, number);
    QFETCH(int, chosen);
    QFETCH(QString, description);
    FakeSerial line;
    PortKeeper keeper(line, {QStringLiteral("/dev/a"), QStringLiteral("/dev/b")});
    QVERIFY(keeper.open());
    line.failingPorts = {failing};
    QCOMPARE(keeper.switchTo(number), description.isEmpty());
    QCOMPARE(keeper.portNumber(), chosen);
    QCOMPARE(line.isOpen(), number == 3 || description.isEmpty());
    QCOMPARE(keeper.errorDescription(), description);
}

void TestPortKeeper::reopensOnItsTimer_data() {
    QTest::addColumn<bool>("lost");
    QTest::addRow("after a failed open") << false;
    QTest::addRow("after a lost device") << true;
}

void TestPortKeeper::reopensOnItsTimer() {
    QFETCH(bool, lost);
    const std::chrono::milliseconds kInterval{300};
    FakeSerial line;
    PortKeeper keeper(line, {QStringLiteral("/dev/a")});
    keeper.reopenEvery(kInterval);
    QSignalSpy failed(&keeper, &PortKeeper::openFailed);
    line.failingPorts = {QStringLiteral("/dev/a")}; // one device: named by its path
    QCOMPARE(keeper.open(), false);
    QTRY_VERIFY_WITH_TIMEOUT(line.attempts >= 3, 10000);
    QCOMPARE(failed.size(), 1);
    line.failingPorts.clear();
    if (lost) {
        QTRY_VERIFY(line.isOpen());
        line.loseDevice();
    }
    const QDeadlineTimer earliest(kInterval * 6 / 10); // a reopen comes no sooner
    QSignalSpy opened(&keeper, &PortKeeper::opened);
    QVERIFY(opened.wait(10000));
    if (lost)
        QVERIFY(earliest.hasExpired());
}

QTEST_GUILESS_MAIN(TestPortKeeper)
#include "tst_port_keeper.moc"
