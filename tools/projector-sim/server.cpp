#include "server.h"

#include "exchange/log_text.h"
#include "link/pseudo_terminal.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <unistd.h>

namespace tavo::sim {

namespace {
constexpr qsizetype kReadChunk = 4096;
} // namespace

Server::Server(SerialEnd end, Simulator simulator, QObject* parent)
    : QObject(parent), end_(std::move(end)), simulator_(std::move(simulator)),
      readable_(end_.io.get(), QSocketNotifier::Read) {
    clock_.start();
    pacer_.setSingleShot(true);
    pacer_.setTimerType(Qt::PreciseTimer);
    connect(&pacer_, &QTimer::timeout, this, &Server::pump);
    connect(&readable_, &QSocketNotifier::activated, this, &Server::readAvailable);
    // The first noise burst or flood byte may be due before anything is read.
    QTimer::singleShot(0, this, &Server::pump);
}

Micros Server::now() const {
    return std::chrono::duration_cast<Micros>(std::chrono::nanoseconds(clock_.nsecsElapsed()));
}

void Server::readAvailable() {
    char buffer[kReadChunk];
    for (;;) {
        const ssize_t count = ::read(end_.io.get(), buffer, sizeof buffer);
        if (count > 0) {
            for (const ReceivedFrame& exchange :
                 simulator_.receive(QByteArrayView(buffer, count), now()))
                Q_EMIT logLine(describe(exchange));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        fail(count == 0
                 ? QStringLiteral("the device hung up")
                 : QStringLiteral("read: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    pump();
}

void Server::pump() {
    const Micros at = now();
    for (const QByteArray& burst : simulator_.advance(at))
        Q_EMIT logLine(QStringLiteral("tx noise \"%1\"").arg(link::printable(burst)));
    write(simulator_.take(at));
    if (!readable_.isEnabled())
        return;
    const auto due = simulator_.nextDue();
    if (!due) {
        pacer_.stop();
        return;
    }
    // Whole milliseconds, rounded up, so the byte is complete when we wake.
    const auto wait = std::chrono::ceil<Millis>(std::max(*due - now(), Micros{0}));
    pacer_.start(wait);
}

// Bytes that the pseudo-terminal cannot take because nobody reads the other
// side are lost, as on a cable with nothing plugged in.
void Server::write(const QByteArray& bytes) {
    const qsizetype done = link::writeWhatFits(end_.io.get(), bytes);
    if (done < bytes.size() && errno != EAGAIN && errno != EWOULDBLOCK) {
        fail(QStringLiteral("write: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    const bool losing = done < bytes.size();
    if (losing && !losingBytes_)
        Q_EMIT logLine(QStringLiteral("tx bytes lost: nobody reads the line"));
    if (!bytes.isEmpty())
        losingBytes_ = losing;
}

void Server::fail(const QString& reason) {
    readable_.setEnabled(false);
    pacer_.stop();
    Q_EMIT failed(reason);
}

} // namespace tavo::sim
