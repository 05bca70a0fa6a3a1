// The one line tavo-ctl prints about a device it cannot open: the lock file
// Qt Serial Port would use for a device, and the cause told from it — a
// missing device, a lock held by a live process (named or not), a stale lock
// of a process long gone. Lock files go to a directory of the test's own.

#include "open_failure.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace tavo::ctl;

class TestCtlOpenFailure : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lockFileNames_data();
    void lockFileNames();
    void namesDeviceAndCause_data();
    void namesDeviceAndCause();
};

void TestCtlOpenFailure::lockFileNames_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("lockFile");
    QTest::addRow("serial port") << "/dev/ttyS0"
                                 << "LCK..ttyS0";
    QTest::addRow("USB adapter") << "/dev/ttyUSB1"
                                 << "LCK..ttyUSB1";
    QTest::addRow("pseudo-terminal") << "/dev/pts/7"
                                     << "LCK..pts_7";
    QTest::addRow("outside /dev") << "/tmp/port"
                                  << "LCK.._tmp_port";
}

void TestCtlOpenFailure::lockFileNames() {
    QFETCH(QString, device);
    QFETCH(QString, lockFile);
    QCOMPARE(lockFileName(device), lockFile);
}

// The device exists (this test's own program stands in for it) unless it is
// the missing one; pid 1 is always alive.
void TestCtlOpenFailure::namesDeviceAndCause_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QByteArray>("lockContent"); // empty: no lock file
    QTest::addColumn<QString>("message");

    const QString present = QCoreApplication::applicationFilePath();
    const QString cannotOpen = "tavo-ctl: cannot open " + present + ": ";
    QTest::addRow("missing device")
        << "/dev/tavo-no-such-device" << QByteArray()
        << "tavo-ctl: cannot open /dev/tavo-no-such-device: no such device (is the cable or USB "
           "adapter plugged in?)";
    QTest::addRow("locked by a live process")
        << present << QByteArray("1\nterminal-server\nhost\n")
        << cannotOpen + "in use by terminal-server (process 1)";
    QTest::addRow("locked by a live process without a name")
        << present << QByteArray("1\n\nhost\n") << cannotOpen + "in use by process 1";
    QTest::addRow("stale lock of a process long gone")
        << present << QByteArray("2147483646\nold\nhost\n")
        << cannotOpen + "the serial layer's words";
    QTest::addRow("no lock") << present << QByteArray() << cannotOpen + "the serial layer's words";
}

void TestCtlOpenFailure::namesDeviceAndCause() {
    QFETCH(QString, device);
    QFETCH(QByteArray, lockContent);
    QFETCH(QString, message);
    QTemporaryDir locks;
    QVERIFY(locks.isValid());
    if (!lockContent.isEmpty()) {
        QFile lock(locks.filePath(lockFileName(device)));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(lockContent);
    }
    QCOMPARE(
        describeOpenFailure(device, QStringLiteral("the serial layer's words"), {locks.path()}),
        message);
}

QTEST_GUILESS_MAIN(TestCtlOpenFailure)
#include "tst_ctl_open_failure.moc"
