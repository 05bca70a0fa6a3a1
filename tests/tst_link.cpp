// The pure pieces of the serial link: trace lines, frames, typed text as
// bytes, the settings string and the bounded reply buffer.
// Also the port keeper over the in-memory line: the port it opens or falls
// back to, the wording of a failure, reopening on its timer, said once per
// cause.
#include "exchange/frame.h"
#include "exchange/reply_capture.h"
#include "exchange/trace.h"
#include "link/port_keeper.h"
#include "link/port_settings.h"
#include "support/fake_serial.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTest>

using namespace tavo::link;
using tavo::test::FakeSerial;

class TestLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void traceLineTokens_data();
    void traceLineTokens();
    void traceLineAppendsLikeWhole();
    void frames_data();
    void frames();
    void typedText_data();
    void typedText();
    void portSettings_data();
    void portSettings();
    void replyCaptureKeepsHeadAndBoundsMemory();
    void replyCaptureClears();
    void switchTo_data();
    void switchTo();
    void reopensOnItsTimer_data();
    void reopensOnItsTimer();
};

void TestLink::traceLineTokens_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("trace");
    QTest::addRow("empty text") << QByteArray() << " ";
    QTest::addRow("ACK") << QByteArray("\x06") << " ACK ";
    QTest::addRow("20 has no space after it") << QByteArray("A\024B") << " A &B ";
    QTest::addRow("CR") << QByteArray("\r") << " CR ";
    QTest::addRow("LF") << QByteArray("\n") << " LF ";
    QTest::addRow("CR LF") << QByteArray("00\r\n") << " 0 0 CR LF ";
    QTest::addRow("NUL") << QByteArray(1, '\0') << " ? ";
    QTest::addRow("other controls") << QByteArray("\x01\x07\x1b\x1f") << " ? ? ? ? ";
    QTest::addRow("space gives two spaces") << QByteArray("CR PROJH\r") << " C R   P R O J H CR ";
    QTest::addRow("z is shown") << QByteArray("z") << " z ";
    QTest::addRow("{ and ~ are not") << QByteArray("{|}~") << " ? ? ? ? ";
    QTest::addRow("127") << QByteArray("\x7f") << " ? ";
    QTest::addRow("bytes above 127") << QByteArray("\x80\xe9\xff") << " ? ? ? ";
    QTest::addRow("frame C00") << QByteArray("C00\r") << " C 0 0 CR ";
    QTest::addRow("reply 00") << QByteArray("00\r") << " 0 0 CR ";
    QTest::addRow("ampersand itself") << QByteArray("&") << " & ";
}

void TestLink::traceLineTokens() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, trace);
    QCOMPARE(traceLine(bytes), trace);
}

void TestLink::traceLineAppendsLikeWhole() {
    const QByteArray all('\x06' + QByteArray("12\x14z{\r\n\0x", 9));
    for (qsizetype cut = 0; cut <= all.size(); ++cut) {
        QString line = traceLine(all.first(cut));
        appendTraceTokens(line, all.sliced(cut));
        QCOMPARE(line, traceLine(all));
    }
}

void TestLink::frames_data() {
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("frame");
    QTest::addRow("C00") << QByteArray() << QByteArray("C00") << QByteArray("C00\r");
    QTest::addRow("code with blanks")
        << QByteArray() << QByteArray("CF INPUT VIDEO AUTO") << QByteArray("CF INPUT VIDEO AUTO\r");
    QTest::addRow("empty code") << QByteArray() << QByteArray() << QByteArray("\r");
    QTest::addRow("prefix first") << QByteArray("@") << QByteArray("CR0") << QByteArray("@CR0\r");
    QTest::addRow("NUL passes") << QByteArray() << QByteArray("A\0B", 3) << QByteArray("A\0B\r", 4);
}

void TestLink::frames() {
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, frame);
    QCOMPARE(buildFrame(prefix, code), frame);
}

void TestLink::typedText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addRow("ascii kept as typed") << "CR7 " << QByteArray("CR7 ");
    QTest::addRow("latin-1 is one byte") << QString::fromUtf8("é") << QByteArray("\xe9");
    QTest::addRow("wider characters become ?") << QString::fromUtf8("日x") << QByteArray("?x");
    QTest::addRow("a character beyond 16 bits is one ?")
        << QStringLiteral("a\U0001F600b") << QByteArray("a?b");
    QTest::addRow("empty") << QString() << QByteArray();
}

void TestLink::typedText() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(textToBytes(text), bytes);
}

void TestLink::portSettings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addRow("19200") << "19200,N,8,1" << true << 19200;
    QTest::addRow("9600") << "9600,N,8,1" << true << 9600;
    QTest::addRow("lower-case parity") << "9600,n,8,1" << true << 9600;
    QTest::addRow("missing field") << "9600,N,8" << false << 0;
    QTest::addRow("no speed") << ",N,8,1" << false << 0;
    QTest::addRow("unknown parity") << "9600,X,8,1" << false << 0;
    QTest::addRow("nine data bits") << "9600,N,9,1" << false << 0;
    QTest::addRow("three stop bits") << "9600,N,8,3" << false << 0;
}

void TestLink::portSettings() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, baud);
    const auto parsed = parsePortSettings(text);
    QCOMPARE(parsed.has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(parsed->baudRate, baud);
    QCOMPARE(parsed->parity, QSerialPort::NoParity);
    QCOMPARE(parsed->dataBits, QSerialPort::Data8);
    QCOMPARE(parsed->stopBits, QSerialPort::OneStop);
    QCOMPARE(formatPortSettings(*parsed), text.toUpper());
}

void TestLink::replyCaptureKeepsHeadAndBoundsMemory() {
    ReplyCapture capture;
    QCOMPARE(capture.trace(), QStringLiteral(" "));
    capture.append("00");
    const QByteArray flood(4096, 'A');
    qsizetype total = 2;
    for (int i = 0; i < 20; ++i)
        total += capture.append(flood);
    QCOMPARE(total, ReplyCapture::kCapacity);
    QCOMPARE(capture.bytes().size(), ReplyCapture::kCapacity);
    QVERIFY(capture.bytes().startsWith("00A"));
    QCOMPARE(capture.trace(), traceLine(capture.bytes()));
    QCOMPARE(capture.append("more"), 0);
    QCOMPARE(capture.bytes().size(), ReplyCapture::kCapacity);
}

void TestLink::replyCaptureClears() {
    ReplyCapture capture;
    capture.append(QByteArray(ReplyCapture::kCapacity, 'x'));
    capture.clear();
    QVERIFY(capture.bytes().isEmpty());
    QCOMPARE(capture.trace(), QStringLiteral(" "));
    QCOMPARE(capture.append("12\r"), 3);
    QCOMPARE(capture.trace(), QStringLiteral(" 1 2 CR "));
}

void TestLink::switchTo_data() {
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("description");
    QTest::addRow("COM2 opens") << QString() << 2 << 2 << QString();
    QTest::addRow("COM2 missing: COM1 next")
        << "COM2 (/dev/b)" << 2 << 1 << "Cannot open COM2 (/dev/b): the device does not exist.";
    QTest::addRow("no COM3: COM1 stays") << QString() << 3 << 1 << "There is no port COM3.";
}

void TestLink::switchTo() {
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

void TestLink::reopensOnItsTimer_data() {
    QTest::addColumn<bool>("lost");
    QTest::addRow("after a failed open") << false;
    QTest::addRow("after a lost device") << true;
}

void TestLink::reopensOnItsTimer() {
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

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
