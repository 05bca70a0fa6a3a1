#pragma once
// The window on an in-memory port, loaded and shown, for the window tests,
// and the user's input to it: clicks, holds, keys and typing, all as real
// input events.

#include "panel/form1.h"
#include "support/fake_serial.h"
#include "support/warning_recorder.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTimer>

#include <memory>

class QWidget;
class QWindow;

namespace tavo::test {

class WindowRig {
public:
    WindowRig();

    // Shown and exposed, ready for input.
    bool isReady() const { return ready_; }

    panel::Form1& form() const { return *form_; }
    FakeSerial& port() const { return *port_; }
    const WarningRecorder& warnings() const { return warnings_; }
    QWidget* widget(const QString& name) const;
    template <typename T> T* find(const char* name) const {
        return form_->findChild<T*>(QLatin1String(name));
    }
    QTimer* timer(const QString& name) const;
    QString text(const QString& labelName) const;

    // Frames written since the last forgetWrites().
    const QList<QByteArray>& frames() const { return port_->written; }
    void forgetWrites() { port_->written.clear(); }

    // As the user does it: a left click, a hold-key press and release with
    // the given button, the service key combination, the logo double-click.
    void click(const QString& name);
    void hold(const QString& name, Qt::MouseButton button = Qt::LeftButton);
    void serviceKey();
    void logoDoubleClick(Qt::MouseButton button = Qt::LeftButton);

    // Keys and typed text go to the focused control through the window.
    void focus(const QString& name);
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void type(const QString& text);

private:
    WarningRecorder warnings_;
    FakeSerial* port_ = nullptr;
    std::unique_ptr<panel::Form1> form_;
    bool ready_ = false;
};

// The sent trace of a frame: a blank, then per byte the byte and a blank for
// codes 32 to 122, "CR " for a carriage return and "? " for any other byte (the
// frames of these tests hold no line feed, ACK or character 20).
QString traceOf(const QByteArray& bytes);

// Runs the event loop for a while. Unlike QTest::qWait, which sleeps 10 ms
// between its passes, it lets a 5 ms timer tick at its own rate. Returns the
// milliseconds it ran, which on a busy machine can be well over those asked.
qint64 runEventLoopFor(int milliseconds);

// How many frames a hold of holdMs at the given repeat sends (the press and one
// per whole period), with 40 % either way for the timers of a busy machine.
struct FrameCount {
    int least;
    int most;
};
FrameCount expectedFrames(int holdMs, int repeatMs);

// Drops two warnings that say nothing about the window: QtTest's about a mouse
// event left unaccepted (as by a label, or a button under a right click), and
// the offscreen platform's about size hints.
void quietTestNoise();

} // namespace tavo::test
