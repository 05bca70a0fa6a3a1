#pragma once
// Why a serial device could not be opened, in one line that names the device
// and the cause: it is missing, it is in use (by the process whose lock file
// holds it, when one does), or the user may not open it. Qt Serial Port says
// "permission" for both of the last two; the lock file tells them apart.

#include <QString>
#include <QStringList>

#include <optional>

namespace tavo::ctl {

// Where Qt Serial Port puts its lock files, "LCK.." and the device's name
// below /dev with "/" as "_"; it takes the first directory it may write to.
QStringList serialLockDirectories();
QString lockFileName(const QString& device);

struct LockHolder {
    qint64 pid = 0;
    QString program; // may be empty
};

// The live process, other than this one, that holds the device's lock.
std::optional<LockHolder> lockHolder(const QString& device, const QStringList& directories);

// The line for standard error, without a trailing line break.
QString describeOpenFailure(const QString& device, const QString& serialDescription,
                            const QStringList& lockDirectories = serialLockDirectories());

} // namespace tavo::ctl
