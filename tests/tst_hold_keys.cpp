// The 17 hold keys: a frame at the press and one per repeat tick while the
// mouse button is down (any button), the repeat and reply timings each press
// sets, the arrow keys' timing taken from what was used before, the release
// that blanks the traces and restores the start timing, and the holds that end
// or go on without a release of their own (a modal box, a hidden, minimised or
// inactive window, a release that went elsewhere; the pointer sliding off the
// key).

#include "commands/controller.h"
#include "exchange/exchange.h"
#include "panel/form1.h"
#include "support/window_rig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <iterator>

using tavo::test::traceOf;
using tavo::test::WindowRig;

namespace {

constexpr int kUnchanged = 0;

struct HoldKey {
    const char* control;
    const char* caption;
    int number; // the held key while it is down
    const char* code;
    int repeat; // Timer1 after the press; kUnchanged for the arrow keys
    int replyTimeout;
    int traceClear;
};

// Written out by hand rather than taken from the program's own table, so that
// a slip in that table shows.
constexpr HoldKey kHoldKeys[] = {
    {"Command1", "VOL +", 1, "C09", 250, 200, 245},
    {"Command2", "VOL -", 2, "C0A", 250, 200, 245},
    {"Command5", "up", 3, "C3C", kUnchanged, kUnchanged, kUnchanged},
    {"Command7", "down", 4, "C3D", kUnchanged, kUnchanged, kUnchanged},
    {"Command9", "left", 5, "C3B", kUnchanged, kUnchanged, kUnchanged},
    {"Command8", "right", 6, "C3A", kUnchanged, kUnchanged, kUnchanged},
    {"Command15", "Brightness +", 7, "C20", 50, 25, 25},
    {"Command35", "Brightness -", 8, "C21", 50, 25, 25},
    {"Command36", "Focus +", 9, "C4B", 50, 25, 25},
    {"Command37", "Focus -", 10, "C4A", 50, 25, 25},
    {"Command6", "SELECT", 13, "C3F", 500, 200, 245},
    {"Command48", "D.Zoom +", 17, "C30", 250, 200, 245},
    {"Command49", "D.Zoom -", 18, "C31", 250, 200, 245},
    {"Command50", "Keystone +", 19, "C8E", 250, 200, 245},
    {"Command51", "Keystone -", 20, "C8F", 250, 200, 245},
    {"Command43", "Zoom +", 25, "C47", 50, 25, 25},
    {"Command68", "Zoom -", 26, "C46", 50, 25, 25},
};
static_assert(std::size(kHoldKeys) == 17);

// What the window starts with.
constexpr int kStartRepeat = 200;
constexpr int kStartReplyTimeout = 500;
constexpr int kStartTraceClear = 1000;

const QString kTimeoutMark = QStringLiteral(" X X X X");

bool isDigitalZoom(const QString& name) {
    return name == QLatin1String("Command48") || name == QLatin1String("Command49");
}

const char* buttonName(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton:
        return "left";
    case Qt::RightButton:
        return "right";
    default:
        return "middle";
    }
}

constexpr Qt::MouseButton kButtons[] = {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton};

} // namespace

class TestHoldKeys : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void pressAndReleaseSendOneFrame_data();
    void pressAndReleaseSendOneFrame();
    void holdingRepeatsTheFrame_data();
    void holdingRepeatsTheFrame();
    void releaseBlanksTracesAndEndsTheReply_data();
    void releaseBlanksTracesAndEndsTheReply();
    void slidingOffTheKeyIsNoRelease_data();
    void slidingOffTheKeyIsNoRelease();
    void doubleClickCountsAsPress_data();
    void doubleClickCountsAsPress();
    void modalBoxReleasesTheHeldKey_data();
    void modalBoxReleasesTheHeldKey();
    void modalBoxWithoutHeldKeyChangesNothing();
    void windowThatLosesTheReleaseReleasesTheKey_data();
    void windowThatLosesTheReleaseReleasesTheKey();
};

void TestHoldKeys::initTestCase() {
    tavo::test::quietTestNoise();
}

void TestHoldKeys::pressAndReleaseSendOneFrame_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<int>("replyTimeout");
    QTest::addColumn<int>("traceClear");
    for (const HoldKey& key : kHoldKeys) {
        for (const Qt::MouseButton button : kButtons)
            QTest::addRow("%s %s, %s button", key.control, key.caption, buttonName(button))
                << QString::fromLatin1(key.control) << button << key.number << QByteArray(key.code)
                << key.repeat << key.replyTimeout << key.traceClear;
    }
}

// Right after start, before the first repeat tick.
void TestHoldKeys::pressAndReleaseSendOneFrame() {
    QFETCH(QString, control);
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, number);
    QFETCH(QByteArray, code);
    QFETCH(int, repeat);
    QFETCH(int, replyTimeout);
    QFETCH(int, traceClear);

    WindowRig window;
    QVERIFY(window.isReady());
    QWidget* key = window.widget(control);
    QVERIFY(key);
    QTimer* timer1 = window.timer(QStringLiteral("Timer1"));
    QTimer* timer2 = window.timer(QStringLiteral("Timer2"));
    QTimer* timer4 = window.timer(QStringLiteral("Timer4"));
    const QByteArray frame = code + '\r';
    const int repeatAfter = repeat == kUnchanged ? kStartRepeat : repeat;

    QTest::mousePress(key, button);

    QCOMPARE(window.frames(), QList<QByteArray>{frame});
    QCOMPARE(window.form().exchange().lastFrameSent(), frame);
    QCOMPARE(window.text(QStringLiteral("Label11")), traceOf(frame));
    QCOMPARE(window.form().controller().heldKeyNumber(), number);
    QVERIFY(timer1->isActive());
    QCOMPARE(timer1->interval(), repeatAfter);
    QCOMPARE(timer2->interval(), replyTimeout == kUnchanged ? kStartReplyTimeout : replyTimeout);
    QCOMPARE(timer4->interval(), traceClear == kUnchanged ? kStartTraceClear : traceClear);
    QVERIFY(timer2->isActive());
    QVERIFY(timer4->isActive());

    QTest::mouseRelease(key, button);

    QCOMPARE(window.frames().size(), 1);
    QCOMPARE(window.form().controller().heldKeyNumber(), 0);
    QVERIFY(!timer1->isActive());
    QVERIFY(!timer2->isActive());
    QVERIFY(timer4->isActive());
    QCOMPARE(timer2->interval(), kStartReplyTimeout);
    QCOMPARE(timer4->interval(), kStartTraceClear);
    QCOMPARE(window.text(QStringLiteral("Label11")), QString());
    QCOMPARE(window.text(QStringLiteral("Label12")), QString());
    const bool digitalZoom = isDigitalZoom(control);
    QCOMPARE(timer1->interval(), digitalZoom ? 5 : repeatAfter);
    QCOMPARE(window.form().controller().arrowMode(), digitalZoom ? 3 : 0);
}

void TestHoldKeys::holdingRepeatsTheFrame_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("holdMs");
    QTest::addColumn<int>("least");
    QTest::addColumn<int>("most");
    // At about 0, 250, 500, 750 and 1000 ms.
    QTest::addRow("VOL + for a second") << "Command1" << QByteArray("C09\r") << 1000 << 4 << 6;
    const tavo::test::FrameCount fast = tavo::test::expectedFrames(300, 50);
    QTest::addRow("Brightness - for 300 ms")
        << "Command35" << QByteArray("C21\r") << 300 << fast.least << fast.most;
}

void TestHoldKeys::holdingRepeatsTheFrame() {
    QFETCH(QString, control);
    QFETCH(QByteArray, frame);
    QFETCH(int, holdMs);
    QFETCH(int, least);
    QFETCH(int, most);

    WindowRig window;
    QVERIFY(window.isReady());
    QWidget* key = window.widget(control);
    QVERIFY(key);

    QTest::mousePress(key, Qt::LeftButton);
    const qint64 held = tavo::test::runEventLoopFor(holdMs);
    const int sent = static_cast<int>(window.frames().size());
    const int repeatMs = window.form().controller().repeatTimer().interval();
    QTest::mouseRelease(key, Qt::LeftButton);

    // A busy machine ends the wait late: the repeats of that time count too.
    const int late = static_cast<int>((held - holdMs) / repeatMs);
    QVERIFY2(sent >= least && sent <= most + late,
             qPrintable(QStringLiteral("%1 frames in %2 ms").arg(sent).arg(held)));
    QCOMPARE(window.frames(), QList<QByteArray>(sent, frame));
}

void TestHoldKeys::releaseBlanksTracesAndEndsTheReply_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("reply"); // arriving while the key is down
    QTest::addRow("VOL + with part of a reply") << "Command1" << QByteArray("0");
    QTest::addRow("Brightness + with no reply") << "Command15" << QByteArray();
}

// No timeout mark follows a release: the reply timer is stopped, whether a
// reply has begun or not, and the traces are blanked at once.
void TestHoldKeys::releaseBlanksTracesAndEndsTheReply() {
    QFETCH(QString, control);
    QFETCH(QByteArray, reply);

    WindowRig window;
    QVERIFY(window.isReady());
    QWidget* key = window.widget(control);
    QVERIFY(key);
    QTimer* timer2 = window.timer(QStringLiteral("Timer2"));
    QTimer* timer4 = window.timer(QStringLiteral("Timer4"));

    QTest::mousePress(key, Qt::LeftButton);
    if (!reply.isEmpty()) {
        window.port().receive(reply);
        QCOMPARE(window.text(QStringLiteral("Label12")), traceOf(reply));
        QCOMPARE(window.form().exchange().replyBuffer(), reply);
    }
    QTest::mouseRelease(key, Qt::LeftButton);

    QCOMPARE(window.text(QStringLiteral("Label11")), QString());
    QCOMPARE(window.text(QStringLiteral("Label12")), QString());
    QVERIFY(window.form().exchange().replyBuffer().isEmpty());
    QVERIFY(!timer2->isActive());
    QCOMPARE(timer2->interval(), kStartReplyTimeout);
    QVERIFY(timer4->isActive());
    QCOMPARE(timer4->interval(), kStartTraceClear);
    QVERIFY(timer4->remainingTime() > kStartTraceClear - 200);
    // The release leaves the awaiting-reply flag as it was.
    QCOMPARE(window.form().exchange().awaitingReply(), reply.isEmpty());

    // Past the reply timeout of the start timing, and of the key's own.
    const bool marked =
        QTest::qWaitFor([&] { return window.text(QStringLiteral("Label12")) == kTimeoutMark; },
                        kStartReplyTimeout + 150);
    QVERIFY(!marked);
    QCOMPARE(window.frames().size(), 1);
}

void TestHoldKeys::slidingOffTheKeyIsNoRelease_data() {
    QTest::addColumn<Qt::MouseButton>("button");
    for (const Qt::MouseButton button : kButtons)
        QTest::addRow("%s button", buttonName(button)) << button;
}

// The pointer leaves Brightness + (50 ms repeat) while the button stays down.
void TestHoldKeys::slidingOffTheKeyIsNoRelease() {
    QFETCH(Qt::MouseButton, button);

    WindowRig window;
    QVERIFY(window.isReady());
    QWidget* key = window.widget(QStringLiteral("Command15"));
    QVERIFY(key);
    const QPoint outside = key->rect().bottomRight() + QPoint(40, 40);

    QTest::mousePress(key, button);
    QTest::mouseMove(key, outside);
    tavo::test::runEventLoopFor(250);

    QCOMPARE(window.form().controller().heldKeyNumber(), 7);
    QVERIFY(window.timer(QStringLiteral("Timer1"))->isActive());
    const tavo::test::FrameCount count = tavo::test::expectedFrames(250, 50);
    const auto sent = window.frames().size();
    QVERIFY2(sent >= count.least, qPrintable(QStringLiteral("%1 frames").arg(sent)));

    QTest::mouseRelease(key, button, {}, outside);
    QCOMPARE(window.form().controller().heldKeyNumber(), 0);
    QVERIFY(!window.timer(QStringLiteral("Timer1"))->isActive());
    QCOMPARE(window.frames().size(), sent);
}

void TestHoldKeys::doubleClickCountsAsPress_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<Qt::MouseButton>("button");
    for (const Qt::MouseButton button : kButtons) {
        QTest::addRow("VOL +, %s button", buttonName(button))
            << "Command1" << 1 << QByteArray("C09\r") << button;
        QTest::addRow("arrow right, %s button", buttonName(button))
            << "Command8" << 6 << QByteArray("C3A\r") << button;
    }
}

// A fast double tap arrives as press, release, double-click, release.
void TestHoldKeys::doubleClickCountsAsPress() {
    QFETCH(QString, control);
    QFETCH(int, number);
    QFETCH(QByteArray, frame);
    QFETCH(Qt::MouseButton, button);

    WindowRig window;
    QVERIFY(window.isReady());
    QWidget* key = window.widget(control);
    QVERIFY(key);

    QTest::mousePress(key, button);
    QTest::mouseRelease(key, button);
    QTest::mouseDClick(key, button);

    QCOMPARE(window.frames(), QList<QByteArray>(2, frame));
    QCOMPARE(window.form().controller().heldKeyNumber(), number);
    QVERIFY(window.timer(QStringLiteral("Timer1"))->isActive());

    QTest::mouseRelease(key, button);
    QCOMPARE(window.form().controller().heldKeyNumber(), 0);
    QVERIFY(!window.timer(QStringLiteral("Timer1"))->isActive());
    QCOMPARE(window.frames().size(), 2);
}

void TestHoldKeys::modalBoxReleasesTheHeldKey_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("realBox"); // a modal box shown, else the event alone
    QTest::addRow("VOL + held, window blocked") << "Command1" << false;
    QTest::addRow("arrow up held, window blocked") << "Command5" << false;
    QTest::addRow("D.Zoom - held, window blocked") << "Command49" << false;
    QTest::addRow("Zoom + held, a modal box opens") << "Command43" << true;
    QTest::addRow("D.Zoom + held, a modal box opens") << "Command48" << true;
}

// The box takes the mouse: the release would never come, so the block
// releases the key, with everything a release does.
void TestHoldKeys::modalBoxReleasesTheHeldKey() {
    QFETCH(QString, control);
    QFETCH(bool, realBox);

    WindowRig window;
    QVERIFY(window.isReady());
    QWidget* key = window.widget(control);
    QVERIFY(key);
    QTimer* timer1 = window.timer(QStringLiteral("Timer1"));

    QTest::mousePress(key, Qt::RightButton);
    QVERIFY(window.form().controller().heldKeyNumber() != 0);

    QMessageBox box(QMessageBox::Warning, QStringLiteral("box"), QStringLiteral("text"),
                    QMessageBox::Ok);
    if (realBox) {
        box.setWindowModality(Qt::ApplicationModal);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
    } else {
        QEvent blocked(QEvent::WindowBlocked);
        QCoreApplication::sendEvent(&window.form(), &blocked);
    }

    QCOMPARE(window.form().controller().heldKeyNumber(), 0);
    QVERIFY(!timer1->isActive());
    QVERIFY(!window.timer(QStringLiteral("Timer2"))->isActive());
    QVERIFY(window.timer(QStringLiteral("Timer4"))->isActive());
    QCOMPARE(window.timer(QStringLiteral("Timer2"))->interval(), kStartReplyTimeout);
    QCOMPARE(window.timer(QStringLiteral("Timer4"))->interval(), kStartTraceClear);
    QCOMPARE(window.text(QStringLiteral("Label11")), QString());
    const bool digitalZoom = isDigitalZoom(control);
    QCOMPARE(window.form().controller().arrowMode(), digitalZoom ? 3 : 0);
    if (digitalZoom)
        QCOMPARE(timer1->interval(), 5);

    tavo::test::runEventLoopFor(60);
    QCOMPARE(window.frames().size(), 1);
}

// A box over a window with no key down leaves the send under way alone.
void TestHoldKeys::modalBoxWithoutHeldKeyChangesNothing() {
    WindowRig window;
    QVERIFY(window.isReady());
    window.click(QStringLiteral("Command4"));

    QEvent blocked(QEvent::WindowBlocked);
    QCoreApplication::sendEvent(&window.form(), &blocked);

    QCOMPARE(window.text(QStringLiteral("Label11")), QStringLiteral(" C 1 1 CR "));
    QVERIFY(window.timer(QStringLiteral("Timer2"))->isActive());
    QCOMPARE(window.timer(QStringLiteral("Timer2"))->interval(), 2000);
    QCOMPARE(window.timer(QStringLiteral("Timer4"))->interval(), 2500);
    QCOMPARE(window.frames().size(), 1);
}

namespace {

// How the window comes to miss the release of the mouse button.
enum class LostRelease { Hidden, Minimised, AnotherWindowActive, ReleasedElsewhere };

const char* lostReleaseName(LostRelease way) {
    switch (way) {
    case LostRelease::Hidden:
        return "window hidden";
    case LostRelease::Minimised:
        return "window minimised";
    case LostRelease::AnotherWindowActive:
        return "another window activated";
    case LostRelease::ReleasedElsewhere:
        return "button released over another control";
    }
    return "";
}

constexpr LostRelease kLostReleases[] = {LostRelease::Hidden, LostRelease::Minimised,
                                         LostRelease::AnotherWindowActive,
                                         LostRelease::ReleasedElsewhere};

} // namespace

void TestHoldKeys::windowThatLosesTheReleaseReleasesTheKey_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<int>("way");
    for (const LostRelease way : kLostReleases)
        QTest::addRow("Brightness +, %s", lostReleaseName(way))
            << "Command15" << QByteArray("C20\r") << 50 << int(way);
    for (const LostRelease way : {LostRelease::Hidden, LostRelease::ReleasedElsewhere})
        QTest::addRow("VOL +, %s", lostReleaseName(way))
            << "Command1" << QByteArray("C09\r") << 250 << int(way);
    QTest::addRow("D.Zoom -, %s", lostReleaseName(LostRelease::Minimised))
        << "Command49" << QByteArray("C31\r") << 250 << int(LostRelease::Minimised);
}

// The key is held until it repeats; then the window misses the release (it
// is hidden or minimised, another window takes the focus, or the button comes
// up over another control). The key is released with everything a release
// does, and once the window is back a click sends its own frame and nothing
// more.
void TestHoldKeys::windowThatLosesTheReleaseReleasesTheKey() {
    QFETCH(QString, control);
    QFETCH(QByteArray, frame);
    QFETCH(int, repeat);
    QFETCH(int, way);

    WindowRig window;
    QVERIFY(window.isReady());
    tavo::panel::Form1& form = window.form();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QWidget* key = window.widget(control);
    QVERIFY(key);
    QTimer* timer1 = window.timer(QStringLiteral("Timer1"));

    QTest::mousePress(key, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(window.frames().size() >= 2, 10 * repeat);

    QWidget other;
    switch (static_cast<LostRelease>(way)) {
    case LostRelease::Hidden:
        form.hide();
        break;
    case LostRelease::Minimised:
        form.showMinimized();
        break;
    case LostRelease::AnotherWindowActive:
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        break;
    case LostRelease::ReleasedElsewhere:
        QTest::mouseRelease(window.widget(QStringLiteral("Command17")), Qt::LeftButton);
        break;
    }

    // At once, or at the next repeat tick for a release that went elsewhere.
    QTRY_COMPARE_WITH_TIMEOUT(form.controller().heldKeyNumber(), 0, 10 * repeat);
    QVERIFY(!timer1->isActive());
    QCOMPARE(window.text(QStringLiteral("Label11")), QString());
    QCOMPARE(window.timer(QStringLiteral("Timer2"))->interval(), kStartReplyTimeout);
    const bool digitalZoom = isDigitalZoom(control);
    QCOMPARE(form.controller().arrowMode(), digitalZoom ? 3 : 0);
    const auto sent = window.frames().size();
    QCOMPARE(window.frames(), QList<QByteArray>(sent, frame));

    // The window comes back; nothing goes out until the user asks.
    other.hide();
    form.showNormal();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    tavo::test::runEventLoopFor(2 * repeat);
    QCOMPARE(window.frames().size(), sent);
    window.click(QStringLiteral("Command17"));
    tavo::test::runEventLoopFor(2 * repeat);
    QCOMPARE(window.frames().size(), sent + 1);
    QCOMPARE(window.frames().last(), QByteArray("C00\r"));
}

QTEST_MAIN(TestHoldKeys)
#include "tst_hold_keys.moc"
