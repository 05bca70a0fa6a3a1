#include "link/port_diagnosis.h"

#include "link/port_lock.h"

#include <QFile>
#include <QFileInfo>

#include <array>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo::link {

namespace {

QString groupName(gid_t gid) {
    std::array<char, 4096> buffer{};
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->gr_name);
    return QString::number(gid);
}

QString heldBy(const LockHolder& holder, const QString& lockFile) {
    const QString process = holder.program.isEmpty()
                                ? QStringLiteral("process %1").arg(holder.pid)
                                : QStringLiteral("%1 (process %2)").arg(holder.program).arg(holder.pid);
    return QStringLiteral("the device is in use by %1, which holds its lock file %2; end that "
                          "program or choose another port")
        .arg(process, lockFile);
}

// Qt takes over a stale lock of the same user by itself; one that is still
// there belongs to someone else and sits in a sticky directory.
QString staleLock(const LockHolder& holder, const QString& lockFile) {
    const QString leftBy = holder.pid > 0
                               ? QStringLiteral("left by process %1, which has ended").arg(holder.pid)
                               : QStringLiteral("which names no running program");
    return QStringLiteral("the lock file %1, %2, blocks the device; it belongs to user %3, so only "
                          "they or an administrator can remove it: sudo rm %1")
        .arg(lockFile, leftBy, holder.fileOwner);
}

QString noPermission(const QString& device) {
    struct stat status {};
    if (::stat(QFile::encodeName(device).constData(), &status) != 0)
        return QStringLiteral("no permission to use the device");
    const QString group = groupName(status.st_gid);
    return QStringLiteral("no permission to read and write %1 (it belongs to the group %2); add "
                          "yourself to that group (sudo adduser $USER %2) and log in again")
        .arg(device, group);
}

bool mayReadAndWrite(const QString& device) {
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0;
}

QString lockedOut(const QString& device, const QString& qtText) {
    const QString lockFile = lockFilePath(device);
    if (lockFile.isEmpty())
        return QStringLiteral("no lock directory can take the port's lock file (tried %1); an "
                              "administrator must make /run/lock writable for everyone")
            .arg(lockDirectoriesText());
    if (const auto holder = readLockFile(lockFile))
        return holder->running ? heldBy(*holder, lockFile) : staleLock(*holder, lockFile);
    if (!mayReadAndWrite(device))
        return noPermission(device);
    return QStringLiteral("the device refuses to open [%1]").arg(qtText);
}

} // namespace

QString explainOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                           const QString& qtText) {
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(device))
        return QStringLiteral("the device does not exist (is the cable or USB adapter plugged in?)");
    if (error == QSerialPort::PermissionError)
        return lockedOut(device, qtText);
    if (error == QSerialPort::OpenError)
        return QStringLiteral("the device is already open");
    return qtText.isEmpty() ? QStringLiteral("the device cannot be used")
                            : QStringLiteral("the device cannot be used [%1]").arg(qtText);
}

} // namespace tavo::link
