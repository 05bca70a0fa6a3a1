#include "support/window_rig.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QTest>
#include <QWindow>

#include <cmath>
#include <cstdio>

namespace tavo::test {

WindowRig::WindowRig() {
    auto fake = std::make_unique<FakeSerial>();
    port_ = fake.get();
    // No devices named: the ports are called COM1 and COM2 alone.
    form_ = std::make_unique<panel::Form1>(std::move(fake), QStringList{QString(), QString()});
    form_->load();
    form_->show();
    ready_ = QTest::qWaitForWindowExposed(form_.get());
}

QWidget* WindowRig::widget(const QString& name) const {
    return form_->findChild<QWidget*>(name);
}

QTimer* WindowRig::timer(const QString& name) const {
    return form_->findChild<QTimer*>(name);
}

QString WindowRig::text(const QString& labelName) const {
    const auto* label = form_->findChild<QLabel*>(labelName);
    return label ? label->text() : QStringLiteral("(no label %1)").arg(labelName);
}

void WindowRig::click(const QString& name) {
    QTest::mouseClick(widget(name), Qt::LeftButton);
}

void WindowRig::hold(const QString& name, Qt::MouseButton button) {
    QTest::mousePress(widget(name), button);
    QTest::mouseRelease(widget(name), button);
}

void WindowRig::serviceKey() {
    QTest::keyClick(form_->windowHandle(), Qt::Key_K, Qt::ControlModifier);
}

void WindowRig::logoDoubleClick(Qt::MouseButton button) {
    QTest::mouseDClick(widget(QStringLiteral("Image1")), button);
}

void WindowRig::focus(const QString& name) {
    widget(name)->setFocus(Qt::OtherFocusReason);
}

void WindowRig::key(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(form_->windowHandle(), key, modifiers);
}

void WindowRig::type(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            QTest::keyClick(form_->windowHandle(), c.toLatin1());
            continue;
        }
        // No key of its own: the character comes as the event's text, a
        // character beyond 16 bits as its two halves in one event.
        const qsizetype length = c.isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QTest::sendKeyEvent(QTest::Click, form_->windowHandle(), Qt::Key_unknown,
                            text.mid(i, length), Qt::NoModifier);
        i += length - 1;
    }
}

QString traceOf(const QByteArray& bytes) {
    QString line = QStringLiteral(" ");
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code == 13)
            line += QStringLiteral("CR ");
        else if (code >= 32 && code <= 122)
            line += QChar(code) + QStringLiteral(" ");
        else
            line += QStringLiteral("? ");
    }
    return line;
}

qint64 runEventLoopFor(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    return clock.elapsed();
}

FrameCount expectedFrames(int holdMs, int repeatMs) {
    const double expected = 1 + holdMs / repeatMs;
    return {static_cast<int>(std::ceil(expected * 0.6)),
            static_cast<int>(std::floor(expected * 1.4))};
}

namespace {

QtMessageHandler previousHandler = nullptr;
bool quiet = false;

bool isNoise(const QString& message) {
    return (message.startsWith(QLatin1String("Mouse event")) &&
            message.endsWith(QLatin1String("not accepted by receiving widget"))) ||
           message == QLatin1String("This plugin does not support propagateSizeHints()");
}

void dropNoise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtWarningMsg && isNoise(message))
        return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

void quietTestNoise() {
    if (quiet)
        return;
    quiet = true;
    previousHandler = qInstallMessageHandler(dropNoise);
}

} // namespace tavo::test
