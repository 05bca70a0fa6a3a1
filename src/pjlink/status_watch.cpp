#include "pjlink/status_watch.h"

#include "exchange/log_text.h"

#include <QPointer>

#include <array>

namespace tavo::pjlink {

namespace {

// Each query of a round and the notifications made from its reply.
struct Watched {
    QByteArrayView query;
    std::array<QByteArrayView, 2> notifications;
};
constexpr std::array kRound{
    Watched{"POWR", {"POWR", "ERST"}},
    Watched{"INPT", {"INPT"}},
    Watched{"AVMT", {"AVMT"}},
};

// A yielding query tries again this soon.
constexpr std::chrono::milliseconds kRetry{20};

QString controllers(int count) {
    return count == 1 ? QStringLiteral("1 controller")
                      : QStringLiteral("%1 controllers").arg(count);
}

const Mapping& queryRow(QByteArrayView command) {
    // Every command of the round has a query row: the status watch test runs them all.
    return *resolve(Request{kClass1, command.toByteArray(), true, "?"}).mapping;
}

} // namespace

StatusWatch::StatusWatch(ProjectorLine& line, UdpService& udp, FreezeMemory& freeze,
                         std::chrono::milliseconds period, QObject* parent)
    : QObject(parent), line_(line), udp_(udp), freeze_(freeze) {
    period_.setTimerType(Qt::PreciseTimer);
    period_.setInterval(period);
    retry_.setSingleShot(true);
    retry_.setInterval(kRetry);
    connect(&period_, &QTimer::timeout, this, &StatusWatch::startRound);
    connect(&retry_, &QTimer::timeout, this, &StatusWatch::runQuery);
    // The projector is asked as soon as it can be, not a period later.
    connect(&line_, &ProjectorLine::opened, this, &StatusWatch::startRound);
}

void StatusWatch::start() {
    period_.start();
    startRound();
}

void StatusWatch::startRound() {
    // A round still waiting for the line is not doubled.
    if (roundRunning_ || !line_.isOpen())
        return;
    roundRunning_ = true;
    next_ = 0;
    runQuery();
}

void StatusWatch::runQuery() {
    if (!line_.isIdle()) {
        retry_.start();
        return;
    }
    // A query that started is reported even when the watch is gone by then.
    line_.submit(queryRow(kRound[next_].query), this,
                 [watch = QPointer<StatusWatch>(this)](const Served& served) {
                     if (watch)
                         watch->onServed(served);
                 });
}

void StatusWatch::onServed(const Served& served) {
    const Watched& watched = kRound[next_];
    freeze_.note(queryRow(watched.query), !served.failure, served.readings);
    if (!served.failure) {
        if (!linkedUp_ && next_ == 0) {
            linkedUp_ = true;
            const int sent = udp_.notify("LKUP", udp_.hardwareAddress());
            Q_EMIT logLine(LogKind::Other,
                           QStringLiteral("projector answers: LKUP sent to ") + controllers(sent));
        }
        for (const QByteArrayView command : watched.notifications) {
            if (command.isEmpty())
                continue;
            const QByteArray value = resultOf(queryRow(command), served.readings, {});
            if (value.startsWith("ERR"))
                continue;
            const auto [known, isNew] = values_.try_emplace(command.toByteArray(), value);
            if (isNew || known->second == value)
                continue;
            known->second = value;
            const int sent = udp_.notify(command, value);
            Q_EMIT logLine(LogKind::Request, QStringLiteral("%1 changed to %2: notified %3")
                                                 .arg(QString::fromLatin1(command),
                                                      link::quoted(value), controllers(sent)));
        }
    }
    // A projector that does not answer is not asked again until the next round.
    if (!served.failure && ++next_ < kRound.size()) {
        runQuery();
        return;
    }
    roundRunning_ = false;
}

} // namespace tavo::pjlink
