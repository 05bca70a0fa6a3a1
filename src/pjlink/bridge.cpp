#include "pjlink/bridge.h"

#include "exchange/log_text.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QStringList>

namespace tavo::pjlink {

using link::durationText;
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
        return text + QStringLiteral(" -> not sent: ") +
               (step.failure.isEmpty() ? QStringLiteral("port closed") : step.failure);
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
    : QObject(parent), settings_(std::move(settings)), line_(line) {
    server_.onConnection = [this](qintptr descriptor) { onConnection(descriptor); };
}

bool Bridge::listen() {
    return server_.listen(settings_.address, settings_.port);
}

void Bridge::onConnection(qintptr descriptor) {
    auto* stream = new ClientStream(descriptor);
    if (connections_.size() >= settings_.maxConnections) {
        Q_EMIT logLine(QStringLiteral("%1 refused: %2 connections open, the most allowed")
                           .arg(stream->peer())
                           .arg(connections_.size()));
        delete stream;
        return;
    }
    const Connection::Settings connectionSettings{settings_.password, settings_.idleTimeout,
                                                  settings_.maxUnanswered};
    auto* connection = new Connection(
        stream, connectionSettings,
        [this](Connection& client, quint64 id, QByteArrayView request) {
            onRequest(client, id, request);
        },
        this);
    connections_.insert(connection);
    Q_EMIT logLine(QStringLiteral("%1 connected").arg(connection->peer()));
    connect(connection, &Connection::logLine, this, &Bridge::logLine);
    const auto forget = [this, connection] {
        Q_EMIT logLine(QStringLiteral("%1 disconnected").arg(connection->peer()));
        connections_.remove(connection);
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
               QStringLiteral("nothing sent"));
        return;
    }
    const Mapping& mapping = *resolution.mapping;
    if (queriesFor(mapping).empty() && sendersFor(mapping).empty()) {
        answer(connection, id, request,
               formatAnswer(kClass1, parsed->command, resultOf(mapping, {}, settings_.identity)),
               QStringLiteral("total %1").arg(durationText(clock.nsecsElapsed())));
        return;
    }
    const QPointer<Connection> client(&connection);
    line_.submit(mapping, &connection,
                 [this, client, id, request, command = parsed->command, &mapping,
                  clock](const Served& served) {
                     if (!client)
                         return;
                     const QByteArray result =
                         served.failure ? *served.failure
                                        : resultOf(mapping, served.readings, settings_.identity);
                     answer(*client, id, request, formatAnswer(kClass1, command, result),
                            describe(served, clock.nsecsElapsed()));
                 });
}

void Bridge::answer(Connection& connection, quint64 id, const QByteArray& request,
                    const QByteArray& answer, const QString& detail) {
    Q_EMIT logLine(QStringLiteral("%1 %2 -> %3 | %4")
                       .arg(connection.peer(), quoted(request), quoted(answer.chopped(1)), detail));
    connection.answer(id, answer);
}

} // namespace tavo::pjlink
