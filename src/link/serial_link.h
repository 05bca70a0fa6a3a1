#pragma once
// The serial line as the exchange uses it, behind an interface so that tests
// can put an in-memory line in its place: one device and the name the line
// goes by in descriptions, a settings string applied at once (also to the
// open port), open and close, a write handed to the line at once or refused,
// a read of every byte waiting, a notification on the event thread as soon
// as one byte waits, and a description of the last failure. Which device,
// and opening it again, is the port keeper's. Bytes are bytes: NUL passes
// like any other.

#include <QByteArray>
#include <QObject>
#include <QString>

namespace tavo::link {

class SerialLink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The device of the next open, and how descriptions name the line
    // ("COM1 (/dev/ttyS0)").
    virtual void setDevice(const QString& device, const QString& name) = 0;
    // Applies speed and framing at once, to the open port too.
    virtual bool setSettings(const QString& settings) = 0;
    virtual bool isOpen() const = 0;
    // False when the device cannot be opened and set up; errorDescription()
    // then says why, as a cause without the line's name ("the device does
    // not exist (...)").
    virtual bool open() = 0;
    virtual void close() = 0;
    // False (with a description) when nothing was written.
    virtual bool write(const QByteArray& bytes) = 0;
    virtual QByteArray readAll() = 0;
    // Why the last operation failed; naming the line, except after open().
    virtual QString errorDescription() const = 0;

Q_SIGNALS:
    // At least one byte is waiting.
    void charactersReceived();
    // The device stopped working while open; the port has been closed.
    void deviceLost(const QString& description);
    // The device takes no more bytes: writes are refused until it does.
    void outputStalled(const QString& description);
};

} // namespace tavo::link
