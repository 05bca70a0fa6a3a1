// The direct-send entry as a technician uses it: the service key pressed
// while typing, and long pasted text. Run twice by ctest: offscreen, and
// under a virtual X display with the xcb platform, where a line edit binds
// Ctrl+K to "delete to the end of the line".
#include "support/key_spy.h"
#include "support/window_rig.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QTest>

using tavo::panel::Form1;
using tavo::test::WindowRig;

namespace {} // namespace

class TestEntry : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void serviceKeyKeepsTypedText_data();
    void serviceKeyKeepsTypedText();
    void longEntryIsSentWhole_data();
    void longEntryIsSentWhole();
};

void TestEntry::initTestCase() {
    tavo::test::quietTestNoise();
    const QByteArray expected = qgetenv("TAVO_EXPECT_PLATFORM");
    if (!expected.isEmpty())
        QCOMPARE(QGuiApplication::platformName(), QString::fromLatin1(expected));
    qInfo("platform: %s", qPrintable(QGuiApplication::platformName()));
}

void TestEntry::serviceKeyKeepsTypedText_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("cursor");
    QTest::addRow("cursor inside CR7") << QStringLiteral("CR7") << 1;
    QTest::addRow("cursor at the start") << QStringLiteral("CR7") << 0;
    QTest::addRow("cursor at the end") << QStringLiteral("CR PRESSURE") << 11;
}

void TestEntry::serviceKeyKeepsTypedText() {
    QFETCH(QString, typed);
    QFETCH(int, cursor);
    WindowRig w;
    QVERIFY(w.isReady());
    auto* entry = w.find<QLineEdit>("Text1");
    w.focus(QStringLiteral("Text1"));
    w.type(typed);
    entry->setCursorPosition(cursor);
    tavo::test::KeySpy spy;
    entry->installEventFilter(&spy);

    w.serviceKey();

    QVERIFY(spy.presses >= 1); // the key still reached the entry (after Ctrl itself)
    QCOMPARE(entry->text(), typed);
    QCOMPARE(entry->cursorPosition(), cursor);
    QCOMPARE(w.form().outerHeightTwips(), Form1::kServiceHeight);
    // Typing goes on where it was.
    w.type(QStringLiteral("x"));
    QCOMPARE(entry->text(), QString(typed).insert(cursor, QLatin1Char('x')));
}

void TestEntry::longEntryIsSentWhole_data() {
    QTest::addColumn<int>("length");
    QTest::addRow("one past the line edit's default limit") << 32768;
    QTest::addRow("40,000 characters") << 40000;
}

void TestEntry::longEntryIsSentWhole() {
    QFETCH(int, length);
    WindowRig w;
    QVERIFY(w.isReady());
    QString text;
    for (int i = 0; i < length; ++i)
        text += QLatin1Char("ABCDEFGHIJ"[i % 10]);
    auto* entry = w.find<QLineEdit>("Text1");
    entry->setText(text); // as a paste does
    QCOMPARE(entry->text().size(), length);
    w.forgetWrites();
    w.click(QStringLiteral("Command95"));
    QCOMPARE(w.frames().size(), 1);
    QCOMPARE(w.frames().first(), text.toLatin1() + '\r');
}

QTEST_MAIN(TestEntry)
#include "tst_entry.moc"
