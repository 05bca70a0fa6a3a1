// The port keeper over the in-memory line: which port it opens and falls
// back to, how it words a failure, and its reopening on a timer.
#include "link/port_keeper.h"
#include "support/fake_serial.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using tavo::link::PortKeeper;
using tavo::test::FakeSerial;
using namespace std::chrono_literals;

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
    QTest::addColumn<QString>("commandLine");
    QTest::addRow("COM2 opens") << "" << 2 << 2 << ""
                                << "";
    QTest::addRow("COM2 missing: COM1 next")
        << "COM2 (/dev/b)" << 2 << 1 << "Cannot open COM2 (/dev/b): the device does not exist."
        << "prog: cannot open /dev/b: the device does not exist";
    QTest::addRow("COM1 missing: COM2 next")
        << "COM1 (/dev/a)" << 1 << 2 << "Cannot open COM1 (/dev/a): the device does not exist."
        << "prog: cannot open /dev/a: the device does not exist";
    QTest::addRow("no COM3: COM1 stays open") << "" << 3 << 1 << "There is no port COM3."
                                              << "";
}

void TestPortKeeper::switchTo() {
    QFETCH(QString, failing);
    QFETCH(int, number);
    QFETCH(int, chosen);
    QFETCH(QString, description);
    QFETCH(QString, commandLine);
    FakeSerial line;
    PortKeeper keeper(line, {QStringLiteral("/dev/a"), QStringLiteral("/dev/b")});
    QVERIFY(keeper.open());
    line.failingPorts = {failing};
    QCOMPARE(keeper.switchTo(number), description.isEmpty());
    QCOMPARE(keeper.portNumber(), chosen);
    QCOMPARE(line.isOpen(), number == 3 || description.isEmpty());
    QCOMPARE(keeper.errorDescription(), description);
    if (!commandLine.isEmpty())
        QCOMPARE(keeper.commandLineFailure(QStringLiteral("prog")), commandLine);
}

// Tried again at the interval, not at once; a failure said once per cause.
void TestPortKeeper::reopensOnItsTimer_data() {
    QTest::addColumn<bool>("lost");
    QTest::addRow("after a failed open") << false;
    QTest::addRow("after a lost device") << true;
}

void TestPortKeeper::reopensOnItsTimer() {
    QFETCH(bool, lost);
    constexpr auto kInterval = 300ms;
    FakeSerial line;
    PortKeeper keeper(line, {QStringLiteral("/dev/a")});
    keeper.reopenEvery(kInterval);
    QSignalSpy failed(&keeper, &PortKeeper::openFailed);
    line.failingPorts = {QStringLiteral("COM1 (/dev/a)")};
    QCOMPARE(keeper.open(), false);
    QTRY_VERIFY_WITH_TIMEOUT(line.attempts >= 3, 10000);
    QCOMPARE(failed.size(), 1);
    line.failingPorts.clear();
    if (lost) {
        QTRY_VERIFY(line.isOpen());
        line.loseDevice();
    }
    QElapsedTimer clock;
    clock.start();
    QSignalSpy opened(&keeper, &PortKeeper::opened);
    QVERIFY(opened.wait(10000));
    if (lost)
        QVERIFY(clock.elapsed() >= kInterval.count() * 6 / 10);
    QVERIFY(line.isOpen());
}

QTEST_GUILESS_MAIN(TestPortKeeper)
#include "tst_port_keeper.moc"
