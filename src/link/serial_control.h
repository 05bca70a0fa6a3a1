#pragma once
// The serial link over Qt Serial Port. Port numbers 1 and 2 map to devices
// given at start (COM1/COM2, or /dev/ttyS0 and /dev/ttyS1 by default, or a USB
// adapter). No flow control; DTR raised while open, RTS not (a device that
// cannot set modem lines, such as a pseudo-terminal, is not an error). A device
// that vanishes while open (read, write or resource error) is closed at once
// and reported once; line errors (parity, framing) are ignored.

#include "link/port_settings.h"
#include "link/serial_link.h"

#include <QSerialPort>

#include <array>

namespace tavo::link {

class SerialControl final : public SerialLink {
    Q_OBJECT
public:
    static constexpr qint64 kReceiveBufferSize = 1024;

    SerialControl(QString com1Device, QString com2Device, QObject* parent = nullptr);

    bool setPortNumber(int number) override;
    int portNumber() const override { return portNumber_; }
    bool setSettings(const QString& settings) override;
    bool isOpen() const override { return port_.isOpen(); }
    bool open() override;
    void close() override;
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override { return port_.readAll(); }
    QString errorDescription() const override { return errorDescription_; }

    QString deviceName() const;

private:
    void onError(QSerialPort::SerialPortError error);
    bool applySettings();
    QString portLabel() const;

    QSerialPort port_;
    std::array<QString, 2> devices_;
    int portNumber_ = 1;
    PortSettings settings_;
    QString errorDescription_;
};

// Plain words for a Qt Serial Port failure, with Qt's own text kept.
QString describeOpenFailure(QSerialPort::SerialPortError error, const QString& qtText);

} // namespace tavo::link
