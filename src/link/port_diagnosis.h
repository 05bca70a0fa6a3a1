#pragma once
// Why a serial device cannot be opened, in plain words. Qt Serial Port gives
// one error, "permission", for a device that another program holds, for a
// lock file left behind by another user and for a user outside the device's
// group; here the cause is found by looking at the lock file and at the
// device itself, and the message names it and what to do about it.

#include <QSerialPort>
#include <QString>

namespace tavo::link {

// The cause, without the port's name (the caller adds it).
QString explainOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                           const QString& qtText);

} // namespace tavo::link
