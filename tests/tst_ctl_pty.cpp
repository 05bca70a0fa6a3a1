// The tavo-ctl program end to end on a bare pseudo-terminal that the test
// plays: acknowledgements, refusals, status replies, silence with each
// timing class's reply timeout, a stream that never ends, a device lost
// while waiting, a device missing or in use, runs of several commands,
// standard-input scripts (a megabyte line among them) and usage errors.
// Every exit status is seen here.

#include "link/port_lock.h"
#include "support/panel_process.h"
#include "support/pseudo_terminal.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <sys/file.h>

using tavo::test::PseudoTerminal;

namespace {

constexpr int kEndTimeoutMs = 20'000;
constexpr char kAck = 6;
constexpr char kNak = 21;

QString ctlProgram() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/tavo-ctl/tavo-ctl");
}

// One run of tavo-ctl; the event loop runs while the test waits, so the
// program's output is collected as it comes.
class CtlRun {
public:
    void start(const QStringList& arguments, const QByteArray& input = {}) {
        process_.start(ctlProgram(), arguments);
        process_.waitForStarted(kEndTimeoutMs);
        if (!input.isNull()) {
            process_.write(input);
            process_.closeWriteChannel();
        }
    }
    void write(const QByteArray& bytes) { process_.write(bytes); }
    void closeInput() { process_.closeWriteChannel(); }
    bool waitForEnd() {
        if (ended())
            return true;
        QSignalSpy finished(&process_, &QProcess::finished);
        return finished.wait(kEndTimeoutMs) || ended();
    }
    bool ended() const { return process_.state() == QProcess::NotRunning; }
    int exitCode() const {
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    QStringList outLines() {
        out_ += process_.readAllStandardOutput();
        QStringList lines = QString::fromUtf8(out_).split('\n');
        if (lines.back().isEmpty())
            lines.removeLast();
        return lines;
    }
    QString err() {
        err_ += process_.readAllStandardError();
        return QString::fromUtf8(err_);
    }
    qint64 pid() const { return process_.processId(); }
    void kill() {
        process_.kill();
        process_.waitForFinished(kEndTimeoutMs);
    }

private:
    QProcess process_;
    QByteArray out_;
    QByteArray err_;
};

QStringList onDevice(const PseudoTerminal& terminal, const QStringList& arguments) {
    return QStringList{QStringLiteral("--device"), terminal.devicePath()} + arguments;
}

// The projector's side of one exchange: waits for the frame, then answers.
bool serve(PseudoTerminal& terminal, const QByteArray& frame, const QByteArray& reply) {
    const QByteArray received = terminal.readAtLeast(frame.size(), kEndTimeoutMs);
    if (received != frame) {
        qWarning("expected %s, got %s", frame.toHex(' ').constData(),
                 received.toHex(' ').constData());
        return false;
    }
    terminal.write(reply);
    return true;
}

} // namespace

class TestCtlPty : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void oneExchange_data();
    void oneExchange();
    void silenceEndsAtTheReplyTimeout_data();
    void silenceEndsAtTheReplyTimeout();
    void endlessStreamEndsAtTheReplyTimeout_data();
    void endlessStreamEndsAtTheReplyTimeout();
    void staleInputIsNotTakenForTheReply();
    void severalCommandsRunInOrder();
    void firstFailureStopsTheRun();
    void deviceLostWhileWaiting();
    void scriptFromStandardInput();
    void badScriptSendsNothing_data();
    void badScriptSendsNothing();
    void scriptRunsLineByLine();
    void usageErrorSendsNothing_data();
    void usageErrorSendsNothing();
    void informationNeedsNoDevice_data();
    void informationNeedsNoDevice();
    void missingDevice();
    void failureOutsideAFrame_data();
    void failureOutsideAFrame();
    void deviceInUse_data();
    void deviceInUse();
    void loadsNoGuiLibrary();
    void signalMidWaitLeavesNothingBehind_data();
    void signalMidWaitLeavesNothingBehind();

private:
    PseudoTerminal terminal_;
};

void TestCtlPty::initTestCase() {
    QVERIFY(terminal_.isValid());
    QVERIFY2(QFile::exists(ctlProgram()), qPrintable(ctlProgram()));
    // A run without --device never reaches a real port.
    qputenv("TAVO_DEVICE", "/dev/tavo-from-environment");
}

void TestCtlPty::oneExchange_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QString>("err"); // the whole of standard error, without its line break

    const auto row = [](const char* name, const QStringList& arguments, const char* frame,
                        const char* reply, int exitCode, const QStringList& out,
                        const QString& err = QString()) {
        QTest::addRow("%s", name) << arguments << QByteArray(frame) << QByteArray(reply) << exitCode
                                  << out << err;
    };
    const char* ack = "\x06";
    const char* nak = "\x15";
    row("command acknowledged: nothing printed", {"power", "on"}, "C00\r", ack, 0, {});
    row("command acknowledged, verbose", {"--verbose", "power", "on"}, "C00\r", ack, 0,
        {"power on: acknowledged"});
    row("ACK followed by stray bytes: acknowledged, with a warning", {"power", "on"}, "C00\r",
        "\x06zz\x8f", 0, {},
        "tavo-ctl: power on: warning: stray bytes after the reply from DEVICE ignored: "
        "\"zz<0x8F>\"");
    row("command refused", {"power", "off"}, "C01\r", nak, 1, {},
        "tavo-ctl: power off: refused by the projector on DEVICE (NAK)");
    row("NAK followed by stray bytes: refused, with a warning", {"power", "off"}, "C01\r", "\x15?",
        1, {},
        "tavo-ctl: power off: warning: stray bytes after the reply from DEVICE ignored: "
        "\"?\"\ntavo-ctl: power off: refused by the projector on DEVICE (NAK)");
    row("command answered with text", {"freeze", "on"}, "C43\r", "OK\r", 1, {},
        "tavo-ctl: freeze on: the projector on DEVICE answered \"OK<CR>\", not ACK");
    row("status in words, without the panel's blank", {"status"}, "CR0\r", "80\r", 0, {"Stand by"});
    row("status value", {"--value", "status"}, "CR0\r", "80\r", 0, {"standby"});
    row("quiet", {"-q", "status"}, "CR0\r", "80\r", 0, {});
    row("bytes after the reply's carriage return: replied, with a warning", {"status"}, "CR0\r",
        "00\r\x01", 0, {"Power ON"},
        "tavo-ctl: status: warning: stray bytes after the reply from DEVICE ignored: "
        "\"<0x01>\"");
    row("status code the table lacks: malformed", {"status"}, "CR0\r", "99\r", 6, {},
        "tavo-ctl: status: malformed reply from DEVICE: \"99<CR>\" (no known code)");
    row("hold key sends once", {"vol", "+"}, "C09\r", ack, 0, {});
    row("typed frame no reading reads", {"send", "CR LAMP"}, "CR LAMP\r", "X\x01\r", 0,
        {"X<0x01>"});
    row("typed decoded query", {"send", "CRA"}, "CRA\r", "01\r", 0, {"Video mute ON"});
    row("typed text beyond one byte", {"send", "CR\u20ac"}, "CR?\r", nak, 1, {},
        "tavo-ctl: send: \"CR\u20ac\" holds characters that one byte cannot hold; each goes out "
        "as \"?\"\ntavo-ctl: send: refused by the projector on DEVICE (NAK)");
    row("traces", {"--trace", "status"}, "CR0\r", "00\r", 0,
        {"TXD C R 0 CR ", "RXD 0 0 CR ", "STATUS Power ON"});
    row("9600 baud", {"--baud", "9600", "status"}, "CR0\r", "40\r", 0, {"Count down"});
}

void TestCtlPty::oneExchange() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, reply);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QFETCH(QString, err);

    CtlRun run;
    run.start(onDevice(terminal_, arguments));
    QCOMPARE(terminal_.readAtLeast(frame.size(), kEndTimeoutMs), frame);
    const speed_t expectedBaud = arguments.contains(QStringLiteral("9600")) ? B9600 : B19200;
    QCOMPARE(tavo::test::baudOf(terminal_.slaveTermios()), expectedBaud);
    terminal_.write(reply);
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), exitCode);
    QCOMPARE(run.outLines(), out);
    err.replace(QStringLiteral("DEVICE"), terminal_.devicePath());
    QCOMPARE(run.err(), err.isEmpty() ? err : err + '\n');
}

// Nothing comes back: the run ends after the step's own reply timeout,
// whatever the command before set in the panel's timing (or --reply-timeout),
// with exit status 3. The JSON object says how long it waited: at least the
// timeout, less a tolerance. Frames in "answered" get an ACK first.
void TestCtlPty::silenceEndsAtTheReplyTimeout_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArrayList>("answered");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("timeoutMs");

    QTest::addRow("status") << QStringList{"status"} << QByteArrayList{} << QByteArray("CR0\r")
                            << 2000;
    QTest::addRow("power off after a picture preset: not carried over")
        << QStringList{"picture-mode", "stand", "power", "off"} << QByteArrayList{"C11\r"}
        << QByteArray("C01\r") << 2000;
    QTest::addRow("--reply-timeout over a class that sets its timing before sending")
        << QStringList{"--reply-timeout", "150", "picture-mode", "stand"} << QByteArrayList{}
        << QByteArray("C11\r") << 150;
    QTest::addRow("--reply-timeout over a hold key that sets its timing after sending")
        << QStringList{"-r", "0.3s", "vol", "+"} << QByteArrayList{} << QByteArray("C09\r") << 300;
}

void TestCtlPty::silenceEndsAtTheReplyTimeout() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArrayList, answered);
    QFETCH(QByteArray, frame);
    QFETCH(int, timeoutMs);

    CtlRun run;
    run.start(onDevice(terminal_, QStringList{"--json"} + arguments));
    for (const QByteArray& served : answered)
        QVERIFY(serve(terminal_, served, QByteArray(1, kAck)));
    QCOMPARE(terminal_.readAtLeast(frame.size(), kEndTimeoutMs), frame);
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 3);
    const QStringList out = run.outLines().mid(answered.size());
    QCOMPARE(out.size(), 1);
    const QJsonObject object = QJsonDocument::fromJson(out.front().toUtf8()).object();
    QCOMPARE(object.value("outcome").toString(), QStringLiteral("no-reply"));
    QCOMPARE(object.value("receivedTrace").toString(), QStringLiteral(" X X X X"));
    QCOMPARE(object.value("exitStatus").toInt(), 3);
    QVERIFY2(object.value("milliseconds").toInteger() >= timeoutMs * 6 / 10,
             qPrintable(out.front()));
    QVERIFY2(object.value("milliseconds").toInteger() <= timeoutMs * 14 / 10 + 100,
             qPrintable(out.front()));
    QCOMPARE(run.err(), QStringLiteral("tavo-ctl: %1: no reply from %2 within %3 ms\n")
                            .arg(object.value("name").toString(), terminal_.devicePath())
                            .arg(timeoutMs));
}

// A line that streams bytes without a carriage return: the reply never
// becomes whole, and the reply timeout ends the wait all the same.
void TestCtlPty::endlessStreamEndsAtTheReplyTimeout_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addRow("status query") << QStringList{"status"};
    QTest::addRow("command") << QStringList{"power", "on"};
}

void TestCtlPty::endlessStreamEndsAtTheReplyTimeout() {
    QFETCH(QStringList, arguments);
    CtlRun run;
    run.start(onDevice(terminal_, arguments));
    QVERIFY(!terminal_.readAtLeast(1, kEndTimeoutMs).isEmpty());
    QTimer stream;
    connect(&stream, &QTimer::timeout, this, [this] { terminal_.write("flood "); });
    stream.start(5);
    QVERIFY(run.waitForEnd());
    stream.stop();
    QCOMPARE(run.exitCode(), 3);
    QCOMPARE(run.outLines(), QStringList());
    QVERIFY2(run.err().contains(QStringLiteral("did not end (no carriage return) within 2000 ms")),
             qPrintable(run.err()));
    terminal_.readAvailable();
}

// An acknowledgement left on the line from before the program started is
// dropped at the start, not taken for the reply to its query.
void TestCtlPty::staleInputIsNotTakenForTheReply() {
    terminal_.write(QByteArray(1, kAck));
    CtlRun run;
    run.start(onDevice(terminal_, {"status"}));
    QVERIFY(serve(terminal_, "CR0\r", "80\r"));
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(run.outLines(), QStringList{"Stand by"});
}

void TestCtlPty::severalCommandsRunInOrder() {
    CtlRun run;
    run.start(onDevice(terminal_, {"power", "on", "input", "pc1", "status"}));
    QVERIFY(serve(terminal_, "C00\r", QByteArray(1, kAck)));
    QVERIFY(serve(terminal_, "C05\r", QByteArray(1, kAck)));
    QVERIFY(serve(terminal_, "CR0\r", "40\r"));
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(run.outLines(), QStringList{"Count down"});
    QCOMPARE(run.err(), QString());
}

void TestCtlPty::firstFailureStopsTheRun() {
    CtlRun run;
    run.start(onDevice(terminal_, {"power", "on", "input", "pc1", "status"}));
    QVERIFY(serve(terminal_, "C00\r", QByteArray(1, kNak)));
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 1);
    QCOMPARE(run.err(), QStringLiteral("tavo-ctl: power on: refused by the projector on %1 (NAK)\n"
                                       "tavo-ctl: not sent: input pc1, status\n")
                            .arg(terminal_.devicePath()));
    QCOMPARE(terminal_.readAvailable(), QByteArray());
}

// The other end goes away while a reply is awaited: exit status 4 at once,
// not after the reply timeout (which --timeout makes long here).
void TestCtlPty::deviceLostWhileWaiting() {
    PseudoTerminal terminal;
    QVERIFY(terminal.isValid());
    CtlRun run;
    run.start(onDevice(terminal, {"--timeout", "60s", "status", "temperatures"}));
    QCOMPARE(terminal.readAtLeast(4, kEndTimeoutMs), QByteArray("CR0\r"));
    terminal.closeMaster();
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 4);
    QCOMPARE(run.outLines(), QStringList());
    QCOMPARE(run.err(),
             QStringLiteral("tavo-ctl: status: %1 stopped working (unplugged, switched "
                            "off, or closed at its other end)\ntavo-ctl: not sent: temperatures\n")
                 .arg(terminal.devicePath()));
}

void TestCtlPty::scriptFromStandardInput() {
    CtlRun run;
    run.start(onDevice(terminal_, {"-"}),
              "# morning check\r\npower on\n\n   send CR PROJH  \nstatus temperatures\n");
    QVERIFY(serve(terminal_, "C00\r", QByteArray(1, kAck)));
    QVERIFY(serve(terminal_, "CR PROJH\r", "02345\r"));
    QVERIFY(serve(terminal_, "CR0\r", "00\r"));
    QVERIFY(serve(terminal_, "CR6\r", "035.5,042.0,038.5\r"));
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(run.outLines(), (QStringList{"2345 h", "Power ON",
                                          "S1 35.5 \u00b0C, S2 42.0 \u00b0C, S3 38.5 \u00b0C"}));
}

// A bad line ends the run with the usage status and its line number, nothing
// of it or after it sent.
void TestCtlPty::badScriptSendsNothing_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("err");
    QTest::addRow("megabyte line") << QByteArray(1 << 20, 'x') + "\nstatus\n"
                                   << "tavo-ctl: standard input, line 1: longer than 4096 bytes\n";
    QTest::addRow("unknown name on the last line")
        << QByteArray("power on\nstatus\npowr off\n")
        << "tavo-ctl: standard input, line 3: unknown command \"powr off\"; nearest names: power "
           "off\n";
    QTest::addRow("empty input") << QByteArray("") << "tavo-ctl: standard input holds no command\n";
}

void TestCtlPty::badScriptSendsNothing() {
    QFETCH(QByteArray, input);
    QFETCH(QString, err);
    CtlRun run;
    run.start(onDevice(terminal_, {"-"}), input);
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 2);
    QVERIFY2(run.err().startsWith(err), qPrintable(run.err()));
    QCOMPARE(run.outLines(), QStringList());
    const QByteArray sent = terminal_.readAvailable();
    QVERIFY2(QByteArray("C00\rCR0\r").startsWith(sent), sent.constData());
}

// Standard input is sent line by line as it comes: the first line's reply is
// out before the second line is written.
void TestCtlPty::scriptRunsLineByLine() {
    CtlRun run;
    run.start(onDevice(terminal_, {"-"}), QByteArray());
    run.write("status # the power state\n");
    QVERIFY(serve(terminal_, "CR0\r", "80\r"));
    QTRY_COMPARE_WITH_TIMEOUT(run.outLines(), QStringList{"Stand by"}, kEndTimeoutMs);
    run.write("send CR#1\n");
    QVERIFY(serve(terminal_, "CR#1\r", QByteArray(1, kAck)));
    run.closeInput();
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 0);
}

void TestCtlPty::usageErrorSendsNothing_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("err");
    QTest::addRow("unknown name")
        << QStringList{"power", "on", "inptu", "pc1"}
        << "tavo-ctl: unknown command \"inptu pc1\"; nearest names: input pc1\n";
    QTest::addRow("unknown option") << QStringList{"--fast", "status"}
                                    << "tavo-ctl: Unknown option 'fast'. (see tavo-ctl --help)\n";
}

void TestCtlPty::usageErrorSendsNothing() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, err);
    CtlRun run;
    run.start(onDevice(terminal_, arguments));
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 2);
    QCOMPARE(run.err(), err);
    QCOMPARE(terminal_.readAvailable(), QByteArray());
}

void TestCtlPty::informationNeedsNoDevice_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<int>("lines");
    QTest::addRow("version") << QStringList{"--version"} << "tavo-ctl 1.40" << 1;
    QTest::addRow("list: a header and 81 names")
        << QStringList{"--list"} << "NAME                      CODE                    REPLY" << 82;
}

void TestCtlPty::informationNeedsNoDevice() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, firstLine);
    QFETCH(int, lines);
    CtlRun run;
    run.start(QStringList{"--device", "/dev/tavo-no-such-device"} + arguments);
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 0);
    const QStringList out = run.outLines();
    QCOMPARE(out.size(), lines);
    QCOMPARE(out.front(), firstLine);
}

void TestCtlPty::missingDevice() {
    CtlRun run;
    run.start({"--device", "/dev/tavo-no-such-device", "status"});
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 4);
    QCOMPARE(run.err(),
             QStringLiteral("tavo-ctl: cannot open /dev/tavo-no-such-device: the device "
                            "does not exist (is the cable or USB adapter plugged in?)\n"));
}

// Failures before or outside any frame: a JSON record for each with --json,
// the device named (TAVO_DEVICE is set in initTestCase()), and
// standard output that cannot be written.
void TestCtlPty::failureOutsideAFrame_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");     // contained in standard error
    QTest::addColumn<QString>("outcome"); // of the JSON record; empty for none
    QTest::addRow("usage error, as JSON")
        << QStringList{"--json", "powr", "on"} << 2 << "unknown command"
        << "usage";
    QTest::addRow("missing device, as JSON")
        << QStringList{"-j", "-d", "/dev/tavo-no-such", "status"} << 4
        << "cannot open /dev/tavo-no-such: the device does not exist"
        << "port-failed";
    QTest::addRow("not a serial port") << QStringList{"-d", "/dev/null", "status"} << 4
                                       << "cannot open /dev/null: not a serial port" << QString();
    QTest::addRow("device from TAVO_DEVICE")
        << QStringList{"status"} << 4 << "cannot open /dev/tavo-from-environment: " << QString();
    QTest::addRow("standard output full")
        << QStringList{"--list"} << 1 << "cannot write standard output" << QString();
}

void TestCtlPty::failureOutsideAFrame() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    QFETCH(QString, outcome);
    QProcess process;
    if (arguments.contains(QStringLiteral("--list")))
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
    process.start(ctlProgram(), arguments);
    QVERIFY(process.waitForFinished(kEndTimeoutMs));
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(err));
    if (outcome.isEmpty())
        return;
    const QJsonObject record = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    QCOMPARE(record.value("outcome").toString(), outcome);
    QCOMPARE(record.value("exitStatus").toInt(), exitCode);
    QVERIFY(record.value("error").toString().contains(err));
}

// Another program holds the device: through Qt Serial Port's lock file, a
// lock file in one of the other common forms, or flock(). The run ends with
// the busy status, never taking the lock over; a link to the device locks
// the same file, and --wait outlasts a holder that lets go. (A lock of an
// ended process is taken over as in tst_port_faults: the same port code.)
void TestCtlPty::deviceInUse_data() {
    QTest::addColumn<QString>("holder");
    QTest::addColumn<bool>("throughLink");
    QTest::addColumn<QString>("err"); // with {lock}, {pid}, {name}; empty: the run goes on
    const QString heldBy = QStringLiteral(
        "the device is in use by {name} (process {pid}), which holds its lock file {lock}; end "
        "that program or choose another port");
    QTest::addRow("by this test's serial port") << "serial port" << false << heldBy;
    QTest::addRow("by another tavo-ctl waiting for a reply") << "tavo-ctl" << false << heldBy;
    QTest::addRow("flock on the device")
        << "flock" << false
        << "the device is in use by another program, which holds a flock() on it";
    QTest::addRow("through a link to the device") << "ascii" << true << heldBy;
    QTest::addRow("--wait outlasts the holder") << "flock, let go" << false << QString();
}

void TestCtlPty::deviceInUse() {
    QFETCH(QString, holder);
    QFETCH(bool, throughLink);
    QFETCH(QString, err);
    PseudoTerminal terminal;
    QVERIFY(terminal.isValid());
    const QString lockFile = tavo::link::lockFilePath(terminal.devicePath());
    QString holderName = QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15);
    qint64 holderPid = QCoreApplication::applicationPid();
    QSerialPort port(terminal.devicePath());
    CtlRun other;
    QFile device(terminal.devicePath());
    if (holder == QLatin1String("serial port")) {
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    } else if (holder == QLatin1String("tavo-ctl")) {
        other.start(onDevice(terminal, {"--reply-timeout", "60s", "status"}));
        QCOMPARE(terminal.readAtLeast(4, kEndTimeoutMs), QByteArray("CR0\r"));
        holderName = QStringLiteral("tavo-ctl");
        holderPid = other.pid();
    } else if (holder.startsWith(QLatin1String("flock"))) {
        QVERIFY(device.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
        QCOMPARE(::flock(device.handle(), LOCK_EX | LOCK_NB), 0);
        if (holder.endsWith(QLatin1String("let go")))
            QTimer::singleShot(300, &device, [&device] { device.close(); });
    } else { // the older form of lock file; tst_port_lock reads every form
        const QByteArray pid = QByteArray::number(holderPid).rightJustified(10, ' ');
        QVERIFY(tavo::test::writeLockFile(lockFile, pid + '\n'));
    }
    QTemporaryDir links;
    const QString link = links.filePath(QStringLiteral("projector"));
    QVERIFY(QFile::link(terminal.devicePath(), link));

    CtlRun run;
    const QString path = throughLink ? link : terminal.devicePath();
    run.start({"--device", path, "--wait", err.isEmpty() ? "5" : "0", "status"});
    if (err.isEmpty())
        QVERIFY(serve(terminal, "CR0\r", "80\r"));
    QVERIFY(run.waitForEnd());
    other.kill();
    const bool lockStays = QFile::exists(lockFile);
    QFile::remove(lockFile);
    QCOMPARE(run.exitCode(), err.isEmpty() ? 0 : 5);
    if (err.isEmpty())
        return;
    QVERIFY(lockStays || holder.startsWith(QLatin1String("flock")));
    const QString expected = QStringLiteral("tavo-ctl: cannot open %1: %2")
                                 .arg(path, err)
                                 .replace(QLatin1String("{lock}"), lockFile)
                                 .replace(QLatin1String("{pid}"), QString::number(holderPid))
                                 .replace(QLatin1String("{name}"), holderName);
    QVERIFY2(run.err().startsWith(expected), qPrintable(run.err() + '\n' + expected));
}

// While it waits for a reply the program has loaded all it ever will: Qt
// Core and Qt Serial Port, and no GUI library.
void TestCtlPty::loadsNoGuiLibrary() {
    CtlRun run;
    run.start(onDevice(terminal_, {"--timeout", "60s", "status"}));
    QCOMPARE(terminal_.readAtLeast(4, kEndTimeoutMs), QByteArray("CR0\r"));
    QFile maps(QStringLiteral("/proc/%1/maps").arg(run.pid()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray loaded = maps.readAll();
    run.kill();
    QVERIFY(loaded.contains("libQt6Core"));
    QVERIFY(loaded.contains("libQt6SerialPort"));
    QVERIFY(!loaded.contains("libQt6Gui"));
    QVERIFY(!loaded.contains("libQt6Widgets"));
}

// A stop while a reply is awaited: the port is closed, its settings and lock
// file gone with it, and the exit status says which signal it was.
void TestCtlPty::signalMidWaitLeavesNothingBehind_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<QString>("name");
    QTest::addRow("timeout(1) ends the run") << SIGTERM << "SIGTERM";
    QTest::addRow("Ctrl+\\") << SIGQUIT << "SIGQUIT";
    QTest::addRow("reader gone") << SIGPIPE << "SIGPIPE";
}

void TestCtlPty::signalMidWaitLeavesNothingBehind() {
    QFETCH(int, signal);
    QFETCH(QString, name);
    const termios before = terminal_.slaveTermios();
    CtlRun run;
    run.start(onDevice(terminal_, {"--reply-timeout", "60s", "status", "--until", "on"}));
    QCOMPARE(terminal_.readAtLeast(4, kEndTimeoutMs), QByteArray("CR0\r"));
    const QString lockFile = tavo::link::lockFilePath(terminal_.devicePath());
    QVERIFY(QFile::exists(lockFile));
    QCOMPARE(::kill(pid_t(run.pid()), signal), 0);
    QVERIFY(run.waitForEnd());
    QCOMPARE(run.exitCode(), 128 + signal);
    QCOMPARE(run.err(), QStringLiteral("tavo-ctl: stopped by %1\n").arg(name));
    QVERIFY(!QFile::exists(lockFile));
    const termios after = terminal_.slaveTermios();
    QCOMPARE(after.c_lflag, before.c_lflag);
    QCOMPARE(after.c_iflag, before.c_iflag);
    QCOMPARE(after.c_cflag, before.c_cflag);
}

QTEST_GUILESS_MAIN(TestCtlPty)
#include "tst_ctl_pty.moc"
