#include "link/port_diagnosis.h"

#include "link/port_lock.h"

#include <QFile>
#include <QFileInfo>

#include <array>

#include <fcntl.h>
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

// Qt takes over a stale lock of the same user by itself; one that is still
// there belongs to someone else and sits in a sticky directory.
QString staleLock(const LockHolder& holder, const QString& lockFile) {
    const QString leftBy =
        holder.pid > 0 ? QStringLiteral("left by process %1, which has ended").arg(holder.pid)
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
    // Joining the group helps only when the group may read and write, and
    // joining root's group is no advice to give.
    const bool groupMay = (status.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (!groupMay || status.st_gid == 0)
        return QStringLiteral("no permission to read and write %1 (its group %2 may not use "
                              "it); an administrator must give it a group such as dialout that "
                              "may read and write it, with a udev rule")
            .arg(device, group);
    return QStringLiteral("no permission to read and write %1 (it belongs to the group %2); add "
                          "yourself to that group (sudo adduser $USER %2) and log in again")
        .arg(device, group);
}

// A device that opens but takes no line settings: /dev/null, a plain file.
bool isSerialPort(const QString& device) {
    const int fd =
        ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return true; // cannot tell; the other causes apply
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal;
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
    if (const auto holder = readLockFile(lockFile)) {
        if (holder->running)
            return heldByText(*holder, lockFile);
        // Its process may have been ending just now: only a second look
        // that finds the same dead process calls the lock stale.
        ::usleep(kLockRecheckMicroseconds);
        const auto again = readLockFile(lockFile);
        if (!again || again->pid != holder->pid)
            return QStringLiteral("the device was in use a moment ago and may be free now; try "
                                  "again");
        return again->running ? heldByText(*again, lockFile) : staleLock(*again, lockFile);
    }
    if (!mayReadAndWrite(device))
        return noPermission(device);
    return QStringLiteral("the device refuses to open [%1]").arg(qtText);
}

} // namespace

QString explainOpenFailure(const QString& device, QSerialPort::SerialPortError error,
                           const QString& qtText) {
    if (error == QSerialPort::DeviceNotFoundError || !QFileInfo::exists(device))
        return QStringLiteral(
            "the device does not exist (is the cable or USB adapter plugged in?)");
    if (!isSerialPort(device))
        return QStringLiteral("not a serial port");
    if (error == QSerialPort::PermissionError)
        return lockedOut(device, qtText);
    if (error == QSerialPort::OpenError)
        return QStringLiteral("the device is already open");
    return qtText.isEmpty() ? QStringLiteral("the device cannot be used")
                            : QStringLiteral("the device cannot be used [%1]").arg(qtText);
}

} // namespace tavo::link
