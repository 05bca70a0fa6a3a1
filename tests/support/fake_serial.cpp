#include "support/fake_serial.h"

namespace tavo::test {

void FakeSerial::setDevice(const QString&, const QString& name) {
    name_ = name;
}

bool FakeSerial::setSettings(const QString& value) {
    settings = value;
    return true;
}

bool FakeSerial::open() {
    ++attempts;
    if (failingPorts.contains(name_)) {
        error_ = QStringLiteral("the device does not exist");
        return false;
    }
    open_ = true;
    ++opens;
    return true;
}

bool FakeSerial::write(const QByteArray& bytes) {
    if (refuseWrites) {
        error_ = QStringLiteral("%1 takes no more bytes.").arg(name_);
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
    error_ = QStringLiteral("%1 stopped working.").arg(name_);
    Q_EMIT deviceLost(error_);
}

QByteArray FakeSerial::wire() const {
    QByteArray all;
    for (const QByteArray& bytes : written)
        all += bytes;
    return all;
}

} // namespace tavo::test
