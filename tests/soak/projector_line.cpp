#include "projector_line.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace tavo::soak {

namespace {

constexpr qsizetype kReadChunk = 4096;

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

bool setNonBlocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK | O_CLOEXEC) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

// Everything readable now; false when the other side is gone.
bool readAll(int fd, QByteArray& into) {
    char buffer[kReadChunk];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            into.append(buffer, count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

} // namespace

ProjectorLine::ProjectorLine(QString devicePath, QObject* parent)
    : QObject(parent), devicePath_(std::move(devicePath)) {}

ProjectorLine::~ProjectorLine() {
    unplug();
}

QString ProjectorLine::start(sim::ProjectorConfig projector, sim::Behaviour behaviour) {
    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        return systemError("socketpair");
    projectorSide_ = sim::UniqueFd(pair[0]);
    sim::SerialEnd end;
    end.io = sim::UniqueFd(pair[1]);
    end.devicePath = devicePath_;
    if (!setNonBlocking(pair[0]) || !setNonBlocking(pair[1]))
        return systemError("socketpair");
    server_ = std::make_unique<sim::Server>(
        std::move(end), sim::Simulator(std::move(projector), behaviour, 19200), this);
    connect(server_.get(), &sim::Server::failed, this, [this](const QString& reason) {
        Q_EMIT problem(QStringLiteral("the projector on %1 stopped: %2").arg(devicePath_, reason));
    });
    projectorReadable_ =
        std::make_unique<QSocketNotifier>(projectorSide_.get(), QSocketNotifier::Read);
    connect(projectorReadable_.get(), &QSocketNotifier::activated, this,
            &ProjectorLine::readProjector);
    return plugIn();
}

QString ProjectorLine::plugIn() {
    if (isPluggedIn())
        return {};
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return systemError("openpty");
    master_ = sim::UniqueFd(master);
    slave_ = sim::UniqueFd(slave);
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    const char* name = ::ttyname(slave);
    if (name == nullptr || !setNonBlocking(master) || !setNonBlocking(slave)) {
        const QString why = systemError("pseudo-terminal");
        unplug();
        return why;
    }
    if (const QString why = relinkDevice(QFile::decodeName(name)); !why.isEmpty()) {
        unplug();
        return why;
    }
    partialFrame_.clear();
    panelReadable_ = std::make_unique<QSocketNotifier>(master, QSocketNotifier::Read);
    connect(panelReadable_.get(), &QSocketNotifier::activated, this, &ProjectorLine::readPanel);
    return {};
}

void ProjectorLine::unplug() {
    // The link goes first: the freed pseudo-terminal's number may soon be
    // another program's, which the panel must never open.
    QFile::remove(devicePath_);
    panelReadable_.reset();
    master_ = sim::UniqueFd();
    slave_ = sim::UniqueFd();
}

// A new link beside the old one, renamed over it, so that the path never
// points nowhere while the device is plugged in.
QString ProjectorLine::relinkDevice(const QString& target) {
    const QString fresh = devicePath_ + QStringLiteral(".new");
    QFile::remove(fresh);
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(fresh).constData()) !=
            0 ||
        ::rename(QFile::encodeName(fresh).constData(),
                 QFile::encodeName(devicePath_).constData()) != 0)
        return systemError("device link");
    return {};
}

void ProjectorLine::readPanel() {
    QByteArray bytes;
    const bool open = readAll(master_.get(), bytes);
    // The projector hears everything, frames or not.
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t count =
            ::write(projectorSide_.get(), bytes.constData() + done, size_t(bytes.size() - done));
        if (count <= 0)
            break;
        done += count;
    }
    for (const char byte : bytes) {
        partialFrame_.append(byte);
        if (byte == '\r') {
            Q_EMIT frameOnWire(partialFrame_);
            partialFrame_.clear();
        } else if (partialFrame_.size() > kMaxFrame) {
            Q_EMIT problem(QStringLiteral("a frame of more than %1 bytes on %2")
                               .arg(kMaxFrame)
                               .arg(devicePath_));
            partialFrame_.clear();
        }
    }
    // The slave is kept open here, so the master never hangs up by itself;
    // a failure means the line is gone.
    if (!open)
        Q_EMIT problem(QStringLiteral("reading %1 failed").arg(devicePath_));
}

void ProjectorLine::readProjector() {
    QByteArray bytes;
    if (!readAll(projectorSide_.get(), bytes))
        Q_EMIT problem(QStringLiteral("the projector's side of %1 closed").arg(devicePath_));
    // Unplugged, the replies fall on the floor.
    if (isPluggedIn())
        writeToPanel(bytes);
}

// What the panel does not read in time is lost, as on a cable.
void ProjectorLine::writeToPanel(QByteArrayView bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t count =
            ::write(master_.get(), bytes.data() + done, size_t(bytes.size() - done));
        if (count <= 0)
            return;
        done += count;
    }
}

} // namespace tavo::soak
