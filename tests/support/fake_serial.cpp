#include "support/fake_serial.h"

namespace tavo::test {

bool FakeSerial::setPortNumber(int number) {
    if (number != 1 && number != 2) {
        error_ = QStringLiteral("no such port");
        return false;
    }
    portNumber_ = number;
    return true;
}

bool FakeSerial::setSettings(const QString& value) {
    settings = value;
    return true;
}

bool FakeSerial::open() {
    if (failingPorts.contains(portNumber_)) {
        error_ = QStringLiteral("Cannot open COM%1: the device does not exist.").arg(portNumber_);
        return false;
    }
    open_ = true;
    ++opens;
    return true;
}

bool FakeSerial::write(const QByteArray& bytes) {
    if (refuseWrites) {
        error_ = QStringLiteral("COM%1 takes no more bytes.").arg(portNumber_);
        return false;
    }
    written.append(bytes);
    return true;
}

QByteArray FakeSerial::readAll() {
    QByteArray bytes;
    bytes.swap(waiting_);
    return bytes;
}

void FakeSerial::receive(const QByteArray& bytes) {
    waiting_.append(bytes);
    Q_EMIT charactersReceived();
}

void FakeSerial::loseDevice() {
    open_ = false;
    error_ = QStringLiteral("COM%1 stopped working.").arg(portNumber_);
    Q_EMIT deviceLost(error_);
}

QByteArray FakeSerial::wire() const {
    QByteArray all;
    for (const QByteArray& bytes : written)
        all += bytes;
    return all;
}

} // namespace tavo::test
