// What tavo-ctl makes of one exchange's result, without a device: the
// verdict against what the step expects and its exit status, the result and
// trace lines, the JSON object, the failure messages, the --list table, and
// the one line about a device that cannot be opened (missing, or held by
// another process's lock file).

#include "open_failure.h"
#include "report.h"

#include "link/trace.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace tavo::ctl;
using tavo::link::ExchangeResult;
using tavo::link::Outcome;

namespace {

constexpr char kAck = 6;
constexpr char kNak = 21;

// A result as the transaction builds it, for a frame and whatever came back.
ExchangeResult resultOf(const QByteArray& frame, Outcome outcome, const QByteArray& reply,
                        std::optional<QString> status = std::nullopt) {
    ExchangeResult result;
    result.frame = frame;
    result.sentTrace = tavo::link::traceLine(frame);
    result.reply = reply;
    result.outcome = outcome;
    if (outcome == Outcome::NoReply)
        result.receivedTrace = tavo::link::kTimeoutMark;
    else if (outcome != Outcome::PortFailed)
        result.receivedTrace = tavo::link::traceLine(reply);
    result.status = std::move(status);
    result.elapsedMs = 12;
    return result;
}

void writeLockFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class TestCtlReport : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void verdict_data();
    void verdict();
    void resultAndTraceLines_data();
    void resultAndTraceLines();
    void jsonObjectPerFrame_data();
    void jsonObjectPerFrame();
    void failureMessages_data();
    void failureMessages();
    void listHoldsEveryName();
    void lockFileNames_data();
    void lockFileNames();
    void openFailureNamesDeviceAndCause_data();
    void openFailureNamesDeviceAndCause();
};

void TestCtlReport::verdict_data() {
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Expected>("expected");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<int>("exitStatus");

    using enum Expected;
    QTest::addRow("command acknowledged") << Outcome::Acknowledged << QByteArray(1, kAck)
                                          << Acknowledgement << Verdict::Acknowledged << 0;
    QTest::addRow("command refused")
        << Outcome::Refused << QByteArray(1, kNak) << Acknowledgement << Verdict::Refused << 1;
    QTest::addRow("command answered with text") << Outcome::Replied << QByteArray("OK\r")
                                                << Acknowledgement << Verdict::Unacknowledged << 1;
    QTest::addRow("query answered")
        << Outcome::Replied << QByteArray("80\r") << Text << Verdict::Replied << 0;
    QTest::addRow("query acknowledged")
        << Outcome::Acknowledged << QByteArray(1, kAck) << Text << Verdict::Acknowledged << 0;
    QTest::addRow("query refused")
        << Outcome::Refused << QByteArray(1, kNak) << Text << Verdict::Refused << 1;
    QTest::addRow("typed frame answered with text")
        << Outcome::Replied << QByteArray("02345\r") << Anything << Verdict::Replied << 0;
    QTest::addRow("reply cut off by the timeout")
        << Outcome::Replied << QByteArray("flood flood") << Text << Verdict::Unfinished << 3;
    QTest::addRow("command with a stream for a reply")
        << Outcome::Replied << QByteArray("flood") << Acknowledgement << Verdict::Unfinished << 3;
    QTest::addRow("nothing") << Outcome::NoReply << QByteArray() << Text << Verdict::NoReply << 3;
    QTest::addRow("port failed") << Outcome::PortFailed << QByteArray() << Acknowledgement
                                 << Verdict::PortFailed << 4;
}

void TestCtlReport::verdict() {
    QFETCH(Outcome, outcome);
    QFETCH(QByteArray, reply);
    QFETCH(Expected, expected);
    QFETCH(Verdict, verdict);
    QFETCH(int, exitStatus);
    const Verdict judged = verdictOf(resultOf("X\r", outcome, reply), expected);
    QCOMPARE(judged, verdict);
    QCOMPARE(exitStatusOf(judged), exitStatus);
}

void TestCtlReport::resultAndTraceLines_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("traces");

    QTest::addRow("decoded status")
        << QByteArray("CR0\r") << Outcome::Replied << QByteArray("80\r") << " Stand by"
        << " Stand by" << QStringList{"TXD C R 0 CR ", "RXD 8 0 CR ", "STATUS Stand by"};
    QTest::addRow("reply shown as received")
        << QByteArray("CR LAMPMODE\r") << Outcome::Replied << QByteArray("ECO\r") << QString()
        << " E C O CR " << QStringList{"TXD C R   L A M P M O D E CR ", "RXD E C O CR "};
    QTest::addRow("acknowledgement")
        << QByteArray("C00\r") << Outcome::Acknowledged << QByteArray(1, kAck) << QString()
        << " ACK " << QStringList{"TXD C 0 0 CR ", "RXD ACK "};
    QTest::addRow("timeout mark") << QByteArray("CR0\r") << Outcome::NoReply << QByteArray()
                                  << QString() << " X X X X"
                                  << QStringList{"TXD C R 0 CR ", "RXD X X X X"};
    QTest::addRow("failed port: nothing received")
        << QByteArray("C00\r") << Outcome::PortFailed << QByteArray() << QString() << QString()
        << QStringList{"TXD C 0 0 CR ", "RXD"};
}

void TestCtlReport::resultAndTraceLines() {
    QFETCH(QByteArray, frame);
    QFETCH(Outcome, outcome);
    QFETCH(QByteArray, reply);
    QFETCH(QString, status);
    QFETCH(QString, line);
    QFETCH(QStringList, traces);
    const ExchangeResult result =
        resultOf(frame, outcome, reply, status.isNull() ? std::nullopt : std::optional(status));
    QCOMPARE(resultLine(result), line);
    QCOMPARE(traceLines(result), traces);
}

void TestCtlReport::jsonObjectPerFrame_data() {
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<QString>("outcomeName");

    QTest::addRow("decoded") << Outcome::Replied << QByteArray("00\r") << " Power ON"
                             << Verdict::Replied << "replied";
    QTest::addRow("undecoded: status null") << Outcome::Acknowledged << QByteArray(1, kAck)
                                            << QString() << Verdict::Acknowledged << "acknowledged";
    QTest::addRow("no reply") << Outcome::NoReply << QByteArray() << QString() << Verdict::NoReply
                              << "no-reply";
}

void TestCtlReport::jsonObjectPerFrame() {
    QFETCH(Outcome, outcome);
    QFETCH(QByteArray, reply);
    QFETCH(QString, status);
    QFETCH(Verdict, verdict);
    QFETCH(QString, outcomeName);
    const ExchangeResult result =
        resultOf("CR0\r", outcome, reply, status.isNull() ? std::nullopt : std::optional(status));
    const QByteArray line = jsonLine(QStringLiteral("status"), result, verdict);
    QVERIFY(!line.contains('\n'));
    QJsonParseError error;
    const QJsonObject object = QJsonDocument::fromJson(line, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(object.value("name").toString(), QStringLiteral("status"));
    QCOMPARE(object.value("frame").toString(), QStringLiteral("CR0\r"));
    QCOMPARE(object.value("sentTrace").toString(), result.sentTrace);
    QCOMPARE(object.value("receivedTrace").toString(), result.receivedTrace);
    QCOMPARE(object.value("status").isNull(), status.isNull());
    QCOMPARE(object.value("status").toString(), status);
    QCOMPARE(object.value("outcome").toString(), outcomeName);
    QCOMPARE(object.value("milliseconds").toInteger(), 12);
    QCOMPARE(object.value("exitStatus").toInt(), exitStatusOf(verdict));
}

void TestCtlReport::failureMessages_data() {
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<QString>("message");
    QTest::addRow("acknowledged") << Verdict::Acknowledged << QString();
    QTest::addRow("replied") << Verdict::Replied << QString();
    QTest::addRow("refused") << Verdict::Refused
                             << "tavo-ctl: power on: refused by the projector (NAK)";
    QTest::addRow("unacknowledged")
        << Verdict::Unacknowledged
        << "tavo-ctl: power on: the projector answered, but not with ACK";
    QTest::addRow("unfinished")
        << Verdict::Unfinished
        << "tavo-ctl: power on: the reply did not end (no carriage return) within 150 ms";
    QTest::addRow("no reply") << Verdict::NoReply << "tavo-ctl: power on: no reply within 150 ms";
    QTest::addRow("port failed") << Verdict::PortFailed
                                 << "tavo-ctl: power on: /dev/ttyUSB0 stopped working (unplugged, "
                                    "switched off, or closed at its other end)";
}

void TestCtlReport::failureMessages() {
    QFETCH(Verdict, verdict);
    QFETCH(QString, message);
    QCOMPARE(failureMessage(QStringLiteral("power on"), verdict, std::chrono::milliseconds(150),
                            QStringLiteral("/dev/ttyUSB0")),
             message);
}

// A header, then one row per name with its code and what its reply means.
void TestCtlReport::listHoldsEveryName() {
    const QStringList rows = listText().split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 1 + 77);
    QVERIFY(rows.front().startsWith(QStringLiteral("NAME")));
    const auto names = tavo::commands::commandNames();
    for (qsizetype i = 0; i < qsizetype(names.size()); ++i) {
        const auto command = tavo::commands::resolve(names[std::size_t(i)]);
        const QString row = rows[i + 1];
        const QString name =
            QString::fromLatin1(command.entry->name.data(), qsizetype(command.entry->name.size()));
        const QString code =
            QString::fromLatin1(command.code().data(), qsizetype(command.code().size()));
        QVERIFY2(row.startsWith(name + "  "), qPrintable(row));
        QVERIFY2(row.contains("  " + code + "  "), qPrintable(row));
        const QString reply = command.isQuery()
                                  ? QString::fromLatin1(command.entry->reply.data(),
                                                        qsizetype(command.entry->reply.size()))
                                  : QStringLiteral("ACK, or NAK when refused");
        QVERIFY2(row.contains("  " + reply), qPrintable(row));
    }
}

void TestCtlReport::lockFileNames_data() {
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

void TestCtlReport::lockFileNames() {
    QFETCH(QString, device);
    QFETCH(QString, lockFile);
    QCOMPARE(lockFileName(device), lockFile);
}

// The device exists (this test's own program stands in for it); its lock
// file, in a directory of the test's own, says who holds it, if anyone alive.
void TestCtlReport::openFailureNamesDeviceAndCause_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QByteArray>("lockContent"); // empty: no lock file
    QTest::addColumn<QString>("message");

    const QString present = QCoreApplication::applicationFilePath();
    QTest::addRow("missing device")
        << "/dev/tavo-no-such-device" << QByteArray()
        << "tavo-ctl: cannot open /dev/tavo-no-such-device: no such device (is the cable or USB "
           "adapter plugged in?)";
    QTest::addRow("locked by a live process")
        << present << QByteArray("1\nterminal-server\nhost\n")
        << "tavo-ctl: cannot open " + present + ": in use by terminal-server (process 1)";
    QTest::addRow("locked by a live process without a name")
        << present << QByteArray("1\n\nhost\n")
        << "tavo-ctl: cannot open " + present + ": in use by process 1";
    QTest::addRow("stale lock of a process long gone")
        << present << QByteArray("2147483646\nold\nhost\n")
        << "tavo-ctl: cannot open " + present + ": the serial layer's words";
    QTest::addRow("no lock: the serial layer's words")
        << present << QByteArray()
        << "tavo-ctl: cannot open " + present + ": the serial layer's words";
}

void TestCtlReport::openFailureNamesDeviceAndCause() {
    QFETCH(QString, device);
    QFETCH(QByteArray, lockContent);
    QFETCH(QString, message);
    QTemporaryDir locks;
    QVERIFY(locks.isValid());
    if (!lockContent.isEmpty())
        writeLockFile(locks.filePath(lockFileName(device)), lockContent);
    QCOMPARE(
        describeOpenFailure(device, QStringLiteral("the serial layer's words"), {locks.path()}),
        message);
}

QTEST_GUILESS_MAIN(TestCtlReport)
#include "tst_ctl_report.moc"
