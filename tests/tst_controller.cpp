// What the sending controls do to the exchange, without any window: the
// timing classes of the one-shot senders, the hold keys' press, repeat and
// release, the arrow modes and the D.Zoom release rule. The expected values
// are written out here from the panel's documented behaviour, not read from
// the tables under test.
#include "commands/controller.h"
#include "commands/senders.h"
#include "exchange/exchange.h"
#include "support/fake_exchange.h"
#include "support/window_rig.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace std::chrono_literals;
using tavo::commands::Controller;
using tavo::commands::HoldKey;
using tavo::commands::OneShotSender;
using tavo::link::Exchange;
using tavo::test::runEventLoopFor;
using tavo::test::tick;

namespace {

const HoldKey& holdKey(const char* control) {
    const auto keys = tavo::commands::holdKeys();
    const auto key = std::ranges::find_if(
        keys, [&](const HoldKey& k) { return k.control == std::string_view(control); });
    if (key == keys.end())
        qFatal("no hold key %s", control);
    return *key;
}

const OneShotSender& sender(const char* control) {
    const auto senders = tavo::commands::oneShotSenders();
    const auto found = std::ranges::find_if(
        senders, [&](const OneShotSender& s) { return s.control == std::string_view(control); });
    if (found == senders.end())
        qFatal("no sender %s", control);
    return *found;
}

bool isHoldKey(const QString& control) {
    return std::ranges::any_of(tavo::commands::holdKeys(), [&](const HoldKey& key) {
        return control == QLatin1String(key.control);
    });
}

struct Rig : tavo::test::FakeExchange {
    std::unique_ptr<Controller> controller = std::make_unique<Controller>(*exchange);

    // A step of a scenario: "press:Command5", "release:Command5", "click:Command23".
    void run(const QString& step) {
        const QStringList parts = step.split(QLatin1Char(':'));
        const QByteArray control = parts.at(1).toLatin1();
        if (parts.at(0) == QLatin1String("press"))
            controller->press(holdKey(control.constData()));
        else if (parts.at(0) == QLatin1String("release"))
            controller->release(holdKey(control.constData()));
        else
            controller->sendOneShot(sender(control.constData()));
    }
    int repeat() const { return controller->repeatTimer().interval(); }
    int replyTimeout() const { return exchange->replyTimer().interval(); }
    int traceClear() const { return exchange->clearTimer().interval(); }
};

} // namespace

class TestController : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void oneShotTimingClasses_data();
    void oneShotTimingClasses();
    void holdKeyPress_data();
    void holdKeyPress();
    void arrowKeysTakeTheirTimingFromBefore_data();
    void arrowKeysTakeTheirTimingFromBefore();
    void repeatSendsTheHeldKey();
    void releaseStopsAndResets_data();
    void releaseStopsAndResets();
    void releaseHeldWithoutKey();
    void typedTextGoesOutAsTyped_data();
    void typedTextGoesOutAsTyped();
    void repeatPeriodInRealTime_data();
    void repeatPeriodInRealTime();
};

void TestController::oneShotTimingClasses_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("replyTimeout");
    QTest::addColumn<int>("traceClear");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<int>("arrowMode");
    QTest::addRow("plain: POWER ON")
        << "Command17" << QByteArray("C00\r") << 500 << 1000 << 200 << 0;
    QTest::addRow("plain heading: AV Size")
        << "Label6" << QByteArray("CR SCREEN\r") << 500 << 1000 << 200 << 0;
    QTest::addRow("picture preset: STAND")
        << "Command4" << QByteArray("C11\r") << 2000 << 2500 << 200 << 0;
    QTest::addRow("terminal setup: Component")
        << "Command74" << QByteArray("CF INPUT VIDEO YPBPR\r") << 5000 << 5500 << 200 << 0;
    QTest::addRow("menu context: A-IMAGE")
        << "Command13" << QByteArray("C89\r") << 500 << 1000 << 200 << 1;
    QTest::addRow("menu context: MENU ON")
        << "Command23" << QByteArray("C1C\r") << 500 << 1000 << 200 << 1;
}

void TestController::oneShotTimingClasses() {
    QFETCH(QString, control);
    QFETCH(QByteArray, frame);
    QFETCH(int, replyTimeout);
    QFETCH(int, traceClear);
    QFETCH(int, repeat);
    QFETCH(int, arrowMode);
    Rig rig;
    rig.run(QStringLiteral("press:Command15")); // leaves the repeat at 50
    rig.run(QStringLiteral("release:Command15"));
    rig.port->written.clear();
    rig.run(QStringLiteral("click:") + control);
    QCOMPARE(rig.port->written, QList<QByteArray>{frame});
    QCOMPARE(rig.replyTimeout(), replyTimeout);
    QCOMPARE(rig.traceClear(), traceClear);
    QCOMPARE(rig.repeat(), arrowMode == 1 ? repeat : 50);
    QCOMPARE(rig.controller->arrowMode(), arrowMode);
    QVERIFY(!rig.controller->repeatTimer().isActive()); // a click never starts the repeat
    // The timing sticks for later plain frames.
    rig.run(QStringLiteral("click:Command17"));
    QCOMPARE(rig.replyTimeout(), replyTimeout);
}

void TestController::holdKeyPress_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<int>("replyTimeout");
    QTest::addColumn<int>("traceClear");
    QTest::addRow("VOL +") << "Command1" << 1 << QByteArray("C09\r") << 250 << 200 << 245;
    QTest::addRow("VOL -") << "Command2" << 2 << QByteArray("C0A\r") << 250 << 200 << 245;
    QTest::addRow("Brightness +") << "Command15" << 7 << QByteArray("C20\r") << 50 << 25 << 25;
    QTest::addRow("Brightness -") << "Command35" << 8 << QByteArray("C21\r") << 50 << 25 << 25;
    QTest::addRow("Focus +") << "Command36" << 9 << QByteArray("C4B\r") << 50 << 25 << 25;
    QTest::addRow("Focus -") << "Command37" << 10 << QByteArray("C4A\r") << 50 << 25 << 25;
    QTest::addRow("SELECT") << "Command6" << 13 << QByteArray("C3F\r") << 500 << 200 << 245;
    QTest::addRow("D.Zoom +") << "Command48" << 17 << QByteArray("C30\r") << 250 << 200 << 245;
    QTest::addRow("D.Zoom -") << "Command49" << 18 << QByteArray("C31\r") << 250 << 200 << 245;
    QTest::addRow("Keystone +") << "Command50" << 19 << QByteArray("C8E\r") << 250 << 200 << 245;
    QTest::addRow("Keystone -") << "Command51" << 20 << QByteArray("C8F\r") << 250 << 200 << 245;
    QTest::addRow("Zoom +") << "Command43" << 25 << QByteArray("C47\r") << 50 << 25 << 25;
    QTest::addRow("Zoom -") << "Command68" << 26 << QByteArray("C46\r") << 50 << 25 << 25;
    QTest::addRow("up, at start") << "Command5" << 3 << QByteArray("C3C\r") << 200 << 500 << 1000;
    QTest::addRow("down, at start") << "Command7" << 4 << QByteArray("C3D\r") << 200 << 500 << 1000;
    QTest::addRow("left, at start") << "Command9" << 5 << QByteArray("C3B\r") << 200 << 500 << 1000;
    QTest::addRow("right, at start")
        << "Command8" << 6 << QByteArray("C3A\r") << 200 << 500 << 1000;
}

void TestController::holdKeyPress() {
    QFETCH(QString, control);
    QFETCH(int, number);
    QFETCH(QByteArray, frame);
    QFETCH(int, repeat);
    QFETCH(int, replyTimeout);
    QFETCH(int, traceClear);
    Rig rig;
    rig.run(QStringLiteral("press:") + control);
    QCOMPARE(rig.port->written, QList<QByteArray>{frame});
    QCOMPARE(rig.controller->heldKeyNumber(), number);
    QVERIFY(rig.controller->repeatTimer().isActive());
    QCOMPARE(rig.controller->repeatTimer().timerType(), Qt::PreciseTimer);
    QCOMPARE(rig.repeat(), repeat);
    QCOMPARE(rig.replyTimeout(), replyTimeout);
    QCOMPARE(rig.traceClear(), traceClear);
    // The press's own frame started both reply timers.
    QVERIFY(rig.exchange->replyTimer().isActive());
    QVERIFY(rig.exchange->clearTimer().isActive());
}

void TestController::arrowKeysTakeTheirTimingFromBefore_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("arrow");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("repeat");
    QTest::addColumn<int>("replyTimeout");
    QTest::addColumn<int>("traceClear");
    QTest::addColumn<int>("arrowMode");
    QTest::addColumn<int>("holdMs"); // 0: the repeat is not timed

    const auto row = [](const char* name, const QStringList& before, const char* arrow,
                        const char* frame, int repeat, int reply, int clear, int mode, int holdMs) {
        QTest::addRow("%s", name) << before << QString::fromLatin1(arrow) << QByteArray(frame)
                                  << repeat << reply << clear << mode << holdMs;
    };
    row("up right after start", {}, "Command5", "C3C\r", 200, 500, 1000, 0, 650);
    row("down after MENU ON", {"Command23"}, "Command7", "C3D\r", 200, 150, 190, 1, 650);
    row("left after A-IMAGE", {"Command13"}, "Command9", "C3B\r", 200, 150, 190, 1, 0);
    row("right after D.Zoom + released", {"Command48"}, "Command8", "C3A\r", 5, 5, 5, 3, 100);
    row("up after D.Zoom - released", {"Command49"}, "Command5", "C3C\r", 5, 5, 5, 3, 0);
    row("down after D.Zoom and POWER ON", {"Command48", "Command17"}, "Command7", "C3D\r", 5, 5, 5,
        3, 0);
    row("left after D.Zoom and VOL +", {"Command49", "Command1"}, "Command9", "C3B\r", 250, 5, 5, 3,
        0);
    row("right after D.Zoom and Brightness +", {"Command48", "Command15"}, "Command8", "C3A\r", 50,
        5, 5, 3, 0);
    row("up after D.Zoom and MENU ON", {"Command48", "Command23"}, "Command5", "C3C\r", 200, 150,
        190, 1, 0);
    row("down after D.Zoom and A-IMAGE", {"Command49", "Command13"}, "Command7", "C3D\r", 200, 150,
        190, 1, 0);
    row("left after SELECT", {"Command6"}, "Command9", "C3B\r", 500, 500, 1000, 0, 1100);
    row("right after MENU ON and SELECT", {"Command23", "Command6"}, "Command8", "C3A\r", 500, 150,
        190, 1, 0);
    row("up after VOL -", {"Command2"}, "Command5", "C3C\r", 250, 500, 1000, 0, 0);
    row("down after Zoom +", {"Command43"}, "Command7", "C3D\r", 50, 500, 1000, 0, 0);
    row("left after Keystone -", {"Command51"}, "Command9", "C3B\r", 250, 500, 1000, 0, 0);
    row("right after STAND", {"Command4"}, "Command8", "C3A\r", 200, 2000, 2500, 0, 0);
    row("up after PC1 RGB", {"Command64"}, "Command5", "C3C\r", 200, 5000, 5500, 0, 0);
    row("down after MENU ON and STAND", {"Command23", "Command4"}, "Command7", "C3D\r", 200, 150,
        190, 1, 0);
    row("left after an arrow held", {"Command48", "Command8"}, "Command9", "C3B\r", 5, 5, 5, 3, 0);
}

// The arrow keys repeat at whatever the last setter left in Timer1 and take
// their reply timing from the arrow mode: none of their own.
void TestController::arrowKeysTakeTheirTimingFromBefore() {
    QFETCH(QStringList, before);
    QFETCH(QString, arrow);
    QFETCH(QByteArray, frame);
    QFETCH(int, repeat);
    QFETCH(int, replyTimeout);
    QFETCH(int, traceClear);
    QFETCH(int, arrowMode);
    QFETCH(int, holdMs);

    Rig rig;
    for (const QString& step : before) {
        if (isHoldKey(step)) {
            rig.run(QStringLiteral("press:") + step);
            rig.run(QStringLiteral("release:") + step);
        } else {
            rig.run(QStringLiteral("click:") + step);
        }
    }
    rig.port->written.clear();

    rig.run(QStringLiteral("press:") + arrow);

    QCOMPARE(rig.port->written, QList<QByteArray>{frame});
    QVERIFY(rig.controller->repeatTimer().isActive());
    QCOMPARE(rig.repeat(), repeat);
    QCOMPARE(rig.replyTimeout(), replyTimeout);
    QCOMPARE(rig.traceClear(), traceClear);
    QCOMPARE(rig.controller->arrowMode(), arrowMode);
    QVERIFY(rig.controller->heldKeyNumber() != 0);

    if (holdMs > 0) {
        // Counted over the time the hold really lasted: a busy machine ends
        // the wait late.
        const qint64 held = runEventLoopFor(holdMs);
        const int sent = static_cast<int>(rig.port->written.size());
        const tavo::test::FrameCount count =
            tavo::test::expectedFrames(static_cast<int>(held), repeat);
        QVERIFY2(sent >= count.least && sent <= count.most,
                 qPrintable(QStringLiteral("%1 frames in %2 ms").arg(sent).arg(held)));
        QCOMPARE(rig.port->written, QList<QByteArray>(sent, frame));
    }
    rig.run(QStringLiteral("release:") + arrow);
    QCOMPARE(rig.controller->heldKeyNumber(), 0);
    QCOMPARE(rig.controller->arrowMode(), arrowMode);
}

void TestController::repeatSendsTheHeldKey() {
    Rig rig;
    rig.run(QStringLiteral("press:Command1"));
    tick(rig.controller->repeatTimer());
    tick(rig.controller->repeatTimer());
    QCOMPARE(rig.port->written, (QList<QByteArray>{"C09\r", "C09\r", "C09\r"}));
    QCOMPARE(rig.exchange->lastFrameSent(), QByteArray("C09\r"));
    rig.run(QStringLiteral("release:Command1"));
    tick(rig.controller->repeatTimer()); // a tick already queued sends nothing
    QCOMPARE(rig.port->written.size(), 3);
    QVERIFY(!rig.controller->repeatTimer().isActive());
}

void TestController::releaseStopsAndResets_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("repeatAfter");
    QTest::addColumn<int>("arrowModeAfter");
    QTest::addRow("VOL + keeps its repeat") << "Command1" << 250 << 0;
    QTest::addRow("Zoom - keeps its repeat") << "Command68" << 50 << 0;
    QTest::addRow("D.Zoom + sets 5 ms and arrow mode 3") << "Command48" << 5 << 3;
    QTest::addRow("D.Zoom - sets 5 ms and arrow mode 3") << "Command49" << 5 << 3;
    QTest::addRow("an arrow keeps the repeat it had") << "Command5" << 200 << 0;
}

void TestController::releaseStopsAndResets() {
    QFETCH(QString, control);
    QFETCH(int, repeatAfter);
    QFETCH(int, arrowModeAfter);
    Rig rig;
    rig.run(QStringLiteral("press:") + control);
    rig.port->receive("\x06");
    rig.run(QStringLiteral("release:") + control);
    QCOMPARE(rig.controller->heldKeyNumber(), 0);
    QVERIFY(!rig.controller->repeatTimer().isActive());
    QVERIFY(!rig.exchange->replyTimer().isActive());
    QVERIFY(rig.exchange->clearTimer().isActive());
    QCOMPARE(rig.replyTimeout(), 500);
    QCOMPARE(rig.traceClear(), 1000);
    QVERIFY(rig.exchange->replyBuffer().isEmpty());
    QCOMPARE(rig.repeat(), repeatAfter);
    QCOMPARE(rig.controller->arrowMode(), arrowModeAfter);
    QCOMPARE(rig.port->written.size(), 1); // a release sends nothing
}

void TestController::releaseHeldWithoutKey() {
    Rig rig;
    rig.exchange->setReplyTiming({2000ms, 2500ms});
    rig.controller->releaseHeld();
    QCOMPARE(rig.replyTimeout(), 2000); // nothing held, nothing changes
    rig.run(QStringLiteral("press:Command48"));
    rig.controller->releaseHeld();
    QCOMPARE(rig.controller->heldKeyNumber(), 0);
    QCOMPARE(rig.controller->arrowMode(), 3); // the rule of the key that was held
}

void TestController::typedTextGoesOutAsTyped_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("frame");
    QTest::addRow("a query") << QStringLiteral("CR7") << QByteArray("CR7\r");
    QTest::addRow("blanks kept") << QStringLiteral(" cr7 ") << QByteArray(" cr7 \r");
    QTest::addRow("empty") << QString() << QByteArray("\r");
    QTest::addRow("Latin-1 as one byte") << QStringLiteral("\u00e9") << QByteArray("\xe9\r");
    QTest::addRow("beyond one byte") << QStringLiteral("\u3042\U0001F600") << QByteArray("??\r");
}

void TestController::typedTextGoesOutAsTyped() {
    QFETCH(QString, typed);
    QFETCH(QByteArray, frame);
    Rig rig;
    rig.controller->sendTyped(typed);
    QCOMPARE(rig.port->written, QList<QByteArray>{frame});
    QCOMPARE(rig.replyTimeout(), 2000);
    QCOMPARE(rig.traceClear(), 2500);
}

// The repeat in real time: frames about every period while held.
void TestController::repeatPeriodInRealTime_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("period");
    QTest::addRow("VOL + every 250 ms") << "Command1" << 250;
    QTest::addRow("Focus + every 50 ms") << "Command36" << 50;
}

void TestController::repeatPeriodInRealTime() {
    QFETCH(QString, control);
    QFETCH(int, period);
    Rig rig;
    QElapsedTimer clock;
    clock.start();
    rig.run(QStringLiteral("press:") + control);
    QTRY_VERIFY_WITH_TIMEOUT(rig.port->written.size() >= 5, 20 * period);
    const qint64 elapsed = clock.elapsed();
    rig.run(QStringLiteral("release:") + control);
    // Four periods passed between the first and the fifth frame.
    QVERIFY2(elapsed >= 4 * period * 6 / 10 && elapsed <= 4 * period * 14 / 10,
             qPrintable(QString::number(elapsed)));
}

QTEST_GUILESS_MAIN(TestController)
#include "tst_controller.moc"
