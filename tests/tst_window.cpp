// The window as a whole: start-up state, heights, centring, the service key,
// the logo double-click, the data-panel toggle, the port panel and what
// assistive technology reads.
#include "commands/senders.h"
#include "link/port_keeper.h"
#include "panel/form1.h"
#include "support/key_spy.h"
#include "support/window_rig.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <functional>

#include <unistd.h>

using namespace tavo;
using panel::Form1;
using Window = test::WindowRig;

namespace {

// What the code run here prints on the standard error.
QByteArray standardErrorOf(const std::function<void()>& run) {
    int ends[2];
    if (::pipe(ends) != 0)
        return "(no pipe)";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(ends[1], STDERR_FILENO);
    ::close(ends[1]);
    run();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    QFile printed;
    printed.open(ends[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return printed.readAll();
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startState();
    void everyTableNameResolves_data();
    void everyTableNameResolves();
    void heights_data();
    void heights();
    void centredOnScreenAsLaidOut();
    void serviceKeyVariants_data();
    void serviceKeyVariants();
    void serviceKeyReachesFocusedControl();
    void logoDoubleClickNeedsServiceKey();
    void logoDoubleClickOnlyWithLeftButton();
    void comShowsPortPanelForFiveSeconds();
    void optionClickHidesPortPanel();
    void toggleSwitchesTheDataPanel_data();
    void toggleSwitchesTheDataPanel();
    void secondComClickRestartsCountdown_data();
    void secondComClickRestartsCountdown();
    void warningWithoutItsBoxStillPrinted();
    void windowCannotBeResized();
    void screenReaderReadsCaptionsAndTraces();
    void startupFocusAndTabOrder();
    void closeBoxClosesPort();
};

void TestWindow::startState() {
    Window w;
    QCOMPARE(w.form().windowTitle(), QStringLiteral("TAVO  RA20 & RB20  CONTROL  Ver.1.40"));
    QCOMPARE(w.form().portSettings(), QStringLiteral("19200,N,8,1"));
    QVERIFY(w.port().isOpen());
    QCOMPARE(w.form().portKeeper().portNumber(), 1);
    QCOMPARE(w.port().settings, QStringLiteral("19200,N,8,1"));
    QVERIFY(w.find<QRadioButton>("Option1")->isChecked());
    QVERIFY(!w.find<QRadioButton>("Option2")->isChecked());
    QVERIFY(w.find<QRadioButton>("Option9")->isChecked());
    QVERIFY(!w.find<QFrame>("Frame8")->isVisible());
    QVERIFY(!w.find<QPushButton>("Command34")->isVisible());
    QCOMPARE(w.form().outerHeightTwips(), Form1::kCompactHeight);
    QCOMPARE(w.form().fullView(), false);
    for (const char* timer : {"Timer1", "Timer2", "Timer3", "Timer4"}) {
        QVERIFY2(!w.find<QTimer>(timer)->isActive(), timer);
        QCOMPARE(w.find<QTimer>(timer)->timerType(), Qt::PreciseTimer);
    }
    QCOMPARE(w.find<QTimer>("Timer1")->interval(), 200);
    QCOMPARE(w.find<QTimer>("Timer2")->interval(), 500);
    QCOMPARE(w.find<QTimer>("Timer3")->interval(), 5000);
    QCOMPARE(w.find<QTimer>("Timer4")->interval(), 1000);
    // Start-up step 10 closed and reopened COM1; no box.
    QCOMPARE(w.port().opens, 2);
    QTest::qWait(10);
    QVERIFY(w.warnings().texts.isEmpty());
}

// Every control that the sender and hold-key tables name exists in the
// window, once, with the class that delivers its clicks or its press and
// release.
void TestWindow::everyTableNameResolves_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("className");
    for (const auto& sender : tavo::commands::oneShotSenders()) {
        const QString name = QString::fromLatin1(sender.control.data(),
                                                 static_cast<qsizetype>(sender.control.size()));
        QTest::addRow("sender %s", qPrintable(name))
            << name
            << QString::fromLatin1(name.startsWith(QLatin1String("Label"))
                                       ? "tavo::layout::ClickableLabel"
                                       : "tavo::layout::FlatButton");
    }
    for (const auto& key : tavo::commands::holdKeys())
        QTest::addRow("hold key %s", key.control.data())
            << QString::fromLatin1(key.control) << QStringLiteral("tavo::layout::HoldKeyButton");
}

void TestWindow::everyTableNameResolves() {
    QFETCH(QString, control);
    QFETCH(QString, className);
    Window w;
    const QList<QWidget*> found = w.form().findChildren<QWidget*>(control);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
}

void TestWindow::heights_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("twips");
    QTest::addColumn<int>("clientHeight");
    QTest::addRow("compact at start") << "" << 5350 << 328;
    QTest::addRow("service key") << "K" << 7200 << 451;
    QTest::addRow("full view") << "KD" << 9100 << 578;
    QTest::addRow("data panel") << "T" << 6645 << 414;
    QTest::addRow("data panel closed") << "TT" << 5350 << 328;
}

void TestWindow::heights() {
    QFETCH(QString, how);
    QFETCH(int, twips);
    QFETCH(int, clientHeight);
    Window w;
    for (const QChar step : how) {
        if (step == u'K')
            w.key(Qt::Key_K, Qt::ControlModifier);
        else if (step == u'D')
            w.logoDoubleClick();
        else
            w.find<QPushButton>("Command34")->click();
    }
    QCOMPARE(w.form().outerHeightTwips(), twips);
    QCOMPARE(w.form().size(), QSize(633, clientHeight));
    QCOMPARE(w.form().minimumSize(), w.form().maximumSize());
}

void TestWindow::centredOnScreenAsLaidOut() {
    Window w;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // 9495 x (8730 + 435) twips = 633 x 611 pixels; halves rounded, negatives kept.
    const int left = screen.x() + static_cast<int>(std::lround((screen.width() - 633) / 2.0));
    const int top = screen.y() + static_cast<int>(std::lround((screen.height() - 611) / 2.0));
    QCOMPARE(w.form().pos(), QPoint(left, top));
}

void TestWindow::serviceKeyVariants_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("acts");
    QTest::addRow("Ctrl+K") << int(Qt::Key_K) << int(Qt::ControlModifier) << true;
    QTest::addRow("Ctrl+Shift+K") << int(Qt::Key_K) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                  << false;
    QTest::addRow("Ctrl+Alt+K") << int(Qt::Key_K) << int(Qt::ControlModifier | Qt::AltModifier)
                                << false;
    QTest::addRow("K alone") << int(Qt::Key_K) << int(Qt::NoModifier) << false;
    QTest::addRow("Alt+K") << int(Qt::Key_K) << int(Qt::AltModifier) << false;
    QTest::addRow("Ctrl+J") << int(Qt::Key_J) << int(Qt::ControlModifier) << false;
    QTest::addRow("Ctrl+K with keypad flag")
        << int(Qt::Key_K) << int(Qt::ControlModifier | Qt::KeypadModifier) << true;
}

void TestWindow::serviceKeyVariants() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, acts);
    Window w;
    w.key(Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    auto* toggle = w.find<QPushButton>("Command34");
    QCOMPARE(w.form().outerHeightTwips(), acts ? Form1::kServiceHeight : Form1::kCompactHeight);
    QCOMPARE(w.form().fullView(), acts);
    QCOMPARE(toggle->isVisible(), acts);
    if (acts)
        QCOMPARE(toggle->text(), QStringLiteral("CLOSE"));
}

void TestWindow::serviceKeyReachesFocusedControl() {
    Window w;
    auto* entry = w.find<QLineEdit>("Text1");
    entry->setFocus();
    tavo::test::KeySpy spy;
    entry->installEventFilter(&spy);
    w.key(Qt::Key_K, Qt::ControlModifier);
    QCOMPARE(w.form().outerHeightTwips(), Form1::kServiceHeight);
    QVERIFY(spy.presses >= 1);
    w.key(Qt::Key_A, Qt::NoModifier);
    QCOMPARE(entry->text(), QStringLiteral("a"));
}

void TestWindow::logoDoubleClickNeedsServiceKey() {
    Window w;
    w.logoDoubleClick();
    QCOMPARE(w.form().outerHeightTwips(), Form1::kCompactHeight);
    w.key(Qt::Key_K, Qt::ControlModifier);
    w.logoDoubleClick();
    QCOMPARE(w.form().outerHeightTwips(), Form1::kFullHeight);
    QCOMPARE(w.form().fullView(), true);
    QCOMPARE(w.find<QPushButton>("Command34")->text(), QStringLiteral("CLOSE"));
    // The toggle clears the full view: the logo does nothing until Ctrl+K.
    w.find<QPushButton>("Command34")->click();
    QCOMPARE(w.form().outerHeightTwips(), Form1::kCompactHeight);
    w.logoDoubleClick();
    QCOMPARE(w.form().outerHeightTwips(), Form1::kCompactHeight);
    w.key(Qt::Key_K, Qt::ControlModifier);
    w.logoDoubleClick();
    QCOMPARE(w.form().outerHeightTwips(), Form1::kFullHeight);
}

void TestWindow::logoDoubleClickOnlyWithLeftButton() {
    Window w;
    w.key(Qt::Key_K, Qt::ControlModifier);
    w.logoDoubleClick(Qt::RightButton);
    QCOMPARE(w.form().outerHeightTwips(), Form1::kServiceHeight);
    QTest::mouseClick(w.find<QLabel>("Image1"), Qt::LeftButton);
    QCOMPARE(w.form().outerHeightTwips(), Form1::kServiceHeight);
}

void TestWindow::comShowsPortPanelForFiveSeconds() {
    Window w;
    auto* panel = w.find<QFrame>("Frame8");
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(w.find<QPushButton>("Command33"), Qt::LeftButton);
    QVERIFY(panel->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!panel->isVisible(), 9000);
    const qint64 hiddenAfter = clock.elapsed();
    QVERIFY2(hiddenAfter >= 3000 && hiddenAfter <= 7000, qPrintable(QString::number(hiddenAfter)));
    QVERIFY(!w.find<QTimer>("Timer3")->isActive());
}

void TestWindow::optionClickHidesPortPanel() {
    Window w;
    auto* panel = w.find<QFrame>("Frame8");
    QTest::mouseClick(w.find<QPushButton>("Command33"), Qt::LeftButton);
    // The panel lies over the COM button, which cannot be clicked meanwhile.
    QWidget* top = w.form().childAt(w.find<QPushButton>("Command33")->geometry().center());
    QVERIFY(top == panel || panel->isAncestorOf(top));
    QTest::mouseClick(w.find<QRadioButton>("Option2"), Qt::LeftButton);
    QVERIFY(!panel->isVisible());
    QCOMPARE(w.form().portKeeper().portNumber(), 2);
    QVERIFY(w.port().isOpen());
    QVERIFY(w.find<QRadioButton>("Option9")->isChecked());
    // Clicking the selected option again runs the switch again.
    const int opens = w.port().opens;
    QTest::mouseClick(w.find<QPushButton>("Command33"), Qt::LeftButton);
    QTest::mouseClick(w.find<QRadioButton>("Option2"), Qt::LeftButton);
    QCOMPARE(w.port().opens, opens + 1);
    QVERIFY(!panel->isVisible());
    QTest::mouseClick(w.find<QPushButton>("Command33"), Qt::LeftButton);
    QTest::mouseClick(w.find<QRadioButton>("Option10"), Qt::LeftButton);
    QCOMPARE(w.port().settings, QStringLiteral("9600,N,8,1"));
    QVERIFY(w.find<QRadioButton>("Option2")->isChecked());
    QVERIFY(w.port().isOpen());
}

// A failure raised while a box is pending gets no second box, but its text
// still goes to the standard error.
void TestWindow::warningWithoutItsBoxStillPrinted() {
    Window w;
    w.port().failingPorts = {QStringLiteral("COM2")};
    QTest::mouseClick(w.find<QPushButton>("Command33"), Qt::LeftButton);
    const QByteArray printed = standardErrorOf([&w] {
        QTest::mouseClick(w.find<QRadioButton>("Option2"), Qt::LeftButton);
        QTest::mouseClick(w.find<QRadioButton>("Option2"), Qt::LeftButton);
    });
    QTRY_COMPARE(w.warnings().texts.size(), 1);
    QCOMPARE(printed.count("Cannot open COM2: the device does not exist.\n"), 2);
}

// A second COM click, or the data-panel toggle, starts the port panel's 5 s
// (Timer3, comShowsPortPanelForFiveSeconds) again.
void TestWindow::secondComClickRestartsCountdown_data() {
    QTest::addColumn<QByteArray>("button");
    QTest::addRow("second COM click") << QByteArray("Command33");
    QTest::addRow("data-panel toggle after Ctrl+K") << QByteArray("Command34");
}

void TestWindow::secondComClickRestartsCountdown() {
    QFETCH(QByteArray, button);
    Window w;
    if (button == "Command34")
        w.serviceKey();
    auto* timer3 = w.find<QTimer>("Timer3");
    QTest::mouseClick(w.find<QPushButton>("Command33"), Qt::LeftButton);
    QTest::qWait(300);
    const int before = timer3->remainingTime();
    w.find<QPushButton>(button.constData())
        ->click(); // the panel covers it; click() reaches it all the same
    QVERIFY(timer3->remainingTime() > before);
    QVERIFY(w.find<QFrame>("Frame8")->isVisible());
}

void TestWindow::windowCannotBeResized() {
    Window w;
    w.form().resize(800, 700);
    QCOMPARE(w.form().size(), QSize(633, 328));
    QVERIFY(!(w.form().windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(w.form().windowFlags() & Qt::WindowMinimizeButtonHint);
}

void TestWindow::screenReaderReadsCaptionsAndTraces() {
    Window w;
    const auto name = [](QWidget* widget) {
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
        return face ? face->text(QAccessible::Name) : QString();
    };
    QCOMPARE(name(w.find<QPushButton>("Command17")), QStringLiteral("ON"));
    QCOMPARE(name(w.find<QPushButton>("Command33")), QStringLiteral("COM"));
    QCOMPARE(name(w.find<QLabel>("Label1")), QStringLiteral("POWER"));
    QCOMPARE(name(w.find<QRadioButton>("Option9")), QStringLiteral("19200"));
    QTest::mouseClick(w.find<QPushButton>("Command44"), Qt::LeftButton);
    w.port().receive("00\r");
    QCOMPARE(name(w.find<QLabel>("Label11")), QStringLiteral(" C R 0 CR "));
    QCOMPARE(name(w.find<QLabel>("Label12")), QStringLiteral(" 0 0 CR "));
    QCOMPARE(name(w.find<QLabel>("Label22")), QStringLiteral(" Power ON"));
    // A trace with character 20 shows (and reads) "&" literally.
    w.port().receive(QByteArray("\x14"));
    QCOMPARE(w.find<QLabel>("Label12")->text(), QStringLiteral(" 0 0 CR &"));
    QCOMPARE(w.find<QLabel>("Label12")->textFormat(), Qt::PlainText);
}

void TestWindow::startupFocusAndTabOrder() {
    Window w;
    // A window manager activates a new window; without one (a bare X server)
    // the window asks for the input focus itself.
    w.form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w.form()));
    QCOMPARE(QApplication::focusWidget(), w.find<QWidget>("Command17"));
    // Tab index 1 (Command17), then 5 (VOL +), 6 (VOL -).
    w.key(Qt::Key_Tab, Qt::NoModifier);
    QCOMPARE(QApplication::focusWidget(), w.find<QWidget>("Command1"));
    w.key(Qt::Key_Tab, Qt::NoModifier);
    QCOMPARE(QApplication::focusWidget(), w.find<QWidget>("Command2"));
    // Space on a focused one-shot button sends its frame.
    w.find<QWidget>("Command17")->setFocus();
    w.key(Qt::Key_Space, Qt::NoModifier);
    QCOMPARE(w.port().wire(), QByteArray("C00\r"));
    w.key(Qt::Key_Return, Qt::NoModifier);
    QCOMPARE(w.port().wire(), QByteArray("C00\rC00\r"));
}

void TestWindow::closeBoxClosesPort() {
    Window w;
    QVERIFY(w.port().isOpen());
    QVERIFY(w.form().close());
    QVERIFY(!w.port().isOpen());
}

// Steps before the toggle: K for Ctrl+K, T for the toggle. The client
// height at each outer height is checked in heights(), the full view's end
// in logoDoubleClickNeedsServiceKey().
void TestWindow::toggleSwitchesTheDataPanel_data() {
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("bySpace"); // the focused toggle activated by Space
    QTest::addColumn<int>("after");
    QTest::addRow("from 7200 after Ctrl+K") << "K" << false << 5350;
    QTest::addRow("from 5350") << "KT" << false << 6645;
    QTest::addRow("from 6645") << "KTT" << false << 5350;
    QTest::addRow("from 5350 by Space") << "KT" << true << 6645;
}

// After the toggle the logo double-click does nothing until Ctrl+K again.
void TestWindow::toggleSwitchesTheDataPanel() {
    QFETCH(QString, steps);
    QFETCH(bool, bySpace);
    QFETCH(int, after);
    Window w;
    QVERIFY(w.isReady());
    Form1& form = w.form();
    auto* toggle = w.find<QPushButton>("Command34");
    for (const QChar step : steps) {
        if (step == QLatin1Char('K'))
            w.serviceKey();
        else
            QTest::mouseClick(toggle, Qt::LeftButton);
    }
    if (bySpace) {
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        w.focus(QStringLiteral("Command34"));
        w.key(Qt::Key_Space);
    } else {
        QTest::mouseClick(toggle, Qt::LeftButton);
    }
    QCOMPARE(form.outerHeightTwips(), after);
    QCOMPARE(toggle->text(), after == Form1::kDataPanelHeight ? QStringLiteral("データを表示しない")
                                                              : QStringLiteral("データを表示する"));
    QVERIFY(toggle->isVisible());
    QCOMPARE(form.fullView(), false);
    QVERIFY(w.frames().isEmpty());
    w.logoDoubleClick();
    QCOMPARE(form.outerHeightTwips(), after);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
