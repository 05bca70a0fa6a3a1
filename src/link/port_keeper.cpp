#include "link/port_keeper.h"

namespace tavo::link {

PortKeeper::PortKeeper(SerialLink& line, QStringList devices, QObject* parent)
    : QObject(parent), line_(line), devices_(std::move(devices)) {
    reopen_.setSingleShot(true);
    connect(&reopen_, &QTimer::timeout, this, &PortKeeper::open);
    connect(&line_, &SerialLink::deviceLost, this, &PortKeeper::onDeviceLost);
    choose(1);
}

QString PortKeeper::portName(int number) const {
    const QString device = devices_.value(number - 1);
    if (device.isEmpty())
        return QStringLiteral("COM%1").arg(number);
    // A program given one device names it by its path alone; "COM1" would
    // only puzzle a reader of the bridge's log or the command line's messages.
    if (devices_.size() == 1)
        return device;
    return QStringLiteral("COM%1 (%2)").arg(number).arg(device);
}

bool PortKeeper::choose(int number) {
    if (number < 1 || number > devices_.size()) {
        error_ = QStringLiteral("There is no port COM%1.").arg(number);
        return false;
    }
    number_ = number;
    line_.setDevice(devices_[number - 1], portName(number));
    return true;
}

bool PortKeeper::open() {
    if (line_.isOpen())
        return true;
    if (line_.open()) {
        reopen_.stop();
        lastReported_.clear();
        Q_EMIT opened();
        return true;
    }
    error_ = QStringLiteral("Cannot open %1: %2.").arg(portName(number_), line_.errorDescription());
    if (error_ != lastReported_) {
        lastReported_ = error_;
        Q_EMIT openFailed(error_);
    }
    scheduleReopen();
    return false;
}

bool PortKeeper::switchTo(int number) {
    if (!choose(number))
        return false;
    line_.close();
    // A closed port is opened too: otherwise a failed switch would leave it
    // closed for good.
    if (open())
        return true;
    const QString why = error_;
    choose(number % int(devices_.size()) + 1);
    error_ = why;
    return false;
}

void PortKeeper::reopenEvery(std::chrono::milliseconds interval) {
    reopen_.setInterval(interval);
}

void PortKeeper::onDeviceLost() {
    lastReported_.clear();
    scheduleReopen();
}

void PortKeeper::scheduleReopen() {
    if (reopen_.interval() > 0)
        reopen_.start();
}

} // namespace tavo::link
