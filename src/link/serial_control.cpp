#include "link/serial_control.h"

namespace tavo::link {

QString describeOpenFailure(QSerialPort::SerialPortError error, const QString& qtText) {
    QString reason;
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        reason = QStringLiteral("the device does not exist (is the cable or USB adapter plugged in?)");
        break;
    case QSerialPort::PermissionError:
        // Qt reports "no permission" and "locked by another program" alike.
        reason = QStringLiteral("permission denied, or the device is in use by another program "
                                "(on Linux the user needs to be in the dialout group)");
        break;
    case QSerialPort::OpenError:
        reason = QStringLiteral("the device is already open");
        break;
    default:
        reason = QStringLiteral("the device cannot be used");
        break;
    }
    return qtText.isEmpty() ? reason : QStringLiteral("%1 [%2]").arg(reason, qtText);
}

SerialControl::SerialControl(QString com1Device, QString com2Device, QObject* parent)
    : SerialLink(parent), devices_{std::move(com1Device), std::move(com2Device)} {
    port_.setReadBufferSize(kReceiveBufferSize);
    connect(&port_, &QSerialPort::readyRead, this, &SerialLink::charactersReceived);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialControl::onError);
}

QString SerialControl::deviceName() const {
    return devices_[static_cast<std::size_t>(portNumber_ - 1)];
}

QString SerialControl::portLabel() const {
    return QStringLiteral("COM%1 (%2)").arg(portNumber_).arg(deviceName());
}

bool SerialControl::setPortNumber(int number) {
    if (number < 1 || number > static_cast<int>(devices_.size())) {
        errorDescription_ = QStringLiteral("There is no port COM%1.").arg(number);
        return false;
    }
    portNumber_ = number;
    return true;
}

bool SerialControl::setSettings(const QString& settings) {
    const auto parsed = parsePortSettings(settings);
    if (!parsed) {
        errorDescription_ = QStringLiteral("Invalid port settings \"%1\".").arg(settings);
        return false;
    }
    settings_ = *parsed;
    return !port_.isOpen() || applySettings();
}

bool SerialControl::applySettings() {
    const bool ok = port_.setBaudRate(settings_.baudRate) && port_.setParity(settings_.parity) &&
                    port_.setDataBits(settings_.dataBits) &&
                    port_.setStopBits(settings_.stopBits) &&
                    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok)
        errorDescription_ = QStringLiteral("Cannot apply %1 to %2: %3")
                                .arg(formatPortSettings(settings_), portLabel(), port_.errorString());
    return ok;
}

bool SerialControl::open() {
    if (port_.isOpen())
        return true;
    port_.setPortName(deviceName());
    port_.clearError();
    if (!port_.open(QIODevice::ReadWrite)) {
        errorDescription_ = QStringLiteral("Cannot open %1: %2.")
                                .arg(portLabel(), describeOpenFailure(port_.error(), port_.errorString()));
        return false;
    }
    if (!applySettings()) {
        port_.close();
        return false;
    }
    // Linux raises both modem lines on open; the projector expects DTR only.
    port_.setDataTerminalReady(true);
    port_.setRequestToSend(false);
    port_.clearError();
    return true;
}

void SerialControl::close() {
    if (port_.isOpen())
        port_.close();
}

void SerialControl::discardInput() {
    if (!port_.isOpen())
        return;
    port_.clear(QSerialPort::Input);
    port_.readAll();
}

bool SerialControl::write(const QByteArray& bytes) {
    if (!port_.isOpen()) {
        errorDescription_ = QStringLiteral("%1 is not open.").arg(portLabel());
        return false;
    }
    if (port_.write(bytes) != bytes.size())
        return false;
    // Hand the bytes to the device now rather than at the next event loop pass.
    port_.flush();
    return true;
}

void SerialControl::onError(QSerialPort::SerialPortError error) {
    switch (error) {
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::ResourceError: {
        if (!port_.isOpen())
            return;
        // Left open, Qt repeats this error at full speed: close first.
        const QString qtText = port_.errorString();
        port_.close();
        port_.clearError();
        errorDescription_ = QStringLiteral("%1 stopped working: %2. The port is closed.")
                                .arg(portLabel(), qtText);
        Q_EMIT deviceLost(errorDescription_);
        return;
    }
    default:
        // Open failures are reported by open(); modem-line and line errors do not matter here.
        return;
    }
}

} // namespace tavo::link
