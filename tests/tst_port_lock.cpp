// The port's lock file: found where Qt Serial Port keeps it, read in both
// formats and bounded, turned into a message naming who keeps the device, and
// removed on the way out only while it is still this process's own.
#include "link/port_diagnosis.h"
#include "link/port_lock.h"
#include "support/panel_process.h"
#include "support/pseudo_terminal.h"

#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>

#include <sys/wait.h>
#include <unistd.h>

using namespace tavo;

namespace {

QString ownProcessName() {
    QFile comm(QStringLiteral("/proc/self/comm"));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                                          : QString();
}

QByteArray ownPid() {
    return QByteArray::number(qint64(::getpid()));
}

// What a lock file row puts in the file; "none" leaves no file.
QByteArray lockContents(const QString& kind, qint64 endedPid) {
    if (kind == QLatin1String("this process"))
        return ownPid() + "\ntst_port_lock\nhost\n";
    if (kind == QLatin1String("this process, older format"))
        return ownPid().rightJustified(10, ' ') + '\n';
    if (kind == QLatin1String("this process, pid name user"))
        return ownPid() + " minicom someone\n";
    if (kind == QLatin1String("this process, binary pid")) {
        const int pid = int(::getpid());
        return QByteArray(reinterpret_cast<const char*>(&pid), sizeof pid);
    }
    if (kind == QLatin1String("ended process"))
        return QByteArray::number(endedPid) + "\ntavo-control\nhost\n";
    if (kind == QLatin1String("no number"))
        return "tavo-control\n";
    if (kind == QLatin1String("negative"))
        return "-5\n";
    if (kind == QLatin1String("a megabyte of digits"))
        return QByteArray(1024 * 1024, '7');
    return {};
}

// A child process that holds path as its own lock file, registers it for
// removal at exit, may forget it or see it taken by someone else, and then
// ends through exit(). Returns what it printed on its standard error.
QString endChildHoldingLock(const QString& path, const QString& afterRegistering) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return QStringLiteral("(no pipe)");
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeEnds[1], STDERR_FILENO);
        test::writeLockFile(path, ownPid() + "\ntst_port_lock\n\n");
        link::removeLockAtExit(path, QStringLiteral("note: removed %1").arg(path));
        if (afterRegistering == QLatin1String("port closed"))
            link::forgetLockAtExit(path);
        else if (afterRegistering == QLatin1String("taken by another process"))
            test::writeLockFile(path, "1\ninit\n\n");
        std::exit(1);
    }
    ::close(pipeEnds[1]);
    ::waitpid(child, nullptr, 0);
    QFile output;
    output.open(pipeEnds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return QString::fromLocal8Bit(output.readAll());
}

} // namespace

class TestPortLock : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lockFileIsNamedAfterTheDevice_data();
    void lockFileIsNamedAfterTheDevice();
    void lockFileIsTheOneQtKeeps();
    void lockFileIsRead_data();
    void lockFileIsRead();
    void openFailureNamesTheCause_data();
    void openFailureNamesTheCause();
    void exitRemovesOnlyOwnOpenLocks_data();
    void exitRemovesOnlyOwnOpenLocks();
};

void TestPortLock::lockFileIsNamedAfterTheDevice_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("name");
    QTest::addRow("USB adapter") << "/dev/ttyUSB0"
                                 << "/LCK..ttyUSB0";
    QTest::addRow("pseudo-terminal") << "/dev/pts/7"
                                     << "/LCK..pts_7";
    QTest::addRow("link by id") << "/dev/serial/by-id/usb-FTDI_0-port0"
                                << "/LCK..serial_by-id_usb-FTDI_0-port0";
    QTest::addRow("link outside /dev") << "/tmp/x/ttyCOM1"
                                       << "/LCK.._tmp_x_ttyCOM1";
}

void TestPortLock::lockFileIsNamedAfterTheDevice() {
    QFETCH(QString, device);
    QFETCH(QString, name);
    const QString path = link::lockFilePath(device);
    QVERIFY2(path.endsWith(name), qPrintable(path));
    const QString directory = path.chopped(name.size());
    QVERIFY2(link::lockDirectoriesText().split(QStringLiteral(", ")).contains(directory),
             qPrintable(directory));
}

void TestPortLock::lockFileIsTheOneQtKeeps() {
    test::PseudoTerminal line;
    QVERIFY(line.isValid());
    const QString path = link::lockFilePath(line.devicePath());
    QSerialPort port(line.devicePath());
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    const auto holder = link::readLockFile(path);
    QVERIFY(holder);
    QCOMPARE(holder->pid, qint64(::getpid()));
    QVERIFY(holder->running);
    QCOMPARE(holder->program, ownProcessName());
    port.close();
    QVERIFY(!QFile::exists(path));
}

void TestPortLock::lockFileIsRead_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("namesProcess"); // else the pid reads as 0
    QTest::addColumn<bool>("running");
    for (const char* kind : {"this process", "this process, older format",
                             "this process, pid name user", "this process, binary pid"})
        QTest::addRow("%s", kind) << kind << true << true;
    QTest::addRow("ended process") << "ended process" << true << false;
    for (const char* kind : {"no number", "negative", "a megabyte of digits", "empty"})
        QTest::addRow("%s", kind) << kind << false << false;
}

void TestPortLock::lockFileIsRead() {
    QFETCH(QString, kind);
    QFETCH(bool, namesProcess);
    QFETCH(bool, running);
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("LCK..ttyS9"));
    QVERIFY(!link::readLockFile(path));
    const qint64 ended = test::endedProcessId();
    QVERIFY(test::writeLockFile(path, lockContents(kind, ended)));

    const auto holder = link::readLockFile(path);

    QVERIFY(holder);
    const qint64 expectedPid = kind == QLatin1String("ended process") ? ended : ::getpid();
    QCOMPARE(holder->pid, namesProcess ? expectedPid : 0);
    QCOMPARE(holder->running, running);
    QCOMPARE(holder->program, running ? ownProcessName() : QString());
    QCOMPARE(holder->fileOwner, QFileInfo(path).owner());
}

void TestPortLock::openFailureNamesTheCause_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("qtText");
    QTest::addColumn<QString>("lock"); // a kind of lockContents(); "none" for no file
    QTest::addColumn<bool>("deviceMissing");
    QTest::addColumn<QString>("said"); // with {device}, {lock}, {pid}
    const int permission = QSerialPort::PermissionError;
    QTest::addRow("device missing")
        << int(QSerialPort::DeviceNotFoundError) << "No such file or directory"
        << "none" << true << "the device does not exist (is the cable or USB adapter plugged in?)";
    QTest::addRow("lock of a running program")
        << permission << "Permission error while locking the device"
        << "this process" << false
        << "the device is in use by {name} (process {pid}), which holds its lock file {lock}; "
           "end that program or choose another port";
    QTest::addRow("lock of an ended program")
        << permission << "Permission error while locking the device"
        << "ended process" << false
        << "the lock file {lock}, left by process {ended}, which has ended, blocks the device; it "
           "belongs to user {user}, so only they or an administrator can remove it: sudo rm {lock}";
    QTest::addRow("lock naming no program")
        << permission << "Permission error while locking the device"
        << "no number" << false
        << "the lock file {lock}, which names no running program, blocks the device";
    QTest::addRow("refused without a lock")
        << permission << "Device or resource busy"
        << "none" << false << "the device refuses to open [Device or resource busy]";
    QTest::addRow("already open") << int(QSerialPort::OpenError) << ""
                                  << "none" << false << "the device is already open";
    QTest::addRow("anything else") << int(QSerialPort::UnknownError) << "Odd trouble"
                                   << "none" << false << "the device cannot be used [Odd trouble]";
}

void TestPortLock::openFailureNamesTheCause() {
    QFETCH(int, error);
    QFETCH(QString, qtText);
    QFETCH(QString, lock);
    QFETCH(bool, deviceMissing);
    QFETCH(QString, said);
    test::PseudoTerminal line;
    const QString device =
        deviceMissing ? QStringLiteral("/dev/tavo-test-missing") : line.devicePath();
    const QString lockFile = link::lockFilePath(device);
    const qint64 ended = test::endedProcessId();
    if (lock != QLatin1String("none"))
        QVERIFY(test::writeLockFile(lockFile, lockContents(lock, ended)));

    const QString owner = QFileInfo(lockFile).owner();

    const QString text =
        link::explainOpenFailure(device, static_cast<QSerialPort::SerialPortError>(error), qtText);
    QFile::remove(lockFile);

    const QString expected = test::filledIn(said, device, lockFile, ::getpid())
                                 .replace(QLatin1String("{name}"), ownProcessName())
                                 .replace(QLatin1String("{ended}"), QString::number(ended))
                                 .replace(QLatin1String("{user}"), owner);
    QVERIFY2(text.startsWith(expected), qPrintable(text + QStringLiteral("\n") + expected));
}

void TestPortLock::exitRemovesOnlyOwnOpenLocks_data() {
    QTest::addColumn<QString>("afterRegistering");
    QTest::addColumn<bool>("removed");
    QTest::addRow("port still open") << "nothing" << true;
    QTest::addRow("port closed before the end") << "port closed" << false;
    QTest::addRow("file taken by another process meanwhile") << "taken by another process" << false;
}

void TestPortLock::exitRemovesOnlyOwnOpenLocks() {
    QFETCH(QString, afterRegistering);
    QFETCH(bool, removed);
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("LCK..ttyS9"));

    const QString printed = endChildHoldingLock(path, afterRegistering);

    QCOMPARE(!QFile::exists(path), removed);
    QCOMPARE(printed.contains(QStringLiteral("note: removed %1\n").arg(path)), removed);
}

QTEST_GUILESS_MAIN(TestPortLock)
#include "tst_port_lock.moc"
