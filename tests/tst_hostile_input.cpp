// Whatever arrives on the line: a megabyte of random bytes in random pieces,
// replies that overflow or overrun their fields, replies that start with
// control characters. The window stays alive and bounded, writes nothing of
// its own, shows what it can decode, and the next click still goes out.
#include "exchange/exchange.h"
#include "exchange/reply_capture.h"
#include "status/tables.h"
#include "support/pty_rig.h"
#include "support/window_rig.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

using namespace tavo;
using tavo::test::PseudoTerminal;
using tavo::test::PtyRig;
using tavo::test::WindowRig;

namespace {

constexpr qsizetype kMegabyte = 1024 * 1024;
constexpr qsizetype kLongestTrace = 1 + 4 * link::ReplyCapture::kCapacity; // "ACK " per byte

// Random bytes, every value alike: NUL, bytes above 127, lone CR and LF among them.
QByteArray randomBytes(QRandomGenerator& random, qsizetype count) {
    QByteArray bytes(count, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = static_cast<char>(random.bounded(256));
    return bytes;
}

QSet<QString> powerStateTexts() {
    QSet<QString> texts{QString()};
    for (const status::StatusCode& code : status::statusQueries().front().table->codes)
        texts.insert(QString::fromLatin1(code.text));
    return texts;
}

QString repeated(const char* pattern, qsizetype size) {
    const QString unit = QLatin1String(pattern);
    QString text;
    while (text.size() < size)
        text += unit;
    return text.left(size);
}

} // namespace

class TestHostileInput : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void randomBytesThenClick_data();
    void randomBytesThenClick();
    void oddRepliesAreShownSafely_data();
    void oddRepliesAreShownSafely();
};

void TestHostileInput::initTestCase() {
    test::quietTestNoise();
    QVERIFY(PseudoTerminal().isValid());
}

void TestHostileInput::randomBytesThenClick_data() {
    QTest::addColumn<QString>("query"); // a control, the text of a typed frame, or nothing
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<quint32>("seed");
    QTest::addRow("1 MB after STATUS") << "Command44" << kMegabyte << 1u;
    QTest::addRow("256 kB after L-TIME") << "Command46" << kMegabyte / 4 << 2u;
    QTest::addRow("256 kB after the sensors") << "Command54" << kMegabyte / 4 << 3u;
    QTest::addRow("256 kB after a typed CR PRESSURE") << "CR PRESSURE" << kMegabyte / 4 << 4u;
    QTest::addRow("256 kB unasked") << QString() << kMegabyte / 4 << 5u;
}

// In pieces of 1 to 4096 bytes, as fast as the line takes them.
void TestHostileInput::randomBytesThenClick() {
    QFETCH(QString, query);
    QFETCH(qsizetype, size);
    QFETCH(quint32, seed);

    PtyRig rig;
    QVERIFY(rig.portOpen());
    if (query.startsWith(QLatin1String("Command"))) {
        rig.click(qPrintable(query));
    } else if (!query.isEmpty()) {
        rig.find<QLineEdit>("Text1")->setText(query);
        rig.click("Command95");
    }
    const QByteArray asked = rig.form->exchange().lastFrameSent();
    QCOMPARE(rig.com1.readAtLeast(asked.size()), asked);

    QRandomGenerator random(seed);
    QByteArray stream;
    while (stream.size() < size) {
        const auto piece = std::min<qsizetype>(random.bounded(1, 4097), size - stream.size());
        const QByteArray bytes = randomBytes(random, piece);
        rig.com1.write(bytes);
        stream += bytes;
        QCoreApplication::processEvents();
    }
    tavo::test::runEventLoopFor(100);

    const link::Exchange& exchange = rig.form->exchange();
    QVERIFY(exchange.replyBuffer().size() <= link::ReplyCapture::kCapacity);
    // Unasked, no reply timer empties the buffer: it keeps the stream's head.
    if (query.isEmpty())
        QTRY_COMPARE(exchange.replyBuffer(), stream.left(link::ReplyCapture::kCapacity));
    QVERIFY(rig.text("Label12").size() <= kLongestTrace);
    if (query == QLatin1String("Command44"))
        QVERIFY2(powerStateTexts().contains(rig.text("Label22")), qPrintable(rig.text("Label22")));
    QCOMPARE(rig.com1.readAvailable(), QByteArray());

    QElapsedTimer clock;
    clock.start();
    rig.click("Command17");
    QCOMPARE(rig.com1.readAtLeast(4), QByteArray("C00\r"));
    qInfo("%lld bytes in; the click's frame on the wire after %lld ms",
          static_cast<long long>(size), static_cast<long long>(clock.elapsed()));
    QCOMPARE(rig.text("Label11"), QStringLiteral(" C 0 0 CR "));
    tavo::test::runEventLoopFor(20);
    QCOMPARE(rig.com1.readAvailable(), QByteArray());
    QVERIFY(rig.warnings.texts.isEmpty());
}

void TestHostileInput::oddRepliesAreShownSafely_data() {
    QTest::addColumn<QString>("query"); // a control, or the text of a typed frame
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("status");
    const QString pressure = QStringLiteral("CR PRESSURE");
    const QString outOfRange = QStringLiteral("---- hPa");
    QTest::addRow("pressure beyond 16 bits") << pressure << QByteArray("99999\r") << outOfRange;
    QTest::addRow("pressure whose fivefold overflows")
        << pressure << QByteArray("6554\r") << outOfRange;
    QTest::addRow("negative pressure whose fivefold overflows")
        << pressure << QByteArray("-6554\r") << outOfRange;
    QTest::addRow("pressure beyond a double") << pressure << QByteArray("1E999\r") << outOfRange;
    QTest::addRow("pressure of 400 digits")
        << pressure << QByteArray(400, '9') + '\r' << outOfRange;
    QTest::addRow("pressure in hexadecimal beyond 16 bits")
        << pressure << QByteArray("&HFFFFF\r") << outOfRange;
    QTest::addRow("pressure after a control character")
        << pressure << '\x01' + QByteArray("512\r") << QStringLiteral("106 hPa");
    QTest::addRow("lamp hours far longer than the field")
        << "Command46" << QByteArray("1234567890").repeated(100) + '\r'
        << QStringLiteral(" 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 Hour Use");
    QTest::addRow("lamp hours after a control character")
        << "Command46" << '\x02' + QByteArray("123\r") << QStringLiteral(" ? 1 2 3 CR  Hour Use");
    QTest::addRow("sensors far longer than their fields")
        << "Command54" << repeated("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 2000).toLatin1() + '\r'
        << QStringLiteral("  S1= A B C D E C  ,   S2=  H I J K C , S3= M N O P Q C");
    QTest::addRow("STATUS reply after NUL")
        << "Command44" << '\0' + QByteArray("00\r") << QString();
    QTest::addRow("STATUS reply after an escape sequence")
        << "Command44" << QByteArray("\x1b[2J00\r") << QString();
    QTest::addRow("STATUS reply after a lone LF")
        << "Command44" << QByteArray("\n00\r") << QString();
    QTest::addRow("STATUS reply after a lone CR")
        << "Command44" << QByteArray("\r00\r") << QString();
    QTest::addRow("input mode after byte 255")
        << "Command45" << '\xff' + QByteArray("1\r") << QString();
    QTest::addRow("mute state after ACK") << "CRA" << '\x06' + QByteArray("00\r") << QString();
}

// The status line shows what the rule makes of the reply, or nothing; the
// only frame on the line is the query.
void TestHostileInput::oddRepliesAreShownSafely() {
    QFETCH(QString, query);
    QFETCH(QByteArray, reply);
    QFETCH(QString, status);

    WindowRig window;
    QVERIFY(window.isReady());
    if (query.startsWith(QLatin1String("Command"))) {
        window.click(query);
    } else {
        window.form().findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(query);
        window.click(QStringLiteral("Command95"));
    }
    const QByteArray asked = window.form().exchange().lastFrameSent();

    window.port().receive(reply);

    QCOMPARE(window.text(QStringLiteral("Label22")), status);
    QCOMPARE(window.form().exchange().replyBuffer(), reply);
    QCOMPARE(window.frames(), QList<QByteArray>{asked});
    window.click(QStringLiteral("Command17"));
    QCOMPARE(window.frames(), (QList<QByteArray>{asked, "C00\r"}));
    QVERIFY(window.warnings().texts.isEmpty());
}

QTEST_MAIN(TestHostileInput)
#include "tst_hostile_input.moc"
