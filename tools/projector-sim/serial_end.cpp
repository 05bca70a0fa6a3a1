#include "serial_end.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace tavo::sim {

namespace {

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

bool makeRaw(int fd, speed_t speed) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    return ::cfsetspeed(&settings, speed) == 0 && ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

bool setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

SerialEnd failure(QString error) {
    SerialEnd end;
    end.error = std::move(error);
    return end;
}

} // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

UniqueFd::~UniqueFd() {
    if (fd_ >= 0)
        ::close(fd_);
}

SerialEnd openPseudoTerminal() {
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return failure(systemError("openpty"));
    SerialEnd end;
    end.io = UniqueFd(master);
    end.keepOpen = UniqueFd(slave);
    const char* name = ::ttyname(slave);
    if (name == nullptr)
        return failure(systemError("ttyname"));
    end.devicePath = QFile::decodeName(name);
    // The line discipline sits on the slave side: raw there, so that nothing
    // is echoed or translated before the panel sets its own modes, and
    // nothing after it restores them on closing.
    if (!makeRaw(slave, B19200) || !makeRaw(master, B19200))
        return failure(systemError("raw mode"));
    if (::fcntl(master, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(slave, F_SETFD, FD_CLOEXEC) != 0 ||
        !setNonBlocking(master))
        return failure(systemError("descriptor flags"));
    return end;
}

SerialEnd openSerialDevice(const QString& path, int baud) {
    const speed_t speed = baud == 9600 ? B9600 : B19200;
    SerialEnd end;
    end.io = UniqueFd(
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!end.io.isValid())
        return failure(systemError("open"));
    if (!makeRaw(end.io.get(), speed))
        return failure(systemError("line settings"));
    end.devicePath = path;
    return end;
}

} // namespace tavo::sim
