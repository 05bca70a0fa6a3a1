#include "link/pseudo_terminal.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace tavo::link {

namespace {

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

PseudoTerminalEnds failure(const char* what) {
    PseudoTerminalEnds terminal;
    terminal.error = systemError(what);
    return terminal;
}

} // namespace

qsizetype writeWhatFits(int fd, QByteArrayView bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + done, std::size_t(bytes.size() - done));
        if (count > 0)
            done += count;
        else if (count == 0 || errno != EINTR)
            break;
    }
    return done;
}

bool setRawLine(int fd, int baud) {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return false;
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    const speed_t speed = baud == 9600 ? B9600 : B19200;
    return ::cfsetspeed(&settings, speed) == 0 && ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

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

PseudoTerminalEnds openPseudoTerminal() {
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return failure("openpty");
    PseudoTerminalEnds terminal;
    terminal.master = UniqueFd(master);
    terminal.slave = UniqueFd(slave);
    const char* name = ::ttyname(slave);
    if (name == nullptr)
        return failure("ttyname");
    terminal.devicePath = QFile::decodeName(name);
    if (!setRawLine(slave, 19200) || !setRawLine(master, 19200))
        return failure("raw mode");
    const int flags = ::fcntl(master, F_GETFL);
    if (::fcntl(master, F_SETFD, FD_CLOEXEC) != 0 || ::fcntl(slave, F_SETFD, FD_CLOEXEC) != 0 ||
        flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0)
        return failure("descriptor flags");
    return terminal;
}

} // namespace tavo::link
