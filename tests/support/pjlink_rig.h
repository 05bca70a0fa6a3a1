#pragma once
// The PJLink bridge in the test's own process, on the virtual projector or a
// scripted one, and PJLink clients on loopback. Everything shares the test's
// event loop, so waiting means running it: waitUntil() never sleeps a fixed
// time, it runs the loop until the condition holds or the time is up.
//
// Header-only and without Q_OBJECT, so that only the tests that include it
// need Qt Network and the virtual projector's core.
//
// The bridge opens each projector through a link of its own: Qt Serial Port
// locks a device by its path, and a /dev/pts number freed by one test may be
// handed to the next while another program on the machine still holds a
// lock by that name.

#include "exchange/transaction.h"
#include "link/serial_control.h"
#include "pjlink/bridge.h"
#include "pjlink/projector_line.h"
#include "projector-sim/server.h"
#include "support/pseudo_terminal.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QMap>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>

#include <sys/socket.h>

namespace tavo::test {

inline constexpr int kWaitMs = 5000;

template <typename Done> bool waitUntil(Done done, int timeoutMs = kWaitMs) {
    const QDeadlineTimer deadline(timeoutMs);
    // Wakes the loop now and then, so that the deadline is seen.
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// The frames a projector got, from its "rx" log lines: rx "CR0" -> "80<CR>".
inline QByteArray frameOfLogLine(const QString& line) {
    if (!line.startsWith(QLatin1String("rx \"")))
        return {};
    return line.mid(4, line.indexOf(QLatin1Char('"'), 4) - 4).toLatin1();
}

// A path of its own for a device.
class DeviceLink {
public:
    explicit DeviceLink(const QString& device) : path_(dir_.filePath(QStringLiteral("projector"))) {
        valid_ = dir_.isValid() && QFile::link(device, path_);
    }
    bool isValid() const { return valid_; }
    const QString& path() const { return path_; }

private:
    QTemporaryDir dir_;
    QString path_;
    bool valid_ = false;
};

// The virtual projector in this process, on a fresh pseudo-terminal.
class VirtualProjector {
public:
    explicit VirtualProjector(sim::ProjectorConfig config = {}, sim::Behaviour behaviour = {}) {
        sim::SerialEnd end = sim::openPseudoTerminal();
        if (!end.isOpen())
            return;
        ptyPath_ = end.devicePath;
        link_ = std::make_unique<DeviceLink>(ptyPath_);
        server_ =
            std::make_unique<sim::Server>(std::move(end), sim::Simulator(config, behaviour, 19200));
        QObject::connect(server_.get(), &sim::Server::logLine, server_.get(),
                         [this](const QString& line) {
                             if (const QByteArray frame = frameOfLogLine(line); !frame.isEmpty())
                                 frames.append(frame);
                         });
    }

    bool isValid() const { return server_ != nullptr && link_->isValid(); }
    // The path the bridge opens.
    QString device() const { return link_ ? link_->path() : QString(); }
    // The pseudo-terminal itself.
    const QString& ptyPath() const { return ptyPath_; }

    QByteArrayList frames;

private:
    QString ptyPath_;
    std::unique_ptr<DeviceLink> link_;
    std::unique_ptr<sim::Server> server_;
};

// A projector that answers each frame from a table, on a pseudo-terminal
// whose master side this test holds; frames it has no answer for go
// unanswered.
class ScriptedProjector {
public:
    explicit ScriptedProjector(QMap<QByteArray, QByteArray> replies)
        : link_(pty_.devicePath()), replies_(std::move(replies)) {
        QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { serve(); });
        poll_.start(1);
    }

    bool isValid() const { return pty_.isValid() && link_.isValid(); }
    QString device() const { return link_.path(); }
    // From the next frame on, as the projector's state changes.
    void setReply(const QByteArray& frame, const QByteArray& reply) { replies_[frame] = reply; }

    QByteArrayList frames;

private:
    void serve() {
        received_ += pty_.readAvailable();
        for (qsizetype end = received_.indexOf('\r'); end >= 0; end = received_.indexOf('\r')) {
            const QByteArray frame = received_.left(end);
            received_.remove(0, end + 1);
            frames.append(frame);
            if (replies_.contains(frame))
                pty_.write(replies_.value(frame));
        }
    }

    PseudoTerminal pty_;
    DeviceLink link_;
    QMap<QByteArray, QByteArray> replies_;
    QByteArray received_;
    QTimer poll_;
};

inline pjlink::BridgeSettings loopbackSettings() {
    pjlink::BridgeSettings settings;
    settings.address = QHostAddress::LocalHost;
    settings.port = 0;
    settings.identity = {"Hall A", "TAVO", "RA20", "tavo-pjlink " TAVO_VERSION};
    // Every client comes from 127.0.0.1 unless it says otherwise.
    settings.maxPerAddress = settings.maxConnections;
    // The projector sees the clients' frames only, unless a test watches it.
    settings.pollPeriod = std::chrono::milliseconds(0);
    return settings;
}

inline pjlink::ProjectorLine::Settings lineSettings(const QString& device) {
    return {device, link::kSettings19200, std::chrono::milliseconds(100), pjlink::kQueueLimit};
}

// The bridge on 127.0.0.1 and a free port, serving the given device.
class BridgeRig {
public:
    explicit BridgeRig(const QString& device,
                       const pjlink::BridgeSettings& settings = loopbackSettings())
        : BridgeRig(lineSettings(device), settings) {}

    BridgeRig(const pjlink::ProjectorLine::Settings& line, const pjlink::BridgeSettings& settings)
        : line_(std::make_unique<link::SerialControl>(), line), bridge_(settings, line_) {
        QObject::connect(&line_, &pjlink::ProjectorLine::logLine, &line_,
                         [this](const QString& text) { log.append(text); });
        QObject::connect(&bridge_, &pjlink::Bridge::logLine, &bridge_,
                         [this](const QString& text) { log.append(text); });
        listening_ = bridge_.listen();
        line_.start();
    }

    bool isReady() const { return listening_ && line_.isOpen(); }
    quint16 port() const { return bridge_.serverPort(); }
    pjlink::ProjectorLine& line() { return line_; }
    pjlink::Bridge& bridge() { return bridge_; }
    bool logHas(const QString& part) const {
        return std::any_of(log.begin(), log.end(),
                           [&](const QString& line) { return line.contains(part); });
    }

    QStringList log;

private:
    pjlink::ProjectorLine line_;
    pjlink::Bridge bridge_;
    bool listening_ = false;
};

// A PJLink client on loopback.
class Client {
public:
    Client() {
        QObject::connect(&socket_, &QTcpSocket::readyRead, &socket_,
                         [this] { received_ += socket_.readAll(); });
        QObject::connect(&socket_, &QTcpSocket::disconnected, &socket_, [this] { closed_ = true; });
    }

    // Connects from the given loopback address and reads the greeting.
    bool connectTo(quint16 port, const QHostAddress& from = QHostAddress::LocalHost) {
        socket_.bind(from);
        socket_.connectToHost(QHostAddress::LocalHost, port);
        const auto line = nextLine();
        if (line)
            greeting = *line;
        return line.has_value();
    }

    void send(const QByteArray& bytes) { socket_.write(bytes); }
    // Sends what is written, then resets the connection, as a crashed client does.
    void reset() {
        socket_.waitForBytesWritten(kWaitMs);
        const linger now{1, 0};
        ::setsockopt(int(socket_.socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now);
        socket_.abort();
    }

    // The next line the bridge sent, carriage return taken off; nothing when
    // none came in time or the connection closed first.
    std::optional<QByteArray> nextLine(int timeoutMs = kWaitMs) {
        waitUntil([this] { return received_.contains('\r') || closed_; }, timeoutMs);
        const qsizetype end = received_.indexOf('\r');
        if (end < 0)
            return std::nullopt;
        const QByteArray line = received_.left(end);
        received_.remove(0, end + 1);
        return line;
    }

    // Sends one request line and gives its answer, or "<none>".
    QByteArray request(const QByteArray& line) {
        send(line + '\r');
        return nextLine().value_or("<none>");
    }

    bool waitForClose(int timeoutMs = kWaitMs) {
        return waitUntil([this] { return closed_; }, timeoutMs);
    }
    bool isClosed() const { return closed_; }
    // Bytes received and not yet read as lines.
    const QByteArray& pending() const { return received_; }

    QByteArray greeting;

private:
    QTcpSocket socket_;
    QByteArray received_;
    bool closed_ = false;
};

} // namespace tavo::test
