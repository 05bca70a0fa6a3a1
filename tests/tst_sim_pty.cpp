// The simulator program end to end: started as a process, reached through
// the pseudo-terminal device it prints, as the panel reaches it.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSerialPort>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kTimeoutMs = 10'000;
constexpr char kAck = 6;
constexpr char kNak = 21;

QString simulatorProgram() {
    return QCoreApplication::applicationDirPath() + "/../tools/projector-sim/tavo-projector-sim";
}

// Collects the program's standard output until it holds the wanted text.
bool waitForOutput(QProcess& process, QByteArray& output, const QByteArray& wanted) {
    const QDeadlineTimer deadline(kTimeoutMs);
    while (!output.contains(wanted)) {
        if (deadline.hasExpired() || !process.waitForReadyRead(int(deadline.remainingTime())))
            return false;
        output += process.readAllStandardOutput();
    }
    return true;
}

// Reads until count bytes are in, in whatever pieces they come.
QByteArray readBytes(QSerialPort& port, qsizetype count) {
    const QDeadlineTimer deadline(kTimeoutMs);
    QByteArray bytes = port.readAll();
    while (bytes.size() < count && !deadline.hasExpired()) {
        if (port.waitForReadyRead(int(deadline.remainingTime())))
            bytes += port.readAll();
    }
    return bytes;
}

bool openPort(QSerialPort& port, const QString& device) {
    port.setPortName(device);
    port.setBaudRate(QSerialPort::Baud19200);
    return port.open(QIODevice::ReadWrite);
}

// CPU time of a process in clock ticks, from /proc.
qint64 cpuTicks(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses: utime and
    // stime are the 12th and 13th of them.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();
}

} // namespace

class TestSimPty : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void answersThroughTheDevice_data();
    void answersThroughTheDevice();
    void replyTakesItsLineTime();
    void panelMayCloseAndReopenTheDevice();
    void stopsCleanlyOnSignal_data();
    void stopsCleanlyOnSignal();

private:
    QProcess simulator_;
    QByteArray output_;
    QString device_;
};

void TestSimPty::init() {
    output_.clear();
    simulator_.setProgram(simulatorProgram());
    simulator_.setArguments({QStringLiteral("--countdown"), QStringLiteral("100")});
    simulator_.start();
    QVERIFY2(simulator_.waitForStarted(kTimeoutMs), qPrintable(simulator_.errorString()));
    QVERIFY(waitForOutput(simulator_, output_, "\n"));
    const QByteArray firstLine = output_.left(output_.indexOf('\n'));
    QVERIFY2(firstLine.startsWith("device: /dev/"), firstLine.constData());
    device_ = QString::fromLocal8Bit(firstLine.mid(8));
}

void TestSimPty::cleanup() {
    if (simulator_.state() == QProcess::NotRunning)
        return;
    simulator_.terminate();
    if (!simulator_.waitForFinished(kTimeoutMs))
        simulator_.kill();
    simulator_.waitForFinished(kTimeoutMs);
}

void TestSimPty::answersThroughTheDevice_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("logged");

    QTest::addRow("status query") << QByteArray("CR0\r") << QByteArray("80\r")
                                  << QByteArray(R"(rx "CR0" -> "80<CR>")");
    QTest::addRow("command") << QByteArray("C00\r") << QByteArray(1, kAck)
                             << QByteArray(R"(rx "C00" -> "<ACK>")");
    QTest::addRow("unknown frame")
        << QByteArray("HELLO\r") << QByteArray(1, kNak) << QByteArray(R"(rx "HELLO" -> "<NAK>")");
    QTest::addRow("frame with CR LF")
        << QByteArray("CR1\r\n") << QByteArray("1\r") << QByteArray(R"(rx "CR1" -> "1<CR>")");
}

void TestSimPty::answersThroughTheDevice() {
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, logged);

    QSerialPort port;
    QVERIFY2(openPort(port, device_), qPrintable(port.errorString()));
    port.write(frame);
    QCOMPARE(readBytes(port, reply.size()), reply);
    QVERIFY2(waitForOutput(simulator_, output_, logged), output_.constData());
}

// 18 characters at 19200 baud take 9.4 ms on the line, after the 3 ms the
// projector takes to answer: the reply may come late, never sooner.
void TestSimPty::replyTakesItsLineTime() {
    QSerialPort port;
    QVERIFY2(openPort(port, device_), qPrintable(port.errorString()));
    QElapsedTimer clock;
    clock.start();
    port.write("CR6\r");
    const QByteArray reply = readBytes(port, 18);
    const qint64 elapsedUs = clock.nsecsElapsed() / 1000;
    QCOMPARE(reply, QByteArray("025.0,026.5,027.0\r"));
    QVERIFY2(elapsedUs >= 3000 + 17 * 521, qPrintable(QString::number(elapsedUs)));
}

// The panel closes its port on END and opens it again on the next start;
// meanwhile the simulator waits without burning the processor.
void TestSimPty::panelMayCloseAndReopenTheDevice() {
    {
        QSerialPort port;
        QVERIFY2(openPort(port, device_), qPrintable(port.errorString()));
        port.write("C00\r");
        QCOMPARE(readBytes(port, 1), QByteArray(1, kAck));
    }
    const qint64 before = cpuTicks(simulator_.processId());
    QTest::qWait(300);
    const qint64 idle = cpuTicks(simulator_.processId()) - before;
    QVERIFY2(before >= 0 && idle < 10, qPrintable(QString::number(idle)));

    QSerialPort port;
    QVERIFY2(openPort(port, device_), qPrintable(port.errorString()));
    port.write("CR0\r");
    QCOMPARE(readBytes(port, 3), QByteArray("00\r"));
    QCOMPARE(simulator_.state(), QProcess::Running);
}

void TestSimPty::stopsCleanlyOnSignal_data() {
    QTest::addColumn<int>("stopSignal");
    QTest::addRow("SIGINT") << SIGINT;
    QTest::addRow("SIGTERM") << SIGTERM;
}

void TestSimPty::stopsCleanlyOnSignal() {
    QFETCH(int, stopSignal);
    QCOMPARE(::kill(pid_t(simulator_.processId()), stopSignal), 0);
    QVERIFY(simulator_.waitForFinished(kTimeoutMs));
    QCOMPARE(simulator_.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator_.exitCode(), 0);
    output_ += simulator_.readAllStandardOutput();
    QVERIFY2(output_.contains(QByteArray("stopped by signal ") + QByteArray::number(stopSignal)),
             output_.constData());
}

QTEST_GUILESS_MAIN(TestSimPty)
#include "tst_sim_pty.moc"
