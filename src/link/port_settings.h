#pragma once
// The port settings string "speed,parity,data bits,stop bits", e.g.
// "19200,N,8,1", as a plain value.

#include <QSerialPort>
#include <QString>
#include <QStringView>

#include <optional>

namespace tavo::link {

struct PortSettings {
    qint32 baudRate = 19200;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    friend bool operator==(const PortSettings&, const PortSettings&) = default;
};

inline const QString kSettings19200 = QStringLiteral("19200,N,8,1");
inline const QString kSettings9600 = QStringLiteral("9600,N,8,1");

// Nothing when the text is not a valid settings string.
std::optional<PortSettings> parsePortSettings(QStringView text);
QString formatPortSettings(const PortSettings& settings);

} // namespace tavo::link
