// The tavo-pjlink program end to end: its command line, and the program
// serving the virtual projector program, reached over loopback with a
// password file, logging each request with its serial exchange.

#include "link/stop_signals.h"
#include "pjlink/authentication.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kTimeoutMs = 10'000;

QString program(const char* relativePath) {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/") +
           QLatin1String(relativePath);
}

QString bridgeProgram() {
    return program("tavo-pjlink/tavo-pjlink");
}
QString simulatorProgram() {
    return program("projector-sim/tavo-projector-sim");
}

// Reads a channel of a running process until the pattern matches.
QRegularExpressionMatch waitForMatch(QProcess& process, QByteArray& output,
                                     const QRegularExpression& pattern, bool standardError) {
    const QDeadlineTimer deadline(kTimeoutMs);
    for (;;) {
        const auto match = pattern.match(QString::fromLocal8Bit(output));
        if (match.hasMatch() || deadline.hasExpired())
            return match;
        process.waitForReadyRead(50);
        output += standardError ? process.readAllStandardError() : process.readAllStandardOutput();
    }
}

void stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(kTimeoutMs))
        process.kill();
    process.waitForFinished(kTimeoutMs);
}

// A blocking client: the bridge runs in another process.
QByteArray readLine(QTcpSocket& socket) {
    const QDeadlineTimer deadline(kTimeoutMs);
    QByteArray line;
    while (!line.endsWith('\r') && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(50))
            continue;
        line += socket.read(1);
    }
    return line.chopped(line.endsWith('\r') ? 1 : 0);
}

} // namespace

class TestSimPjlinkProgram : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void refusesBadOptions_data();
    void refusesBadOptions();
    void servesTheVirtualProjector();
    void waitsForAMissingDevice();
    void stopsCleanlyOnSignal_data();
    void stopsCleanlyOnSignal();

private:
    bool startBridge(const QStringList& arguments);

    QProcess simulator_;
    QProcess bridge_;
    QByteArray bridgeLog_;
    quint16 port_ = 0;
};

void TestSimPjlinkProgram::cleanup() {
    stop(bridge_);
    stop(simulator_);
    bridgeLog_.clear();
}

bool TestSimPjlinkProgram::startBridge(const QStringList& arguments) {
    bridge_.start(bridgeProgram(), arguments);
    if (!bridge_.waitForStarted(kTimeoutMs))
        return false;
    const auto match = waitForMatch(bridge_, bridgeLog_,
                                    QRegularExpression(QStringLiteral("port (\\d+) for")), true);
    port_ = quint16(match.captured(1).toUInt());
    return match.hasMatch();
}

void TestSimPjlinkProgram::refusesBadOptions_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::addRow("baud") << QStringList{"--baud", "1200"} << "--baud takes 19200 or 9600";
    QTest::addRow("model") << QStringList{"--model", "RC30"} << "--model takes RA20 or RB20";
    QTest::addRow("host name") << QStringList{"--listen", "projector.local"}
                               << "is not an IP address";
    QTest::addRow("port") << QStringList{"--listen", "127.0.0.1:99999"} << "not a port number";
    QTest::addRow("missing password file")
        << QStringList{"--password-file", "/nonexistent/password"}
        << "cannot read the password file /nonexistent/password";
    QTest::addRow("name too long") << QStringList{"--name", QString(65, QLatin1Char('n'))}
                                   << "is not 1 to 64 printable ASCII characters";
    QTest::addRow("stray argument") << QStringList{"secret"} << "unexpected argument";
    QTest::addRow("notifying itself")
        << QStringList{"--notify", "127.0.0.1"} << "is where this bridge listens";
}

void TestSimPjlinkProgram::refusesBadOptions() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    QProcess process;
    process.start(bridgeProgram(), arguments);
    QVERIFY(process.waitForFinished(kTimeoutMs));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    const QString output = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(output.contains(message), qPrintable(output));
}

void TestSimPjlinkProgram::servesTheVirtualProjector() {
    simulator_.start(simulatorProgram(), {});
    QVERIFY(simulator_.waitForStarted(kTimeoutMs));
    QByteArray simulatorOutput;
    const auto device = waitForMatch(simulator_, simulatorOutput,
                                     QRegularExpression(QStringLiteral("device: (\\S+)")), false);
    QVERIFY(device.hasMatch());

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A path of its own, so that no other program's lock on the pty's name
    // can stand in the way.
    const QString link = dir.filePath(QStringLiteral("projector"));
    QVERIFY(QFile::link(device.captured(1), link));
    QFile passwordFile(dir.filePath(QStringLiteral("password")));
    QVERIFY(passwordFile.open(QIODevice::WriteOnly));
    passwordFile.write("JBMIAProjectorLink\n");
    passwordFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    passwordFile.close();

    QVERIFY(
        startBridge({"--device", device.captured(1), "--listen", "127.0.0.1:0", "--password-file",
                     passwordFile.fileName(), "--name", "Hall A", "--model", "RB20"}));
    QVERIFY2(bridgeLog_.contains("authentication on"), bridgeLog_.constData());

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port_);
    QVERIFY(socket.waitForConnected(kTimeoutMs));
    const QByteArray greeting = readLine(socket);
    QVERIFY2(greeting.startsWith("PJLINK 1 "), greeting.constData());
    const QByteArray digest = tavo::pjlink::digestOf(greeting.mid(9), "JBMIAProjectorLink");
    socket.write(digest + "%1POWR ?\r");
    QCOMPARE(readLine(socket), QByteArray("%1POWR=0"));
    socket.write("%1INF2 ?\r%1NAME ?\r");
    QCOMPARE(readLine(socket), QByteArray("%1INF2=RB20"));
    QCOMPARE(readLine(socket), QByteArray("%1NAME=Hall A"));

    const auto logged = waitForMatch(
        bridge_, bridgeLog_,
        QRegularExpression(QStringLiteral(
            R"(127\.0\.0\.1:\d+ "%1POWR \?" -> "%1POWR=0" \| CR0 -> "80<CR>" Stand by \| )"
            R"(queued \d+\.\d\d ms, serial \d+\.\d\d ms, total \d+\.\d\d ms)")),
        true);
    QVERIFY2(logged.hasMatch(), bridgeLog_.constData());
    QVERIFY(!bridgeLog_.contains(digest));
    QVERIFY(!bridgeLog_.contains("JBMIAProjectorLink"));
}

void TestSimPjlinkProgram::waitsForAMissingDevice() {
    QVERIFY(startBridge({"--device", "/nonexistent/ttyUSB9", "--listen", "127.0.0.1:0"}));
    const auto closed = waitForMatch(
        bridge_, bridgeLog_,
        QRegularExpression(QStringLiteral("serial port closed: .*/nonexistent/ttyUSB9")), true);
    QVERIFY2(closed.hasMatch(), bridgeLog_.constData());

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port_);
    QVERIFY(socket.waitForConnected(kTimeoutMs));
    QCOMPARE(readLine(socket), QByteArray("PJLINK 0"));
    socket.write("%1POWR ?\r");
    QCOMPARE(readLine(socket), QByteArray("%1POWR=ERR4"));
    QCOMPARE(bridge_.state(), QProcess::Running);
}

void TestSimPjlinkProgram::stopsCleanlyOnSignal_data() {
    QTest::addColumn<int>("stopSignal");
    QTest::addRow("SIGTERM") << SIGTERM;
    QTest::addRow("SIGINT") << SIGINT;
    QTest::addRow("SIGHUP") << SIGHUP;
}

void TestSimPjlinkProgram::stopsCleanlyOnSignal() {
    QFETCH(int, stopSignal);
    QVERIFY(startBridge({"--device", "/nonexistent/ttyUSB9", "--listen", "127.0.0.1:0"}));
    QCOMPARE(::kill(pid_t(bridge_.processId()), stopSignal), 0);
    QVERIFY(bridge_.waitForFinished(kTimeoutMs));
    QCOMPARE(bridge_.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bridge_.exitCode(), 0);
    bridgeLog_ += bridge_.readAllStandardError();
    QVERIFY2(
        bridgeLog_.contains(QByteArray("stopped by ") + tavo::link::stopSignalName(stopSignal)),
        bridgeLog_.constData());
}

QTEST_GUILESS_MAIN(TestSimPjlinkProgram)
#include "tst_sim_pjlink_program.moc"
