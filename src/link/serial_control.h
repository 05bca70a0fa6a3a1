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

    // Drops what the device received before now, such as a late reply meant
    // for an earlier program, so that it is not taken for the next reply.
    void discardInput();

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
