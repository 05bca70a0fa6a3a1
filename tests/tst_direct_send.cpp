// Direct send: typed text goes out exactly as typed (one byte per character)
// with the long reply timing, typed status queries are decoded only when
// typed exactly, CLS empties the entry and sends nothing.

#include "commands/controller.h"
#include "exchange/exchange.h"
#include "panel/form1.h"
#include "support/window_rig.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

using tavo::test::traceOf;
using tavo::test::WindowRig;

namespace {

void typeIntoEntry(WindowRig& window, const QString& text) {
    window.focus(QStringLiteral("Text1"));
    window.type(text);
}

QString entryText(WindowRig& window) {
    return window.form().findChild<QLineEdit*>(QStringLiteral("Text1"))->text();
}

} // namespace

class TestDirectSend : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sendWritesTheTextAsTyped_data();
    void sendWritesTheTextAsTyped();
    void sendSetsTheLongReplyTiming_data();
    void sendSetsTheLongReplyTiming();
    void typedQueryIsDecodedOnlyWhenExact_data();
    void typedQueryIsDecodedOnlyWhenExact();
    void clsEmptiesTheEntryOnly_data();
    void clsEmptiesTheEntryOnly();
    void megabyteOfTextGoesOutWhole_data();
    void megabyteOfTextGoesOutWhole();
};

void TestDirectSend::initTestCase() {
    tavo::test::quietTestNoise();
}

void TestDirectSend::sendWritesTheTextAsTyped_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("trace");

    const auto row = [](const char* name, const QString& typed, const QByteArray& frame,
                        const char* trace) {
        QTest::addRow("%s", name) << typed << frame << QString::fromLatin1(trace);
    };
    row("empty entry: a lone carriage return", QString(), "\r", " CR ");
    row("a status query", QStringLiteral("CR7"), "CR7\r", " C R 7 CR ");
    row("trailing blank kept", QStringLiteral("CR7 "), "CR7 \r", " C R 7   CR ");
    row("leading blank kept", QStringLiteral(" CR0"), " CR0\r", "   C R 0 CR ");
    row("lower case kept", QStringLiteral("cr7"), "cr7\r", " c r 7 CR ");
    row("a code with blanks", QStringLiteral("CF INPUT VIDEO AUTO"), "CF INPUT VIDEO AUTO\r",
        " C F   I N P U T   V I D E O   A U T O CR ");
    row("a lone blank", QStringLiteral(" "), " \r", "   CR ");
    row("e acute is the one byte E9", QStringLiteral("é"), "\xE9\r", " ? CR ");
    row("a CJK character becomes ?", QStringLiteral("日"), "?\r", " ? CR ");
    row("one character beyond 16 bits is one ?", QStringLiteral("\U00020BB7"), "?\r", " ? CR ");
    row("mixed", QStringLiteral("日C0é"), "?C0\xE9\r", " ? C 0 ? CR ");
}

void TestDirectSend::sendWritesTheTextAsTyped() {
    QFETCH(QString, typed);
    QFETCH(QByteArray, frame);
    QFETCH(QString, trace);

    WindowRig window;
    QVERIFY(window.isReady());
    typeIntoEntry(window, typed);
    QCOMPARE(entryText(window), typed);

    window.click(QStringLiteral("Command95"));

    QCOMPARE(window.frames(), QList<QByteArray>{frame});
    QCOMPARE(window.form().exchange().lastFrameSent(), frame);
    QCOMPARE(window.text(QStringLiteral("Label11")), trace);
    QVERIFY(window.timer(QStringLiteral("Timer2"))->isActive());
    QVERIFY(window.timer(QStringLiteral("Timer4"))->isActive());
    QCOMPARE(entryText(window), typed);

    // The entry keeps its text: one more click sends it again.
    window.click(QStringLiteral("Command95"));
    QCOMPARE(window.frames(), QList<QByteArray>(2, frame));
}

void TestDirectSend::sendSetsTheLongReplyTiming_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("replyTimeout");
    QTest::addColumn<int>("traceClear");

    const auto row = [](const char* name, const QStringList& before, const QStringList& after,
                        int reply, int clear) {
        QTest::addRow("%s", name) << before << after << reply << clear;
    };
    row("right after start", {}, {}, 2000, 2500);
    row("after a terminal setup", {"Command64"}, {}, 2000, 2500);
    row("after MENU ON", {"Command23"}, {}, 2000, 2500);
    row("then POWER ON keeps it", {}, {"Command17"}, 2000, 2500);
    row("then a heading label keeps it", {"Command82"}, {"Label2"}, 2000, 2500);
    row("then a terminal setup sets its own", {}, {"Command73"}, 5000, 5500);
}

// SEND takes the picture presets' 2000 / 2500, and later frames keep it.
void TestDirectSend::sendSetsTheLongReplyTiming() {
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFETCH(int, replyTimeout);
    QFETCH(int, traceClear);

    WindowRig window;
    QVERIFY(window.isReady());
    for (const QString& control : before)
        window.click(control);
    typeIntoEntry(window, QStringLiteral("CR0"));
    window.click(QStringLiteral("Command95"));
    for (const QString& control : after)
        window.click(control);

    QCOMPARE(window.frames().size(), before.size() + 1 + after.size());
    QCOMPARE(window.frames().at(before.size()), QByteArray("CR0\r"));
    QCOMPARE(window.timer(QStringLiteral("Timer2"))->interval(), replyTimeout);
    QCOMPARE(window.timer(QStringLiteral("Timer4"))->interval(), traceClear);
}

void TestDirectSend::typedQueryIsDecodedOnlyWhenExact_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("status"); // empty: the status line stays empty

    QTest::addRow("CR7") << QStringLiteral("CR7") << QStringLiteral(" All OFF : 2 Lamp mode");
    QTest::addRow("CRA") << QStringLiteral("CRA") << QStringLiteral(" Video & Audio mute OFF");
    QTest::addRow("cr7 in lower case") << QStringLiteral("cr7") << QString();
    QTest::addRow("CR7 with a trailing blank") << QStringLiteral("CR7 ") << QString();
    QTest::addRow("CR7 with a leading blank") << QStringLiteral(" CR7") << QString();
    QTest::addRow("CR 7 with a blank inside") << QStringLiteral("CR 7") << QString();
}

// The reply "00" + CR: decoded when the typed frame is exactly a query.
void TestDirectSend::typedQueryIsDecodedOnlyWhenExact() {
    QFETCH(QString, typed);
    QFETCH(QString, status);

    WindowRig window;
    QVERIFY(window.isReady());
    typeIntoEntry(window, typed);
    window.click(QStringLiteral("Command95"));

    window.port().receive("00\r");

    QCOMPARE(window.text(QStringLiteral("Label12")), QStringLiteral(" 0 0 CR "));
    QCOMPARE(window.text(QStringLiteral("Label22")), status);
}

void TestDirectSend::clsEmptiesTheEntryOnly_data() {
    QTest::addColumn<QString>("typed");
    QTest::addRow("after sending STATUS") << QStringLiteral("CR0");
    QTest::addRow("with an empty entry") << QString();
}

// CLS empties the entry: nothing is sent, traces and timing stay.
void TestDirectSend::clsEmptiesTheEntryOnly() {
    QFETCH(QString, typed);

    WindowRig window;
    QVERIFY(window.isReady());
    typeIntoEntry(window, typed);
    window.click(QStringLiteral("Command95"));
    window.port().receive("00\r");
    const QByteArray frame = typed.toLatin1() + '\r';
    const QString sentTrace = traceOf(frame);
    QCOMPARE(window.text(QStringLiteral("Label11")), sentTrace);

    window.click(QStringLiteral("Command96"));

    QCOMPARE(entryText(window), QString());
    QCOMPARE(window.frames(), QList<QByteArray>{frame});
    QCOMPARE(window.form().exchange().lastFrameSent(), frame);
    QCOMPARE(window.text(QStringLiteral("Label11")), sentTrace);
    QCOMPARE(window.text(QStringLiteral("Label12")), QStringLiteral(" 0 0 CR "));
    QCOMPARE(window.timer(QStringLiteral("Timer2"))->interval(), 2000);

    // Sent after CLS: the empty entry gives a lone carriage return.
    window.click(QStringLiteral("Command95"));
    QCOMPARE(window.frames().size(), 2);
    QCOMPARE(window.frames().at(1), QByteArray("\r"));
}

namespace {

constexpr qsizetype kMegabyte = 1024 * 1024;

QString repeatedText(const QString& unit, qsizetype units) {
    QString text;
    text.reserve(units);
    while (text.size() < units)
        text += unit;
    return text.left(units);
}

enum class Entry { InputMethodCommits, Paste };

} // namespace

void TestDirectSend::megabyteOfTextGoesOutWhole_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QByteArray>("frame");
    // Typed in pieces the entry lays its whole text out again each time, so
    // the megabyte comes pasted and a smaller text typed.
    QTest::addRow("64 kB of letters typed in 4 kB commits")
        << repeatedText(QStringLiteral("A"), kMegabyte / 16) << int(Entry::InputMethodCommits)
        << QByteArray(kMegabyte / 16, 'A') + '\r';
    QTest::addRow("1 MB of letters pasted")
        << repeatedText(QStringLiteral("A"), kMegabyte) << int(Entry::Paste)
        << QByteArray(kMegabyte, 'A') + '\r';
    QTest::addRow("1 MB of CJK characters, one ? each")
        << repeatedText(QStringLiteral("日"), kMegabyte) << int(Entry::Paste)
        << QByteArray(kMegabyte, '?') + '\r';
    QTest::addRow("characters beyond 16 bits, one ? each")
        << repeatedText(QStringLiteral("\U00020BB7"), kMegabyte) << int(Entry::Paste)
        << QByteArray(kMegabyte / 2, '?') + '\r';
    const QString blanks = QStringLiteral("   ");
    QTest::addRow("1 MB with blanks at both ends")
        << blanks + repeatedText(QStringLiteral("C0 "), kMegabyte) + blanks << int(Entry::Paste)
        << QByteArray("   ") + QByteArray("C0 ").repeated(kMegabyte / 3) + "C   \r";
}

// The entry holds all of it; SEND writes exactly that, one byte per
// character, once per click, and nothing else.
void TestDirectSend::megabyteOfTextGoesOutWhole() {
    QFETCH(QString, text);
    QFETCH(int, entry);
    QFETCH(QByteArray, frame);

    WindowRig window;
    QVERIFY(window.isReady());
    window.focus(QStringLiteral("Text1"));
    if (static_cast<Entry>(entry) == Entry::Paste) {
        QGuiApplication::clipboard()->setText(text);
        window.key(Qt::Key_V, Qt::ControlModifier);
    } else {
        for (qsizetype at = 0; at < text.size(); at += 4096)
            QTest::sendKeyEvent(QTest::Click, window.form().windowHandle(), Qt::Key_unknown,
                                text.mid(at, 4096), Qt::NoModifier);
    }
    QCOMPARE(entryText(window), text);

    window.click(QStringLiteral("Command95"));

    QCOMPARE(window.frames().size(), 1);
    QCOMPARE(window.frames().front().size(), frame.size());
    QVERIFY(window.frames().front() == frame);
    window.click(QStringLiteral("Command17"));
    QCOMPARE(window.frames().size(), 2);
    QCOMPARE(window.frames().back(), QByteArray("C00\r"));
    QVERIFY(window.warnings().texts.isEmpty());
}

QTEST_MAIN(TestDirectSend)
#include "tst_direct_send.moc"
