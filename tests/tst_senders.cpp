// The one-shot senders: the frame that a click on each of the 60 writes, byte
// for byte, and the repeat and reply timing it leaves behind; the timings that
// stay in force for later frames; what sends nothing (labels without a query,
// other mouse buttons, the second press of a double-click, the keyboard on a
// hold key); and frames of every kind of sender reaching a real
// pseudo-terminal in the order of the clicks.

#include "commands/controller.h"
#include "exchange/exchange.h"
#include "link/serial_control.h"
#include "panel/form1.h"
#include "support/pseudo_terminal.h"
#include "support/warning_recorder.h"
#include "support/window_rig.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <iterator>

using tavo::test::traceOf;
using tavo::test::WindowRig;

namespace {

enum class Timing { Plain, PicturePreset, TerminalSetup, MenuContext };

struct Sender {
    const char* control;
    const char* caption;
    const char* code;
    Timing timing;
};

using enum Timing;

// Every one-shot sender with the code it must send, written out by hand rather
// than taken from the program's own table, so that a slip in that table shows.
constexpr Sender kSenders[] = {
    {"Label1", "POWER", "CR PROJH", Plain},
    {"Command17", "ON", "C00", Plain},
    {"Command18", "OFF", "C01", Plain},
    {"Label2", "INPUT MODE SET", "CR INPUT", Plain},
    {"Command27", "PC1", "C05", Plain},
    {"Command28", "PC2", "C06", Plain},
    {"Command29", "Video", "C07", Plain},
    {"Command23", "MENU ON", "C1C", MenuContext},
    {"Command24", "MENU OFF", "C1D", Plain},
    {"Command19", "SOUND MUTE ON", "C0B", Plain},
    {"Command20", "SOUND MUTE OFF", "C0C", Plain},
    {"Command21", "NO SHOW ON", "C0D", Plain},
    {"Command22", "NO SHOW OFF", "C0E", Plain},
    {"Command25", "FREEZE ON", "C43", Plain},
    {"Command26", "FREEZE OFF", "C44", Plain},
    {"Label6", "AV Size", "CR SCREEN", Plain},
    {"Command31", "Regular", "C0F", Plain},
    {"Command32", "Wide", "C10", Plain},
    {"Label20", "LAMP MODE", "CR LAMPMODE", Plain},
    {"Command59", "Auto", "C73", Plain},
    {"Command62", "Normal", "C74", Plain},
    {"Command71", "Eco", "C75", Plain},
    {"Command13", "A-IMAGE", "C89", MenuContext},
    {"Command30", "IMAGE", "C27", Plain},
    {"Command14", "P-TIMER", "C8A", Plain},
    {"Command3", "DISPLAY CLEAR", "C1E", Plain},
    {"Command4", "STAND", "C11", PicturePreset},
    {"Command10", "REAL", "C12", PicturePreset},
    {"Command11", "CINEMA", "C13", PicturePreset},
    {"Command39", "IMAGE1", "C14", PicturePreset},
    {"Command40", "IMAGE2", "C15", PicturePreset},
    {"Command41", "IMAGE3", "C16", PicturePreset},
    {"Command42", "IMAGE4", "C17", PicturePreset},
    {"Command44", "STATUS", "CR0", Plain},
    {"Command45", "MODE", "CR1", Plain},
    {"Command46", "L-TIME", "CR3", Plain},
    {"Command47", "SETTING", "CR4", Plain},
    {"Command54", "TEMP", "CR6", Plain},
    {"Command64", "PC1 RGB", "C50", TerminalSetup},
    {"Command65", "DVI(PC Digital)", "C52", TerminalSetup},
    {"Command66", "DVI(AV HDCP)", "C53", TerminalSetup},
    {"Command72", "PC2 RGB", "C25", TerminalSetup},
    {"Command73", "Scart", "C26", TerminalSetup},
    {"Command53", "IN", "CF TERMINAL COMPUTER", TerminalSetup},
    {"Command76", "OUT", "CF TERMINAL MONITOR", TerminalSetup},
    {"Command81", "Video Auto", "CF INPUT VIDEO AUTO", TerminalSetup},
    {"Command82", "Video Video", "CF INPUT VIDEO VIDEO", TerminalSetup},
    {"Command69", "S-Video", "CF INPUT VIDEO S-VIDEO", TerminalSetup},
    {"Command74", "Component", "CF INPUT VIDEO YPBPR", TerminalSetup},
    {"Label27", "FAN SPEED", "CR FANSPEED", Plain},
    {"Command97", "MAX", "CF FANSPEED MAX", Plain},
    {"Command98", "NOR", "CF FANSPEED NOR", Plain},
    {"Label19", "Key Lock", "CR KEYDIS", Plain},
    {"Command56", "Non Lock", "CF KEYDIS NONE", Plain},
    {"Command57", "R/C", "CF KEYDIS RC", Plain},
    {"Command58", "KEY", "CF KEYDIS KEY", Plain},
    {"Command60", "Logo Capture", "C7D", Plain},
    {"Command61", "Logo OFF", "C7A", Plain},
    {"Command63", "DEF", "C7B", Plain},
    {"Command67", "User", "C7C", Plain},
};
static_assert(std::size(kSenders) == 60);

constexpr const char* kHeadingLabels[] = {"Label1",  "Label2",  "Label6",
                                          "Label19", "Label20", "Label27"};

// Labels that only name a group, a column or a trace.
constexpr const char* kLabelsWithoutSender[] = {
    "Label3",  "Label4",  "Label5",  "Label7",  "Label8",  "Label9",
    "Label10", "Label13", "Label14", "Label15", "Label16", "Label17",
    "Label18", "Label23", "Label24", "Label25", "Label26",
};

// Controls that act on press and release only.
constexpr const char* kHoldKeys[] = {
    "Command1",  "Command2",  "Command5",  "Command7",  "Command9", "Command8",
    "Command15", "Command35", "Command36", "Command37", "Command6", "Command48",
    "Command49", "Command50", "Command51", "Command43", "Command68"};

bool isHoldKey(const QString& name) {
    return std::any_of(std::begin(kHoldKeys), std::end(kHoldKeys),
                       [&](const char* key) { return name == QLatin1String(key); });
}

QByteArray frameOf(const QByteArray& code) {
    return code + '\r';
}

// A step of a scenario: a hold key is pressed and released, anything else clicked.
void perform(WindowRig& window, const QString& control) {
    if (isHoldKey(control))
        window.hold(control);
    else
        window.click(control);
}

} // namespace

class TestSenders : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void clickSendsItsFrame_data();
    void clickSendsItsFrame();
    void replyTimingStaysForLaterFrames_data();
    void replyTimingStaysForLaterFrames();
    void labelWithoutSenderSendsNothing_data();
    void labelWithoutSenderSendsNothing();
    void otherMouseButtonsSendNothing_data();
    void otherMouseButtonsSendNothing();
    void headingIsClickedByReleaseInside_data();
    void headingIsClickedByReleaseInside();
    void headingDoubleClickSendsOnce_data();
    void headingDoubleClickSendsOnce();
    void keyboardActivatesOneShotButtonsOnly_data();
    void keyboardActivatesOneShotButtonsOnly();
    void framesReachTheLineInClickOrder();
};

void TestSenders::initTestCase() {
    tavo::test::quietTestNoise();
}

void TestSenders::clickSendsItsFrame_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<Timing>("timing");
    for (const Sender& sender : kSenders)
        QTest::addRow("%s %s \"%s\"", sender.control, sender.caption, sender.code)
            << QString::fromLatin1(sender.control) << QByteArray(sender.code) << sender.timing;
}

// Before the click the window holds values that no class of sender sets
// itself: repeat 5 ms and arrow mode 3 (from a D.Zoom release) and the long
// reply timing of another class, with both reply timers idle as after their
// ticks. So each expected value below can only come from the click.
void TestSenders::clickSendsItsFrame() {
    QFETCH(QString, control);
    QFETCH(QByteArray, code);
    QFETCH(Timing, timing);

    WindowRig window;
    QVERIFY(window.isReady());
    QTimer* timer1 = window.timer(QStringLiteral("Timer1"));
    QTimer* timer2 = window.timer(QStringLiteral("Timer2"));
    QTimer* timer4 = window.timer(QStringLiteral("Timer4"));
    QVERIFY(timer1 && timer2 && timer4);
    QVERIFY(window.widget(control));

    window.hold(QStringLiteral("Command48"));
    const bool terminal = timing == TerminalSetup;
    window.click(terminal ? QStringLiteral("Command4") : QStringLiteral("Command64"));
    const int replyBefore = terminal ? 2000 : 5000;
    const int clearBefore = terminal ? 2500 : 5500;
    QCOMPARE(timer1->interval(), 5);
    QCOMPARE(window.form().controller().arrowMode(), 3);
    QCOMPARE(timer2->interval(), replyBefore);
    timer2->stop();
    timer4->stop();
    window.forgetWrites();

    window.click(control);

    const QByteArray frame = frameOf(code);
    QCOMPARE(window.frames(), QList<QByteArray>{frame});
    QCOMPARE(window.form().exchange().lastFrameSent(), frame);
    QCOMPARE(window.text(QStringLiteral("Label11")), traceOf(frame));
    QCOMPARE(window.form().exchange().awaitingReply(), true);

    int reply = replyBefore;
    int clear = clearBefore;
    if (timing == PicturePreset) {
        reply = 2000;
        clear = 2500;
    } else if (timing == TerminalSetup) {
        reply = 5000;
        clear = 5500;
    }
    QCOMPARE(timer2->interval(), reply);
    QCOMPARE(timer4->interval(), clear);
    QVERIFY(timer2->isActive());
    QVERIFY(timer4->isActive());

    // A menu context click prepares the next arrow press but starts nothing.
    const bool menu = timing == MenuContext;
    QCOMPARE(timer1->interval(), menu ? 200 : 5);
    QCOMPARE(window.form().controller().arrowMode(), menu ? 1 : 3);
    QVERIFY(!timer1->isActive());
    QCOMPARE(window.form().controller().heldKeyNumber(), 0);
}

void TestSenders::replyTimingStaysForLaterFrames_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("replyTimeout");
    QTest::addColumn<int>("traceClear");

    const auto row = [](const char* name, const QStringList& steps, int reply, int clear) {
        QTest::addRow("%s", name) << steps << reply << clear;
    };
    row("STAND then POWER ON", {"Command4", "Command17"}, 2000, 2500);
    row("STAND then three plain buttons", {"Command4", "Command17", "Command44", "Command97"}, 2000,
        2500);
    row("CINEMA then heading AV Size", {"Command11", "Label6"}, 2000, 2500);
    row("IMAGE4 then MENU ON", {"Command42", "Command23"}, 2000, 2500);
    row("PC1 RGB then POWER ON", {"Command64", "Command17"}, 5000, 5500);
    row("Component then heading Key Lock", {"Command74", "Label19"}, 5000, 5500);
    row("terminal IN then A-IMAGE then STATUS", {"Command53", "Command13", "Command44"}, 5000,
        5500);
    row("STAND then terminal OUT", {"Command4", "Command76"}, 5000, 5500);
    row("S-Video then REAL", {"Command69", "Command10"}, 2000, 2500);
    row("STAND then VOL + held", {"Command4", "Command1"}, 500, 1000);
    row("PC2 RGB then arrow held", {"Command72", "Command5"}, 500, 1000);
    row("STAND then SELECT held then POWER ON", {"Command4", "Command6", "Command17"}, 500, 1000);
    row("DVI then D.Zoom held then heading POWER", {"Command65", "Command49", "Label1"}, 500, 1000);
    row("Brightness held then STAND then Zoom held", {"Command15", "Command4", "Command43"}, 500,
        1000);
}

// Intervals set by a sender stay for every later frame until another setter
// changes them; only a hold-key release sets the start values back.
void TestSenders::replyTimingStaysForLaterFrames() {
    QFETCH(QStringList, steps);
    QFETCH(int, replyTimeout);
    QFETCH(int, traceClear);

    WindowRig window;
    QVERIFY(window.isReady());
    for (const QString& step : steps)
        perform(window, step);

    QCOMPARE(window.frames().size(), steps.size());
    QCOMPARE(window.timer(QStringLiteral("Timer2"))->interval(), replyTimeout);
    QCOMPARE(window.timer(QStringLiteral("Timer4"))->interval(), traceClear);
}

void TestSenders::labelWithoutSenderSendsNothing_data() {
    QTest::addColumn<QString>("label");
    for (const char* label : kLabelsWithoutSender)
        QTest::addRow("%s", label) << QString::fromLatin1(label);
}

void TestSenders::labelWithoutSenderSendsNothing() {
    QFETCH(QString, label);

    WindowRig window;
    QVERIFY(window.isReady());
    QWidget* widget = window.widget(label);
    QVERIFY(widget);

    window.click(label);
    QTest::mouseDClick(widget, Qt::LeftButton);
    QTest::mouseRelease(widget, Qt::LeftButton);

    QVERIFY(window.frames().isEmpty());
    QVERIFY(window.form().exchange().lastFrameSent().isEmpty());
    QCOMPARE(window.text(QStringLiteral("Label11")), QString());
}

void TestSenders::otherMouseButtonsSendNothing_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<Qt::MouseButton>("button");

    for (const char* label : kHeadingLabels)
        QTest::addRow("right click on heading %s", label)
            << QString::fromLatin1(label) << Qt::RightButton;
    const auto row = [](const char* name, const char* control, Qt::MouseButton button) {
        QTest::addRow("%s", name) << QString::fromLatin1(control) << button;
    };
    row("middle click on heading Label1", "Label1", Qt::MiddleButton);
    row("right click on POWER ON", "Command17", Qt::RightButton);
    row("middle click on POWER ON", "Command17", Qt::MiddleButton);
    row("right click on STAND", "Command4", Qt::RightButton);
    row("right click on PC1 RGB", "Command64", Qt::RightButton);
    row("right click on MENU ON", "Command23", Qt::RightButton);
    row("middle click on A-IMAGE", "Command13", Qt::MiddleButton);
    row("right click on STATUS", "Command44", Qt::RightButton);
}

// Nothing is sent and no timing or arrow mode is set.
void TestSenders::otherMouseButtonsSendNothing() {
    QFETCH(QString, control);
    QFETCH(Qt::MouseButton, button);

    WindowRig window;
    QVERIFY(window.isReady());
    QVERIFY(window.widget(control));

    QTest::mouseClick(window.widget(control), button);

    QVERIFY(window.frames().isEmpty());
    QVERIFY(window.form().exchange().lastFrameSent().isEmpty());
    QCOMPARE(window.timer(QStringLiteral("Timer2"))->interval(), 500);
    QCOMPARE(window.timer(QStringLiteral("Timer4"))->interval(), 1000);
    QCOMPARE(window.form().controller().arrowMode(), 0);
}

void TestSenders::headingIsClickedByReleaseInside_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("releaseInside");
    for (const char* label : kHeadingLabels) {
        QTest::addRow("%s released inside", label) << QString::fromLatin1(label) << true;
        QTest::addRow("%s released outside", label) << QString::fromLatin1(label) << false;
    }
}

// A left press on the heading and a release in its far corner is a click; a
// release after the pointer has left the heading is none.
void TestSenders::headingIsClickedByReleaseInside() {
    QFETCH(QString, label);
    QFETCH(bool, releaseInside);

    WindowRig window;
    QVERIFY(window.isReady());
    QWidget* heading = window.widget(label);
    QVERIFY(heading);
    const QPoint corner = heading->rect().bottomRight();

    QTest::mousePress(heading, Qt::LeftButton, {}, QPoint(1, 1));
    QTest::mouseRelease(heading, Qt::LeftButton, {},
                        releaseInside ? corner : corner + QPoint(20, 20));

    QCOMPARE(window.frames().size(), releaseInside ? 1 : 0);
}

void TestSenders::headingDoubleClickSendsOnce_data() {
    QTest::addColumn<QString>("label");
    QTest::addColumn<QByteArray>("code");
    for (const Sender& sender : kSenders) {
        if (QByteArray(sender.control).startsWith("Label"))
            QTest::addRow("%s %s", sender.control, sender.caption)
                << QString::fromLatin1(sender.control) << QByteArray(sender.code);
    }
}

// A double-click arrives as press, release, double-click, release: the first
// pair is a click, the second press is not.
void TestSenders::headingDoubleClickSendsOnce() {
    QFETCH(QString, label);
    QFETCH(QByteArray, code);

    WindowRig window;
    QVERIFY(window.isReady());
    QWidget* heading = window.widget(label);
    QVERIFY(heading);

    QTest::mousePress(heading, Qt::LeftButton);
    QTest::mouseRelease(heading, Qt::LeftButton);
    QTest::mouseDClick(heading, Qt::LeftButton);
    QTest::mouseRelease(heading, Qt::LeftButton);

    QCOMPARE(window.frames(), QList<QByteArray>{frameOf(code)});
}

void TestSenders::keyboardActivatesOneShotButtonsOnly_data() {
    QTest::addColumn<QString>("control"); // empty: the control focused at start
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<QByteArray>("frame"); // empty: nothing is sent

    const auto row = [](const char* name, const char* control, Qt::Key key, const char* frame) {
        QTest::addRow("%s", name) << QString::fromLatin1(control) << key << QByteArray(frame);
    };
    row("Space at start: POWER ON has the focus", "", Qt::Key_Space, "C00\r");
    row("Return at start: POWER ON has the focus", "", Qt::Key_Return, "C00\r");
    row("Space on POWER OFF", "Command18", Qt::Key_Space, "C01\r");
    row("Return on STATUS", "Command44", Qt::Key_Return, "CR0\r");
    row("keypad Enter on STAND", "Command4", Qt::Key_Enter, "C11\r");
    row("Space on MENU ON", "Command23", Qt::Key_Space, "C1C\r");
    row("Space on Component, lower panel", "Command74", Qt::Key_Space, "CF INPUT VIDEO YPBPR\r");
    row("Return on fan MAX, lower panel", "Command97", Qt::Key_Return, "CF FANSPEED MAX\r");
    row("Space on VOL +", "Command1", Qt::Key_Space, "");
    row("Return on VOL -", "Command2", Qt::Key_Return, "");
    row("Space on arrow up", "Command5", Qt::Key_Space, "");
    row("Enter on arrow right", "Command8", Qt::Key_Enter, "");
    row("Space on SELECT", "Command6", Qt::Key_Space, "");
    row("Space on Brightness +", "Command15", Qt::Key_Space, "");
    row("Space on D.Zoom -", "Command49", Qt::Key_Space, "");
    row("Return on Zoom -", "Command68", Qt::Key_Return, "");
}

// Keys reach the focused control through the window, as typed.
void TestSenders::keyboardActivatesOneShotButtonsOnly() {
    QFETCH(QString, control);
    QFETCH(Qt::Key, key);
    QFETCH(QByteArray, frame);

    WindowRig window;
    QVERIFY(window.isReady());
    window.form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window.form()));
    const QString focused = control.isEmpty() ? QStringLiteral("Command17") : control;
    if (!control.isEmpty())
        window.focus(control);
    QCOMPARE(QApplication::focusWidget(), window.widget(focused));

    window.key(key);

    const QList<QByteArray> expected =
        frame.isEmpty() ? QList<QByteArray>{} : QList<QByteArray>{frame};
    QCOMPARE(window.frames(), expected);
    QCOMPARE(window.form().controller().heldKeyNumber(), 0);
    QVERIFY(!window.timer(QStringLiteral("Timer1"))->isActive());
}

// One sender of each kind clicked in a row on a window that talks to a real
// pseudo-terminal: every frame reaches the line at once and in click order,
// none waiting for a reply to the one before.
void TestSenders::framesReachTheLineInClickOrder() {
    tavo::test::PseudoTerminal pty;
    QVERIFY(pty.isValid());
    tavo::test::WarningRecorder warnings;
    tavo::panel::Form1 form(std::make_unique<tavo::link::SerialControl>(),
                            {pty.devicePath(), QStringLiteral("/nonexistent-com2")});
    form.load();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QVERIFY(form.serialPort().isOpen());
    QVERIFY(warnings.texts.isEmpty());
    pty.readAvailable();

    const auto widget = [&form](const char* name) {
        return form.findChild<QWidget*>(QLatin1String(name));
    };
    auto* entry = form.findChild<QLineEdit*>(QStringLiteral("Text1"));
    QVERIFY(entry);
    QTest::keyClicks(entry, QStringLiteral("CR PRESSURE"));

    QTest::mouseClick(widget("Command17"), Qt::LeftButton); // plain
    QTest::mouseClick(widget("Command10"), Qt::LeftButton); // picture preset
    QTest::mouseClick(widget("Command81"), Qt::LeftButton); // terminal setup
    QTest::mouseClick(widget("Command23"), Qt::LeftButton); // menu context
    QTest::mouseClick(widget("Label20"), Qt::LeftButton);   // heading label
    QTest::mousePress(widget("Command9"), Qt::LeftButton);  // hold key
    QTest::mouseRelease(widget("Command9"), Qt::LeftButton);
    QTest::mouseClick(widget("Command95"), Qt::LeftButton); // SEND
    QTest::mouseClick(widget("Command54"), Qt::LeftButton); // plain again

    const QByteArray expected("C00\rC12\rCF INPUT VIDEO AUTO\rC1C\rCR LAMPMODE\rC3B\r"
                              "CR PRESSURE\rCR6\r");
    QCOMPARE(pty.readAtLeast(expected.size() + 1, 300), expected);
    QVERIFY(warnings.texts.isEmpty());
}

QTEST_MAIN(TestSenders)
#include "tst_senders.moc"
