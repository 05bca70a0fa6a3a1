#pragma once
// The serial link over Qt Serial Port, on one device at a time (a serial
// port such as /dev/ttyS0, or a USB adapter). No flow control; DTR raised
// while open, RTS not (a device that cannot set modem lines, such as a
// pseudo-terminal, is not an error). A device that vanishes while open (read,
// write or resource error) is closed at once and reported once; line errors
// (parity, framing) are ignored.
//
// Output waits in the port only while the line takes it: once
// kOutputBacklogLimit bytes are still waiting (a device that takes nothing,
// or a long typed frame still going out), further writes are refused and the
// stall is reported once, so neither memory nor late frames pile up. If the
// program ends through exit() with the port still open, the port's lock file
// is removed on the way out.

#include "link/port_lock.h"
#include "link/port_settings.h"
#include "link/serial_link.h"

#include <QSerialPort>

namespace tavo::link {

// The devices of COM1 and COM2 when none is given.
#ifdef Q_OS_WIN
inline const QString kDefaultCom1Device = QStringLiteral("COM1");
inline const QString kDefaultCom2Device = QStringLiteral("COM2");
#else
inline const QString kDefaultCom1Device = QStringLiteral("/dev/ttyS0");
inline const QString kDefaultCom2Device = QStringLiteral("/dev/ttyS1");
#endif

class SerialControl final : public SerialLink {
    Q_OBJECT
public:
    static constexpr qint64 kReceiveBufferSize = 1024;
    // About two seconds of the line at 19200 baud.
    static constexpr qint64 kOutputBacklogLimit = 4096;

    // Named by its device until setDevice() names it otherwise.
    explicit SerialControl(QString device = {}, QObject* parent = nullptr);
    ~SerialControl() override;

    void setDevice(const QString& device, const QString& name) override;
    bool setSettings(const QString& settings) override;
    bool isOpen() const override { return port_.isOpen(); }
    bool open() override;
    void close() override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override { return port_.readAll(); }
    QString errorDescription() const override { return errorDescription_; }
    // Whether the last open() failed because another program holds the device.
    bool openFailedBusy() const { return openFailedBusy_; }

    // Bytes written but not yet handed to the device.
    qint64 pendingOutput() const { return port_.bytesToWrite(); }

    // Drops what the device received before now, such as a late reply meant
    // for an earlier program, so that it is not taken for the next reply.
    void discardInput();

private:
    void onError(QSerialPort::SerialPortError error);
    bool applySettings();
    void closePort();

    QSerialPort port_;
    QString device_;
    QString name_;
    PortSettings settings_;
    QString errorDescription_;
    QString lockFile_;
    bool openFailedBusy_ = false;
    bool outputStalled_ = false;
};

} // namespace tavo::link
