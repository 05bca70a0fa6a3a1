#include "open_failure.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace tavo::ctl {

namespace {

bool isAlive(qint64 pid) {
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

QString cannotOpen(const QString& device, const QString& cause) {
    return QStringLiteral("tavo-ctl: cannot open %1: %2").arg(device, cause);
}

} // namespace

QStringList serialLockDirectories() {
    return {QStringLiteral("/var/lock"),
            QStringLiteral("/etc/locks"),
            QStringLiteral("/var/spool/locks"),
            QStringLiteral("/var/spool/uucp"),
            QStringLiteral("/tmp"),
            QStringLiteral("/var/tmp"),
            QStringLiteral("/var/lock/lockdev"),
            QStringLiteral("/run/lock")};
}

QString lockFileName(const QString& device) {
    const QString devicePrefix = QStringLiteral("/dev/");
    QString name = device.startsWith(devicePrefix) ? device.mid(devicePrefix.size()) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("LCK..") + name;
}

std::optional<LockHolder> lockHolder(const QString& device, const QStringList& directories) {
    const QString fileName = lockFileName(device);
    for (const QString& directory : directories) {
        const QString path = directory + QLatin1Char('/') + fileName;
        if (!QFile::exists(path))
            continue;
        QLockFile lock(path);
        LockHolder holder;
        QString host;
        if (lock.getLockInfo(&holder.pid, &host, &holder.program) &&
            holder.pid != QCoreApplication::applicationPid() && isAlive(holder.pid))
            return holder;
    }
    return std::nullopt;
}

QString describeOpenFailure(const QString& device, const QString& serialDescription,
                            const QStringList& lockDirectories) {
    if (!QFileInfo::exists(device))
        return cannotOpen(
            device, QStringLiteral("no such device (is the cable or USB adapter plugged in?)"));
    if (const auto holder = lockHolder(device, lockDirectories)) {
        const QString process = QStringLiteral("process %1").arg(holder->pid);
        return cannotOpen(device,
                          holder->program.isEmpty()
                              ? QStringLiteral("in use by %1").arg(process)
                              : QStringLiteral("in use by %1 (%2)").arg(holder->program, process));
    }
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return cannotOpen(device, QStringLiteral("permission denied (the user needs to be in the "
                                                 "dialout group: sudo adduser $USER dialout, then "
                                                 "log in again)"));
    return cannotOpen(device, serialDescription);
}

} // namespace tavo::ctl
