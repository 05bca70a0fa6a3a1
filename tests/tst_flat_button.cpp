// The panel's buttons send on activated(): once for every click however it
// comes (mouse, keyboard, code, a screen reader's press action), and for a
// mouse click while the button is still drawn down, before the repaint that
// precedes clicked().

#include "panel/layout/flat_button.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QtTest>

using tavo::layout::FlatButton;

class TestFlatButton : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void activatedOncePerClick_data();
    void activatedOncePerClick();
};

namespace {

enum class Input {
    LeftClick,
    ReleaseOffTheButton,
    RightClick,
    Space,
    ClickFromCode,
    ScreenReaderPress,
    LeftClickThatDisables,
};

void perform(FlatButton& button, Input input) {
    const QPoint inside = button.rect().center();
    switch (input) {
    case Input::LeftClick:
    case Input::LeftClickThatDisables:
        QTest::mouseClick(&button, Qt::LeftButton, {}, inside);
        return;
    case Input::ReleaseOffTheButton:
        QTest::mousePress(&button, Qt::LeftButton, {}, inside);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(-20, -20));
        return;
    case Input::RightClick:
        QTest::mouseClick(&button, Qt::RightButton, {}, inside);
        return;
    case Input::Space:
        button.setFocus();
        QTest::keyClick(&button, Qt::Key_Space);
        return;
    case Input::ClickFromCode:
        button.click();
        return;
    case Input::ScreenReaderPress: {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&button);
        QVERIFY(accessible && accessible->actionInterface());
        accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        return;
    }
    }
}

} // namespace

void TestFlatButton::activatedOncePerClick_data() {
    QTest::addColumn<Input>("input");
    QTest::addColumn<int>("activations");
    QTest::addColumn<int>("clicks");
    QTest::addColumn<bool>("beforeRepaint"); // activated while still drawn down

    QTest::addRow("left click") << Input::LeftClick << 1 << 1 << true;
    QTest::addRow("release off the button") << Input::ReleaseOffTheButton << 0 << 0 << false;
    QTest::addRow("right click") << Input::RightClick << 0 << 0 << false;
    QTest::addRow("Space") << Input::Space << 1 << 1 << false;
    QTest::addRow("click() from code") << Input::ClickFromCode << 1 << 1 << false;
    QTest::addRow("screen reader's press action") << Input::ScreenReaderPress << 1 << 1 << false;
    // Disabling the button takes it up, so the toolkit's click never comes;
    // the user's click has been acted on all the same, and only once.
    QTest::addRow("left click whose handler disables the button")
        << Input::LeftClickThatDisables << 1 << 0 << true;
}

void TestFlatButton::activatedOncePerClick() {
    QFETCH(Input, input);
    QFETCH(int, activations);
    QFETCH(int, clicks);
    QFETCH(bool, beforeRepaint);

    QWidget window;
    window.resize(200, 100);
    FlatButton button(QStringLiteral("ON"), &window);
    button.setGeometry(10, 10, 80, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    int activated = 0;
    int whileDown = 0;
    int clicked = 0;
    connect(&button, &FlatButton::activated, this, [&] {
        ++activated;
        if (button.isDown())
            ++whileDown;
        if (input == Input::LeftClickThatDisables)
            button.setEnabled(false);
    });
    connect(&button, &QAbstractButton::clicked, this, [&] { ++clicked; });

    perform(button, input);
    // The press action clicks a moment later, as it shows the button down.
    QTRY_COMPARE(activated, activations);
    QCOMPARE(clicked, clicks);
    QCOMPARE(whileDown, beforeRepaint ? activations : 0);
}

QTEST_MAIN(TestFlatButton)
#include "tst_flat_button.moc"
