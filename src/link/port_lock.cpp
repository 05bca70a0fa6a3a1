#include "link/port_lock.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo::link {

namespace {

// Qt Serial Port's own list, in its order.
constexpr std::array kLockDirectories{"/var/lock",   "/etc/locks", "/var/spool/locks",
                                      "/var/spool/uucp", "/tmp",   "/var/tmp",
                                      "/var/lock/lockdev", "/run/lock"};

// A lock file is a few lines; anything longer is not one.
constexpr qint64 kLockFileReadLimit = 4096;
constexpr qint64 kProcessNameReadLimit = 64;

QString lockFileName(const QString& device) {
    const QLatin1String devices("/dev/");
    QString name = device.startsWith(devices) ? device.mid(devices.size()) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    return QStringLiteral("/LCK..") + name;
}

bool isRunning(qint64 pid) {
    // EPERM: the process exists but belongs to another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QString processName(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.read(kProcessNameReadLimit)).trimmed();
}

QString userName(uid_t uid) {
    std::array<char, 1024> buffer{};
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    return QStringLiteral("with id %1").arg(uid);
}

// ---------------------------------------------------------------- exit handler

struct HeldLock {
    std::string path;
    std::string note;
};

std::vector<HeldLock>& heldLocks() {
    static std::vector<HeldLock> locks;
    return locks;
}

// Only plain system calls: the toolkit may be half torn down by now.
bool namesThisProcess(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::array<char, 32> head{};
    const ssize_t n = ::read(fd, head.data(), head.size() - 1);
    ::close(fd);
    if (n <= 0)
        return false;
    char* end = nullptr;
    const long pid = std::strtol(head.data(), &end, 10);
    return end != head.data() && pid == static_cast<long>(::getpid());
}

void removeHeldLocks() {
    for (const HeldLock& lock : heldLocks()) {
        if (namesThisProcess(lock.path.c_str()) && ::unlink(lock.path.c_str()) == 0)
            std::fputs(lock.note.c_str(), stderr);
    }
    heldLocks().clear();
}

} // namespace

QString lockFilePath(const QString& device) {
    const QString name = lockFileName(device);
    for (const char* directory : kLockDirectories) {
        const QString path = QLatin1String(directory) + name;
        const QFileInfo info{QLatin1String(directory)};
        if (info.isReadable() && (QFile::exists(path) || info.isWritable()))
            return path;
    }
    return {};
}

QString lockDirectoriesText() {
    QStringList directories;
    for (const char* directory : kLockDirectories)
        directories << QLatin1String(directory);
    return directories.join(QStringLiteral(", "));
}

std::optional<LockHolder> readLockFile(const QString& path) {
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    LockHolder holder;
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) == 0)
        holder.fileOwner = userName(status.st_uid);
    if (!file.open(QIODevice::ReadOnly))
        return holder;
    const QByteArray firstLine = file.read(kLockFileReadLimit).split('\n').value(0).trimmed();
    bool ok = false;
    const qint64 pid = firstLine.toLongLong(&ok);
    if (!ok || pid <= 0)
        return holder;
    holder.pid = pid;
    holder.running = isRunning(pid);
    if (holder.running)
        holder.program = processName(pid);
    return holder;
}

void removeLockAtExit(const QString& path, const QString& note) {
    // The list exists before the handler is registered, so it is destroyed
    // after the handler has run.
    static const bool installed = [] {
        heldLocks();
        return std::atexit(removeHeldLocks) == 0;
    }();
    Q_UNUSED(installed);
    forgetLockAtExit(path);
    heldLocks().push_back({QFile::encodeName(path).toStdString(), (note + QLatin1Char('\n')).toStdString()});
}

void forgetLockAtExit(const QString& path) {
    const std::string encoded = QFile::encodeName(path).toStdString();
    std::erase_if(heldLocks(), [&](const HeldLock& lock) { return lock.path == encoded; });
}

} // namespace tavo::link
