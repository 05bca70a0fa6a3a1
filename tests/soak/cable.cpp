#include "cable.h"

#include "link/pseudo_terminal.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
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

Cable::Cable(QString devicePath, QObject* parent)
    : QObject(parent), devicePath_(std::move(devicePath)) {}

Cable::~Cable() {
    unplug();
}

QString Cable::start(sim::ProjectorConfig projector, sim::Behaviour behaviour) {
    int pair[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        return systemError("socketpair");
    projectorSide_ = link::UniqueFd(pair[0]);
    sim::SerialEnd end;
    end.io = link::UniqueFd(pair[1]);
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
    connect(projectorReadable_.get(), &QSocketNotifier::activated, this, &Cable::readProjector);
    return plugIn();
}

QString Cable::plugIn() {
    if (isPluggedIn())
        return {};
    link::PseudoTerminalEnds ends = link::openPseudoTerminal();
    if (!ends.isOpen())
        return ends.error;
    master_ = std::move(ends.master);
    slave_ = std::move(ends.slave);
    if (!setNonBlocking(slave_.get())) {
        const QString why = systemError("pseudo-terminal");
        unplug();
        return why;
    }
    if (const QString why = relinkDevice(ends.devicePath); !why.isEmpty()) {
        unplug();
        return why;
    }
    partialFrame_.clear();
    panelReadable_ = std::make_unique<QSocketNotifier>(master_.get(), QSocketNotifier::Read);
    connect(panelReadable_.get(), &QSocketNotifier::activated, this, &Cable::readPanel);
    return {};
}

void Cable::unplug() {
    // The link goes first: the freed pseudo-terminal's number may soon be
    // another program's, which the panel must never open.
    QFile::remove(devicePath_);
    panelReadable_.reset();
    master_ = link::UniqueFd();
    slave_ = link::UniqueFd();
}

// A new link beside the old one, renamed over it, so that the path never
// points nowhere while the device is plugged in.
QString Cable::relinkDevice(const QString& target) {
    const QString fresh = devicePath_ + QStringLiteral(".new");
    QFile::remove(fresh);
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(fresh).constData()) !=
            0 ||
        ::rename(QFile::encodeName(fresh).constData(),
                 QFile::encodeName(devicePath_).constData()) != 0)
        return systemError("device link");
    return {};
}

void Cable::readPanel() {
    QByteArray bytes;
    const bool open = readAll(master_.get(), bytes);
    // The projector hears everything, frames or not.
    link::writeWhatFits(projectorSide_.get(), bytes);
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

void Cable::readProjector() {
    QByteArray bytes;
    if (!readAll(projectorSide_.get(), bytes))
        Q_EMIT problem(QStringLiteral("the projector's side of %1 closed").arg(devicePath_));
    // Unplugged, the replies fall on the floor.
    if (isPluggedIn())
        writeToPanel(bytes);
}

// What the panel does not read in time is lost, as on a cable.
void Cable::writeToPanel(QByteArrayView bytes) {
    link::writeWhatFits(master_.get(), bytes);
}

} // namespace tavo::soak
