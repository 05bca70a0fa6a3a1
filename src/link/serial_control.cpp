#include "link/serial_control.h"

#include "link/port_diagnosis.h"
#include "link/port_lock.h"

#include <QCoreApplication>

namespace tavo::link {

SerialControl::SerialControl(QString device, QObject* parent)
    : SerialLink(parent), device_(std::move(device)), name_(device_) {
    port_.setReadBufferSize(kReceiveBufferSize);
    connect(&port_, &QSerialPort::readyRead, this, &SerialLink::charactersReceived);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialControl::onError);
}

SerialControl::~SerialControl() {
    close();
}

void SerialControl::setDevice(const QString& device, const QString& name) {
    device_ = device;
    name_ = name;
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
                                .arg(formatPortSettings(settings_), name_, port_.errorString());
    return ok;
}

bool SerialControl::open() {
    if (port_.isOpen())
        return true;
    // Locks follow the device, not the name it was given.
    const QString device = canonicalDevice(device_);
    const QString claim = otherProgramsClaim(device);
    openFailedBusy_ = !claim.isEmpty();
    if (openFailedBusy_) {
        errorDescription_ = claim;
        return false;
    }
    port_.setPortName(device);
    port_.clearError();
    if (!port_.open(QIODevice::ReadWrite)) {
        errorDescription_ = explainOpenFailure(device, port_.error(), port_.errorString());
        const auto holder = readLockFile(lockFilePath(device));
        openFailedBusy_ = holder && holder->running;
        return false;
    }
    if (!lockOpenDevice(int(port_.handle()))) {
        port_.close();
        openFailedBusy_ = true;
        errorDescription_ = flockedText();
        return false;
    }
    lockFile_ = lockFilePath(device);
    if (!lockFile_.isEmpty())
        removeLockAtExit(
            lockFile_, QStringLiteral("%1: ending without closing %2; its lock file %3 is removed.")
                           .arg(QCoreApplication::applicationName(), name_, lockFile_));
    outputStalled_ = false;
    if (!applySettings()) {
        errorDescription_ = QStringLiteral("%1 cannot be set on it: %2")
                                .arg(formatPortSettings(settings_), port_.errorString());
        closePort();
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
        closePort();
}

void SerialControl::closePort() {
    port_.close();
    forgetLockAtExit(lockFile_);
}

void SerialControl::discardInput() {
    if (!port_.isOpen())
        return;
    port_.clear(QSerialPort::Input);
    port_.readAll();
}

bool SerialControl::write(const QByteArray& bytes) {
    if (!port_.isOpen()) {
        errorDescription_ = QStringLiteral("%1 is not open.").arg(name_);
        return false;
    }
    if (port_.bytesToWrite() >= kOutputBacklogLimit) {
        errorDescription_ = QStringLiteral("%1 still has %2 bytes of earlier frames waiting to go "
                                           "out: the device takes them more slowly than they "
                                           "come, or not at all. No further frame is sent until "
                                           "they have gone.")
                                .arg(name_)
                                .arg(port_.bytesToWrite());
        if (!std::exchange(outputStalled_, true))
            Q_EMIT outputStalled(errorDescription_);
        return false;
    }
    outputStalled_ = false;
    if (port_.write(bytes) != bytes.size()) {
        errorDescription_ =
            QStringLiteral("Cannot write to %1: %2").arg(name_, port_.errorString());
        return false;
    }
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
        // Left open, Qt repeats this error at full speed: close first. Qt's
        // own text here is whatever an earlier call left in errno, so it is
        // not repeated.
        closePort();
        port_.clearError();
        errorDescription_ = QStringLiteral("%1 was disconnected: the device stopped working while "
                                           "open (unplugged, or hung up at the other end). The "
                                           "port is closed.")
                                .arg(name_);
        Q_EMIT deviceLost(errorDescription_);
        return;
    }
    default:
        // Open failures are reported by open(); modem-line and line errors do not matter here.
        return;
    }
}

} // namespace tavo::link
