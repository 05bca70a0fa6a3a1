// What can happen to the device, with the window on real pseudo-terminals:
// missing or held by another program at start-up, lost while open and back
// again, a line that takes no more bytes, a hold key repeating at 5 ms into a
// silent projector. Each case ends with the window alive, nothing on the line
// that the user did not ask for, and at most one box, naming the cause.
#include "commands/controller.h"
#include "exchange/exchange.h"
#include "link/port_keeper.h"
#include "link/port_lock.h"
#include "link/serial_control.h"
#include "support/panel_process.h"
#include "support/pty_rig.h"
#include "support/window_rig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <unistd.h>

using namespace tavo;
using tavo::test::PseudoTerminal;
using tavo::test::PtyRig;

namespace {

constexpr auto kMissingDevice = "/dev/tavo-test-missing";
constexpr int kStartMs = 20000;

// This process's resident memory in kilobytes.
qint64 residentKilobytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * (::sysconf(_SC_PAGESIZE) / 1024);
}

link::SerialControl& serialControl(const PtyRig& rig) {
    return static_cast<link::SerialControl&>(rig.form->serialPort());
}

} // namespace

class TestPortFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void openFailureAtStartNamesTheCause_data();
    void openFailureAtStartNamesTheCause();
    void lostDeviceIsReopenedWhenBack_data();
    void lostDeviceIsReopenedWhenBack();
    void lineThatTakesNothingRefusesFurtherFrames_data();
    void lineThatTakesNothingRefusesFurtherFrames();
    void holdAtFiveMillisecondsStaysBounded();
};

void TestPortFaults::init() {
    QVERIFY(PseudoTerminal().isValid());
}

void TestPortFaults::openFailureAtStartNamesTheCause_data() {
    QTest::addColumn<QString>("keeper");   // who keeps COM1 from the window
    QTest::addColumn<QStringList>("said"); // empty: the port opens; {device}, {lock}, {pid}
    QTest::addRow("device missing")
        << "missing"
        << QStringList{"Cannot open COM1 (/dev/tavo-test-missing): the device does not exist "
                       "(is the cable or USB adapter plugged in?)."};
    QTest::addRow("another panel holds the device")
        << "running panel"
        << QStringList{"Cannot open COM1 ({device}): the device is in use by tavo-control "
                       "(process {pid}), which holds its lock file {lock}; end that program or "
                       "choose another port."};
    QTest::addRow("a lock file names another running program")
        << "running sleep"
        << QStringList{"Cannot open COM1 ({device}): the device is in use by sleep (process "
                       "{pid})"};
    QTest::addRow("a stale lock file of this user is taken over") << "stale lock" << QStringList{};
}

void TestPortFaults::openFailureAtStartNamesTheCause() {
    QFETCH(QString, keeper);
    QFETCH(QStringList, said);

    PseudoTerminal line;
    const QString device = keeper == QLatin1String("missing") ? QString::fromLatin1(kMissingDevice)
                                                              : line.devicePath();
    const QString lockFile = link::lockFilePath(device);
    qint64 pid = 0;
    test::PanelProcess otherPanel({QStringLiteral("--com1"), device, QStringLiteral("--com2"),
                                   QString::fromLatin1(kMissingDevice)});
    QProcess sleeper;
    if (keeper == QLatin1String("running panel")) {
        QVERIFY(otherPanel.start());
        pid = otherPanel.pid();
        QVERIFY2(test::waitForLock(lockFile, pid, kStartMs), qPrintable(otherPanel.errorOutput()));
    } else if (keeper == QLatin1String("running sleep")) {
        sleeper.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        QVERIFY(sleeper.waitForStarted());
        pid = sleeper.processId();
        QVERIFY(test::writeLockFile(lockFile, QByteArray::number(pid) + "\nsleep\n\n"));
    } else if (keeper == QLatin1String("stale lock")) {
        QVERIFY(test::writeLockFile(lockFile, QByteArray::number(test::endedProcessId()) +
                                                  "\ntavo-control\n\n"));
    }

    PtyRig rig(device);

    auto* portPanel = rig.find<QFrame>("Frame8");
    if (said.isEmpty()) {
        QVERIFY(rig.portOpen());
        rig.click("Command17");
        QCOMPARE(line.readAtLeast(4), QByteArray("C00\r"));
        QTest::qWait(50);
        QVERIFY(rig.warnings.texts.isEmpty());
        return;
    }
    QVERIFY(!rig.portOpen());
    QTRY_COMPARE(rig.warnings.texts.size(), 1);
    for (const QString& part : said)
        QVERIFY2(rig.warnings.texts[0].contains(test::filledIn(part, device, lockFile, pid)),
                 qPrintable(rig.warnings.texts[0]));
    QCOMPARE(rig.warnings.titles[0], rig.form->windowTitle());
    QVERIFY(rig.find<QRadioButton>("Option1")->isChecked());
    QCOMPARE(rig.form->portKeeper().portNumber(), 1);

    // A click goes nowhere and shows where to choose a port; no second box.
    rig.click("Command17");
    QVERIFY(portPanel->isVisible());
    QTest::qWait(50);
    QCOMPARE(rig.warnings.texts.size(), 1);
    QCOMPARE(line.readAvailable(), QByteArray());

    if (keeper == QLatin1String("running panel")) {
        // The other panel ends; COM1 chosen in the port panel now opens.
        otherPanel.sendSignal(SIGTERM);
        QVERIFY(otherPanel.waitForEnd());
        rig.click("Option1");
        QVERIFY(rig.portOpen());
        QVERIFY(!portPanel->isVisible());
        rig.click("Command17");
        QCOMPARE(line.readAtLeast(4), QByteArray("C00\r"));
    }
    if (keeper == QLatin1String("running sleep")) {
        sleeper.kill();
        sleeper.waitForFinished();
        QFile::remove(lockFile);
    }
}

void TestPortFaults::lostDeviceIsReopenedWhenBack_data() {
    QTest::addColumn<QByteArray>("replyBegun"); // part of a reply before the loss
    QTest::addRow("lost while idle") << QByteArray();
    QTest::addRow("lost while a reply arrives") << QByteArray("0");
}

// COM1 is a link to the device, as /dev/serial/by-id/... is to a USB
// adapter: the device goes (a hang-up), comes back as another device behind
// the same name, and is opened again from the port panel.
void TestPortFaults::lostDeviceIsReopenedWhenBack() {
    QFETCH(QByteArray, replyBegun);

    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString link = directory.filePath(QStringLiteral("ttyCOM1"));
    auto first = std::make_unique<PseudoTerminal>();
    QVERIFY(QFile::link(first->devicePath(), link));
    PtyRig rig(link);
    QVERIFY(rig.portOpen());
    if (!replyBegun.isEmpty()) {
        rig.click("Command44");
        QCOMPARE(first->readAtLeast(4), QByteArray("CR0\r"));
        first->write(replyBegun);
        QTRY_COMPARE(rig.form->exchange().replyBuffer(), replyBegun);
    }

    first.reset();

    QTRY_VERIFY_WITH_TIMEOUT(!rig.portOpen(), 5000);
    QTRY_COMPARE(rig.warnings.texts.size(), 1);
    const QString box = rig.warnings.texts[0];
    QVERIFY2(box.startsWith(QStringLiteral("COM1 (%1) was disconnected: the device stopped working "
                                           "while open")
                                .arg(link)),
             qPrintable(box));
    QVERIFY2(box.endsWith(QLatin1String("choose COM1 or COM2 in the port panel (COM) to open it "
                                        "again.")),
             qPrintable(box));
    // Nothing of an errno that an earlier call left behind.
    for (const char* stale : {"No such file", "Resource temporarily", "Input/output"})
        QVERIFY2(!box.contains(QLatin1String(stale)), qPrintable(box));
    QVERIFY(!QFile::exists(link::lockFilePath(link)));

    // While the device is away a click writes nothing and shows the port panel.
    rig.click("Command17");
    QVERIFY(rig.find<QFrame>("Frame8")->isVisible());

    PseudoTerminal second;
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(second.devicePath(), link));
    rig.click("Option1");
    QVERIFY(rig.portOpen());
    QVERIFY(!rig.find<QFrame>("Frame8")->isVisible());
    rig.click("Command17");
    QCOMPARE(second.readAtLeast(4), QByteArray("C00\r"));
    QTest::qWait(50);
    QCOMPARE(rig.warnings.texts.size(), 1);
}

void TestPortFaults::lineThatTakesNothingRefusesFurtherFrames_data() {
    QTest::addColumn<bool>("portChosenAgain"); // else the line drains
    QTest::addRow("then the line takes the bytes") << false;
    QTest::addRow("then COM1 is chosen again") << true;
}

// The projector's end of the line reads nothing: the kernel takes what it
// can, the port queues the rest of a long typed frame, and then refuses
// further frames with one box instead of piling them up. The way out: the
// line takes the bytes after all, or choosing the port again drops them; the
// next click then goes out as usual.
void TestPortFaults::lineThatTakesNothingRefusesFurtherFrames() {
    QFETCH(bool, portChosenAgain);

    PtyRig rig;
    QVERIFY(rig.portOpen());
    const QString typed(30000, QLatin1Char('A'));
    rig.find<QLineEdit>("Text1")->setText(typed);
    rig.click("Command95");
    QTRY_VERIFY(serialControl(rig).pendingOutput() >= link::SerialControl::kOutputBacklogLimit);

    // Each refused click shows the port panel and leaves the typed frame's
    // reply time running (a refused frame is not shown as sent: tst_exchange);
    // one box for the stall.
    for (const char* sender : {"Command17", "Command18"}) {
        rig.find<QFrame>("Frame8")->hide();
        const int replyTimeLeft = rig.form->exchange().replyTimer().remainingTime();
        rig.click(sender);
        QVERIFY(rig.find<QFrame>("Frame8")->isVisible());
        QVERIFY(rig.form->exchange().replyTimer().remainingTime() <= replyTimeLeft);
    }

    QTRY_COMPARE(rig.warnings.texts.size(), 1);
    QVERIFY2(rig.warnings.texts[0].startsWith(
                 QStringLiteral("COM1 (%1) still has ").arg(rig.com1.devicePath())),
             qPrintable(rig.warnings.texts[0]));
    QVERIFY(rig.portOpen());

    QByteArray wire;
    if (portChosenAgain) {
        rig.click("Command33");
        rig.click("Option1");
        QVERIFY(rig.portOpen());
        QCOMPARE(serialControl(rig).pendingOutput(), 0);
        wire = rig.com1.readAvailable();
        QVERIFY(wire.size() < typed.size());
    } else {
        wire = rig.com1.readAtLeast(typed.size() + 1, 10000);
        QTRY_COMPARE(serialControl(rig).pendingOutput(), 0);
        wire += rig.com1.readAvailable();
        QCOMPARE(wire.size(), typed.size() + 1);
    }
    // Only the typed frame was on the line, whole or cut short.
    QVERIFY((typed.toLatin1() + '\r').startsWith(wire));

    rig.click("Command17");
    QCOMPARE(rig.com1.readAtLeast(4), QByteArray("C00\r"));
    QCOMPARE(rig.warnings.texts.size(), 1);
}

// Arrow right after a D.Zoom release repeats every 5 ms; the projector is
// silent but the line takes every byte. Held for a few seconds here: memory
// after the first second and the output waiting in the port stay flat, so a
// minute's hold (12000 frames) holds them too.
void TestPortFaults::holdAtFiveMillisecondsStaysBounded() {
    constexpr int kHoldMs = 3000;
    constexpr int kWarmUpMs = 1000;
    constexpr int kRepeatMs = 5;
    PtyRig rig;
    QVERIFY(rig.portOpen());
    QWidget* zoom = rig.find<QWidget>("Command48");
    QTest::mousePress(zoom, Qt::LeftButton);
    QTest::mouseRelease(zoom, Qt::LeftButton);
    QCOMPARE(rig.form->controller().repeatTimer().interval(), kRepeatMs);
    QCOMPARE(rig.com1.readAtLeast(4), QByteArray("C30\r"));

    QWidget* right = rig.find<QWidget>("Command8");
    QElapsedTimer clock;
    clock.start();
    QTest::mousePress(right, Qt::LeftButton);
    QByteArray wire;
    qint64 mostPending = 0;
    qint64 memoryAfterWarmUp = 0;
    while (clock.elapsed() < kHoldMs) {
        tavo::test::runEventLoopFor(20);
        wire += rig.com1.readAvailable();
        mostPending = std::max(mostPending, serialControl(rig).pendingOutput());
        if (memoryAfterWarmUp == 0 && clock.elapsed() >= kWarmUpMs)
            memoryAfterWarmUp = residentKilobytes();
    }
    const qint64 memoryAtEnd = residentKilobytes();
    QTest::mouseRelease(right, Qt::LeftButton);
    tavo::test::runEventLoopFor(50);
    wire += rig.com1.readAvailable();

    const qsizetype frames = wire.size() / 4;
    QCOMPARE(wire, QByteArray("C3A\r").repeated(frames));
    const int expected = kHoldMs / kRepeatMs;
    QVERIFY2(frames >= expected * 6 / 10 && frames <= expected * 14 / 10,
             qPrintable(QStringLiteral("%1 frames in %2 ms").arg(frames).arg(kHoldMs)));
    QVERIFY2(mostPending <= 64, qPrintable(QStringLiteral("%1 bytes waiting").arg(mostPending)));
    QVERIFY2(memoryAtEnd - memoryAfterWarmUp < 1024,
             qPrintable(QStringLiteral("%1 kB more after %2 frames")
                            .arg(memoryAtEnd - memoryAfterWarmUp)
                            .arg(frames)));
    QVERIFY(rig.form->exchange().replyBuffer().isEmpty());
    QVERIFY(rig.warnings.texts.isEmpty());
    qInfo("%lld frames in %d ms; at most %lld bytes waiting; memory %+lld kB after warm-up",
          static_cast<long long>(frames), kHoldMs, static_cast<long long>(mostPending),
          static_cast<long long>(memoryAtEnd - memoryAfterWarmUp));
}

QTEST_MAIN(TestPortFaults)
#include "tst_port_faults.moc"
