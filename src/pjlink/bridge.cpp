#include "pjlink/bridge.h"

#include "exchange/log_text.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>

#include <algorithm>

namespace tavo::pjlink {

using link::durationText;
using link::escapedQuoted;
using link::printable;
using link::quoted;

namespace {

// CR0 -> "00<CR>" Power ON
QString describe(const StepRecord& step) {
    QString text = printable(QByteArrayView(step.frame).chopped(step.frame.endsWith('\r') ? 1 : 0));
    switch (step.outcome) {
    case link::Outcome::NoReply:
        return text + QStringLiteral(" -> no reply");
    case link::Outcome::PortFailed:
        return text +
               (step.sent ? QStringLiteral(" -> sent, then ") : QStringLiteral(" -> not sent: ")) +
               (step.failure.isEmpty() ? QStringLiteral("port closed") : step.failure);
    case link::Outcome::Malformed:
        return text + QStringLiteral(" -> ") + quoted(step.reply) +
               QStringLiteral(" does not fit, taken for a stray reply");
    default:
        break;
    }
    text += QStringLiteral(" -> ") + quoted(step.reply);
    if (step.status)
        text += QLatin1Char(' ') + step.status->trimmed();
    return text;
}

QString describe(const Served& served, qint64 totalNs) {
    QStringList parts;
    for (const StepRecord& step : served.steps)
        parts << describe(step);
    if (!served.note.isEmpty())
        parts << served.note;
    QString text = parts.join(QStringLiteral(", "));
    if (!text.isEmpty())
        text += QStringLiteral(" | ");
    return text + QStringLiteral("queued %1, serial %2, total %3")
                      .arg(durationText(served.queuedNs), durationText(served.serialNs),
                           durationText(totalNs));
}

} // namespace

Bridge::Bridge(BridgeSettings settings, ProjectorLine& line, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), line_(line), guard_(settings_.guessing),
      throttle_(settings_.log), udp_(settings_.udp) {
    connect(&throttle_, &LogThrottle::logLine, this, &Bridge::logLine);
    connect(&udp_, &UdpService::logLine, this, &Bridge::log);
    server_.onConnection = [this](qintptr descriptor) { onConnection(descriptor); };
}

bool Bridge::listen() {
    if (!server_.listen(settings_.address, settings_.port)) {
        error_ = server_.errorString();
        return false;
    }
    if (!udp_.bind(settings_.address, server_.serverPort())) {
        error_ = QStringLiteral("UDP: ") + udp_.errorString();
        return false;
    }
    if (settings_.pollPeriod.count() > 0) {
        watch_ = std::make_unique<StatusWatch>(line_, udp_, freeze_, settings_.pollPeriod);
        connect(watch_.get(), &StatusWatch::logLine, this, &Bridge::log);
        watch_->start();
    }
    return true;
}

QString Bridge::admit(const QHostAddress& address) {
    switch (guard_.entry(address, AuthGuard::Clock::now())) {
    case AuthGuard::Entry::Open:
        break;
    case AuthGuard::Entry::RefusedFirstTime:
        log(LogKind::Authentication,
            QStringLiteral("%1: %2 failed digests; connections refused for %3 s")
                .arg(address.toString())
                .arg(guard_.failures(address))
                .arg(settings_.guessing.lockout.count() / 1000));
        return QStringLiteral("too many failed digests");
    case AuthGuard::Entry::Refused:
        return QStringLiteral("too many failed digests");
    }
    const auto fromThere = std::ranges::count_if(
        connections_, [&](const Connection* open) { return open->address() == address; });
    if (fromThere >= settings_.maxPerAddress)
        return QStringLiteral("%1 connections from this address open, the most allowed")
            .arg(fromThere);
    if (connections_.size() < settings_.maxConnections)
        return {};
    for (Connection* open : std::as_const(connections_)) {
        if (!open->isProven()) {
            open->evict();
            return {};
        }
    }
    return QStringLiteral("%1 connections open, the most allowed").arg(connections_.size());
}

void Bridge::onConnection(qintptr descriptor) {
    auto* stream = new ClientStream(descriptor);
    if (const QString refusal = admit(stream->address()); !refusal.isEmpty()) {
        log(LogKind::Refusal, QStringLiteral("%1 refused: %2").arg(stream->peer(), refusal));
        delete stream;
        return;
    }
    const Connection::Settings connectionSettings{settings_.password, settings_.idleTimeout,
                                                  settings_.firstRequestTimeout,
                                                  settings_.maxUnanswered, &guard_};
    auto* connection = new Connection(
        stream, connectionSettings,
        [this](Connection& client, quint64 id, QByteArrayView request) {
            onRequest(client, id, request);
        },
        this);
    connections_.append(connection);
    log(LogKind::Connection, QStringLiteral("%1 connected").arg(connection->peer()));
    connect(connection, &Connection::logLine, this, &Bridge::log);
    const auto forget = [this, connection] {
        log(LogKind::Connection, QStringLiteral("%1 disconnected").arg(connection->peer()));
        connections_.removeOne(connection);
        connection->deleteLater();
    };
    connect(connection, &Connection::closed, this, forget);
    // Gone already while being greeted.
    if (!connection->isOpen())
        forget();
}

void Bridge::onRequest(Connection& connection, quint64 id, QByteArrayView line) {
    QElapsedTimer clock;
    clock.start();
    // A request reaches here authenticated: its peer hears notifications.
    udp_.learn(connection.address());
    const QByteArray request = line.toByteArray();
    const auto parsed = parseRequest(line);
    if (!parsed) {
        answer(connection, id, request, malformedLineAnswer(),
               QStringLiteral("not a request, nothing sent"));
        return;
    }
    const Resolution resolution = resolve(*parsed);
    if (!resolution.mapping) {
        answer(connection, id, request,
               formatAnswer(parsed->pjlinkClass, parsed->command, resolution.error),
               resolution.why.empty()
                   ? QStringLiteral("nothing sent")
                   : QLatin1StringView(resolution.why) + QStringLiteral(", nothing sent"));
        return;
    }
    const Mapping& mapping = *resolution.mapping;
    const char pjlinkClass = parsed->pjlinkClass;
    if (queriesFor(mapping).empty() && !sendsCommands(mapping)) {
        answer(
            connection, id, request,
            formatAnswer(pjlinkClass, parsed->command, resultOf(mapping, {}, settings_.identity)),
            QStringLiteral("total %1").arg(durationText(clock.nsecsElapsed())), LogKind::Request);
        return;
    }
    // What went out on the line is logged even when the client has gone by
    // then; the answer goes only to a client still there.
    const QPointer<Connection> client(&connection);
    const LogKind kind = sendsCommands(mapping) ? LogKind::Setting : LogKind::Request;
    line_.submit(mapping, &connection,
                 [this, client, peer = connection.peer(), id, request, command = parsed->command,
                  &mapping, clock, kind, pjlinkClass](const Served& served) {
                     freeze_.note(mapping, !served.failure, served.readings);
                     const QByteArray result = served.failure
                                                   ? *served.failure
                                                   : resultOf(mapping, served.readings,
                                                              settings_.identity, freeze_.frozen());
                     const QByteArray answer = formatAnswer(pjlinkClass, command, result);
                     QString detail = describe(served, clock.nsecsElapsed());
                     if (!client)
                         detail += QStringLiteral(" | client gone, not answered");
                     logRequest(kind, peer, request, answer, detail);
                     if (client)
                         client->answer(id, answer);
                 });
}

void Bridge::answer(Connection& connection, quint64 id, const QByteArray& request,
                    const QByteArray& answer, const QString& detail, LogKind kind) {
    logRequest(kind, connection.peer(), request, answer, detail);
    connection.answer(id, answer);
}

void Bridge::logRequest(LogKind kind, const QString& peer, const QByteArray& request,
                        const QByteArray& answer, const QString& detail) {
    if (!throttle_.admit(kind))
        return;
    throttle_.write(QStringLiteral("%1 %2 -> %3 | %4")
                        .arg(peer, escapedQuoted(request), quoted(answer.chopped(1)), detail));
}

} // namespace tavo::pjlink
