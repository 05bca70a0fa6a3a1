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
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tavo::link {

namespace {

// Qt Serial Port's own list, in its order.
constexpr std::array kLockDirectories{"/var/lock",         "/etc/locks", "/var/spool/locks",
                                      "/var/spool/uucp",   "/tmp",       "/var/tmp",
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

// The pid of a lock file's contents in any of its forms; 0 for none.
qint64 lockPid(const QByteArray& contents) {
    const bool text = std::all_of(contents.begin(), contents.end(), [](char c) {
        return c == '\n' || c == '\r' || c == '\t' || (c >= ' ' && c <= '~');
    });
    if (!text) {
        int binary = 0;
        if (contents.size() != qsizetype(sizeof binary))
            return 0;
        std::memcpy(&binary, contents.constData(), sizeof binary);
        return binary;
    }
    // "1234", "      1234", "1234 minicom user" or Qt's "1234\nprogram\nhost".
    const QByteArray first = contents.split('\n').value(0).simplified().split(' ').value(0);
    bool ok = false;
    const qint64 pid = first.toLongLong(&ok);
    return ok ? pid : 0;
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
    const qint64 pid = lockPid(file.read(kLockFileReadLimit));
    if (pid <= 0)
        return holder;
    holder.pid = pid;
    holder.running = isRunning(pid);
    if (holder.running)
        holder.program = processName(pid);
    return holder;
}

QString heldByText(const LockHolder& holder, const QString& lockFile) {
    const QString process =
        holder.program.isEmpty()
            ? QStringLiteral("process %1").arg(holder.pid)
            : QStringLiteral("%1 (process %2)").arg(holder.program).arg(holder.pid);
    return QStringLiteral("the device is in use by %1, which holds its lock file %2; end that "
                          "program or choose another port")
        .arg(process, lockFile);
}

QString canonicalDevice(const QString& device) {
    const QString canonical = QFileInfo(device).canonicalFilePath();
    return canonical.isEmpty() ? device : canonical;
}

QString otherProgramsClaim(const QString& device) {
    const QString lockFile = lockFilePath(device);
    if (const auto holder = lockFile.isEmpty() ? std::nullopt : readLockFile(lockFile)) {
        if (holder->running && holder->pid != ::getpid())
            return heldByText(*holder, lockFile);
        if (!holder->running && holder->pid > 0) {
            ::usleep(kLockRecheckMicroseconds);
            const auto again = readLockFile(lockFile);
            if (again && again->running && again->pid != ::getpid())
                return heldByText(*again, lockFile);
            // Stale for certain: Qt would take it over only from its own user.
            if (again && again->pid == holder->pid)
                QFile::remove(lockFile);
        }
    }
    // A look at flock() now, so that the port is not even opened (and its
    // line settings not touched) under another program.
    const int probe =
        ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0)
        return {}; // opening the port itself finds out why
    const bool taken = !lockOpenDevice(probe);
    ::close(probe);
    return taken ? flockedText() : QString();
}

QString flockedText() {
    return QStringLiteral("the device is in use by another program, which holds a flock() on "
                          "it; end that program or choose another port");
}

bool lockOpenDevice(int descriptor) {
    return ::flock(descriptor, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK;
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
    heldLocks().push_back(
        {QFile::encodeName(path).toStdString(), (note + QLatin1Char('\n')).toStdString()});
}

void forgetLockAtExit(const QString& path) {
    const std::string encoded = QFile::encodeName(path).toStdString();
    std::erase_if(heldLocks(), [&](const HeldLock& lock) { return lock.path == encoded; });
}

} // namespace tavo::link
