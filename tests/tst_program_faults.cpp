// The panel program itself, on a pseudo-terminal, ended from outside and kept
// from its port by others: a stop signal and a lost display close the port
// and remove its lock file; an unprivileged user is told which of three
// things keeps it from the device.
#include "link/port_lock.h"
#include "support/panel_process.h"
#include "support/pseudo_terminal.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using tavo::test::PanelProcess;
using tavo::test::PseudoTerminal;

namespace {

constexpr auto kMissingDevice = "/dev/tavo-test-missing";
constexpr int kStartMs = 20000;

QStringList onPorts(const QString& com1,
                    const QString& com2 = QString::fromLatin1(kMissingDevice)) {
    return {QStringLiteral("--com1"), com1, QStringLiteral("--com2"), com2};
}

// Xvfb on a display number of its own choosing, for as long as the object lives.
class VirtualDisplay {
public:
    bool start() {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty())
            return false;
        // -displayfd writes the chosen number on the given descriptor; 1 is
        // the standard output here.
        server_.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"),
                             QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!server_.waitForStarted(5000))
            return false;
        if (!QTest::qWaitFor(
                [&] { return server_.canReadLine() || server_.state() != QProcess::Running; },
                kStartMs))
            return false;
        number_ = QString::fromLatin1(server_.readLine()).trimmed();
        return !number_.isEmpty();
    }
    QString display() const { return QLatin1Char(':') + number_; }
    void stop() {
        server_.terminate();
        server_.waitForFinished(5000);
    }
    ~VirtualDisplay() {
        if (server_.state() != QProcess::NotRunning) {
            server_.kill();
            server_.waitForFinished(5000);
        }
    }

private:
    QProcess server_;
    QString number_;
};

} // namespace

class TestProgramFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stopSignalClosesThePort_data();
    void stopSignalClosesThePort();
    void lostDisplayRemovesTheLockFile();
    void anotherUserIsToldWhatKeepsThePort_data();
    void anotherUserIsToldWhatKeepsThePort();
};

void TestProgramFaults::stopSignalClosesThePort_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("portOpen"); // else COM1 is missing and its box is up
    QTest::addColumn<QString>("said");
    QTest::addRow("SIGTERM") << int(SIGTERM) << true << "stopped by SIGTERM; the port is closed.";
    QTest::addRow("SIGINT") << int(SIGINT) << true << "stopped by SIGINT; the port is closed.";
    QTest::addRow("SIGHUP") << int(SIGHUP) << true << "stopped by SIGHUP; the port is closed.";
    QTest::addRow("SIGTERM while a warning box waits")
        << int(SIGTERM) << false << "stopped by SIGTERM; the port is closed.";
}

// The port closes, the lock file goes, nothing is written, and the program
// ends as the signal ends a program.
void TestProgramFaults::stopSignalClosesThePort() {
    QFETCH(int, signal);
    QFETCH(bool, portOpen);
    QFETCH(QString, said);

    PseudoTerminal line;
    QVERIFY(line.isValid());
    const QString lockFile = tavo::link::lockFilePath(line.devicePath());
    PanelProcess panel(onPorts(portOpen ? line.devicePath() : QString::fromLatin1(kMissingDevice)));
    QVERIFY(panel.start());
    if (portOpen)
        QVERIFY2(tavo::test::waitForLock(lockFile, panel.pid(), kStartMs),
                 qPrintable(panel.errorOutput()));
    else
        QVERIFY2(panel.waitForErrorOutput(QStringLiteral("does not exist"), kStartMs),
                 qPrintable(panel.errorOutput()));

    panel.sendSignal(signal);

    QVERIFY(panel.waitForEnd());
    QCOMPARE(panel.process().exitStatus(), QProcess::CrashExit);
    QCOMPARE(panel.process().exitCode(), signal);
    QVERIFY(!QFile::exists(lockFile));
    QVERIFY2(panel.errorOutput().contains(said), qPrintable(panel.errorOutput()));
    QCOMPARE(line.readAvailable(), QByteArray());
}

// Qt's X11 connection ends the program with exit(1) when the server goes: the
// exit handler still removes the port's lock file, and says so.
void TestProgramFaults::lostDisplayRemovesTheLockFile() {
    VirtualDisplay display;
    if (!display.start())
        QSKIP("Xvfb is not installed or did not start (scripts/install-deps installs it)");
    PseudoTerminal line;
    QVERIFY(line.isValid());
    const QString lockFile = tavo::link::lockFilePath(line.devicePath());
    PanelProcess panel(onPorts(line.devicePath()));
    panel.useDisplay(display.display());
    QVERIFY(panel.start());
    QVERIFY2(tavo::test::waitForLock(lockFile, panel.pid(), kStartMs),
             qPrintable(panel.errorOutput()));

    display.stop();

    QVERIFY(panel.waitForEnd());
    QCOMPARE(panel.process().exitStatus(), QProcess::NormalExit);
    QVERIFY(!QFile::exists(lockFile));
    QVERIFY2(panel.errorOutput().contains(
                 QStringLiteral("ending without closing COM1 (%1); its lock file %2 is removed.")
                     .arg(line.devicePath(), lockFile)),
             qPrintable(panel.errorOutput()));
    QCOMPARE(line.readAvailable(), QByteArray());
}

void TestProgramFaults::anotherUserIsToldWhatKeepsThePort_data() {
    QTest::addColumn<QString>("keeper");   // "group", "stale lock", "running panel"
    QTest::addColumn<QStringList>("said"); // with {device}, {lock} and {pid}
    QTest::addRow("not in the device's group")
        << "group"
        << QStringList{"Cannot open COM1 ({device}): no permission to read and write {device} (it "
                       "belongs to "
                       "the group dialout); add yourself to that group (sudo adduser $USER "
                       "dialout) and log in again"};
    QTest::addRow("a stale lock file of another user")
        << "stale lock"
        << QStringList{
               "Cannot open COM1 ({device}): the lock file {lock}, left by process {pid}, which "
               "has ended, blocks the device; it belongs to user root",
               "sudo rm {lock}"};
    QTest::addRow("another user's panel holds the port")
        << "running panel"
        << QStringList{"Cannot open COM1 ({device}): the device is in use by tavo-control "
                       "(process {pid}), which holds its lock file {lock}"};
}

// As the user nobody, on a pseudo-terminal that belongs to root.
void TestProgramFaults::anotherUserIsToldWhatKeepsThePort() {
    QFETCH(QString, keeper);
    QFETCH(QStringList, said);

    const auto nobody = tavo::test::unprivilegedUser();
    if (::geteuid() != 0 || !nobody)
        QSKIP("needs root to run the program as the user nobody");
    PanelProcess probe({QStringLiteral("--version")});
    probe.runAs(nobody->uid, nobody->gid);
    if (!probe.start() || !probe.waitForEnd() || probe.process().exitCode() != 0)
        QSKIP("the user nobody cannot run the program from this build directory");

    PseudoTerminal line;
    QVERIFY(line.isValid());
    const QString device = line.devicePath();
    const QString lockFile = tavo::link::lockFilePath(device);
    const QByteArray node = QFile::encodeName(device);
    if (keeper == QLatin1String("group")) {
        // As a serial device is on Debian: root's, and the group dialout's.
        const group* dialout = ::getgrnam("dialout");
        if (!dialout)
            QSKIP("this system has no group dialout");
        QCOMPARE(::chown(node.constData(), 0, dialout->gr_gid), 0);
        QCOMPARE(::chmod(node.constData(), 0660), 0);
    } else {
        QCOMPARE(::chmod(node.constData(), 0666), 0);
    }

    qint64 pid = 0;
    PanelProcess holder(onPorts(device));
    if (keeper == QLatin1String("stale lock")) {
        pid = tavo::test::endedProcessId();
        QVERIFY(
            tavo::test::writeLockFile(lockFile, QByteArray::number(pid) + "\ntavo-control\n\n"));
    } else if (keeper == QLatin1String("running panel")) {
        QVERIFY(holder.start());
        pid = holder.pid();
        QVERIFY2(tavo::test::waitForLock(lockFile, pid, kStartMs),
                 qPrintable(holder.errorOutput()));
    }

    PanelProcess panel(onPorts(device));
    panel.runAs(nobody->uid, nobody->gid);
    QVERIFY(panel.start());
    const QString first = tavo::test::filledIn(said.first(), device, lockFile, pid);
    QVERIFY2(panel.waitForErrorOutput(first, kStartMs), qPrintable(panel.errorOutput()));
    for (const QString& part : said)
        QVERIFY2(panel.errorOutput().contains(tavo::test::filledIn(part, device, lockFile, pid)),
                 qPrintable(panel.errorOutput()));
    QCOMPARE(panel.errorOutput().count(QStringLiteral("Cannot open")), 1);

    // Alive behind its box, and it ends on request.
    QCOMPARE(panel.process().state(), QProcess::Running);
    panel.sendSignal(SIGTERM);
    QVERIFY(panel.waitForEnd());
    QCOMPARE(line.readAvailable(), QByteArray());
    if (keeper == QLatin1String("stale lock"))
        QVERIFY(QFile::remove(lockFile));
    if (keeper == QLatin1String("running panel")) {
        holder.sendSignal(SIGTERM);
        QVERIFY(holder.waitForEnd());
        QVERIFY(!QFile::exists(lockFile));
    }
}

QTEST_GUILESS_MAIN(TestProgramFaults)
#include "tst_program_faults.moc"
