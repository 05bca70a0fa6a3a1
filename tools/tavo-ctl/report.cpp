#include "report.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>

#include <algorithm>

namespace tavo::ctl {

namespace {

QLatin1StringView latin1(std::string_view text) {
    return QLatin1StringView(text.data(), qsizetype(text.size()));
}

QString replyMeaning(const commands::NamedCommand& command) {
    if (command.isQuery())
        return latin1(command.entry->reply);
    const QString answer = QStringLiteral("ACK, or NAK when refused");
    if (!command.key)
        return answer;
    if (!command.key->repeat)
        return answer + QStringLiteral("; hold key, repeats at the rate the last key set");
    return answer +
           QStringLiteral("; hold key, repeats every %1 ms").arg(command.key->repeat->count());
}

} // namespace

Verdict verdictOf(const link::ExchangeResult& result, Expected expected) {
    switch (result.outcome) {
    case link::Outcome::Acknowledged:
        return Verdict::Acknowledged;
    case link::Outcome::Refused:
        return Verdict::Refused;
    case link::Outcome::NoReply:
        return Verdict::NoReply;
    case link::Outcome::PortFailed:
        return Verdict::PortFailed;
    case link::Outcome::Replied:
        break;
    }
    // A reply cut off by the timeout, as from a line that streams bytes, is
    // no reply; a whole one answers a query, never a command.
    if (!link::isWholeReply(result.reply))
        return Verdict::Unfinished;
    return expected == Expected::Acknowledgement ? Verdict::Unacknowledged : Verdict::Replied;
}

int exitStatusOf(Verdict verdict) {
    switch (verdict) {
    case Verdict::Acknowledged:
    case Verdict::Replied:
        return exit_status::kSuccess;
    case Verdict::Refused:
    case Verdict::Unacknowledged:
        return exit_status::kRefused;
    case Verdict::Unfinished:
    case Verdict::NoReply:
        return exit_status::kNoReply;
    case Verdict::PortFailed:
        return exit_status::kPortFailed;
    }
    return exit_status::kPortFailed;
}

QString verdictName(Verdict verdict) {
    switch (verdict) {
    case Verdict::Acknowledged:
        return QStringLiteral("acknowledged");
    case Verdict::Replied:
        return QStringLiteral("replied");
    case Verdict::Refused:
        return QStringLiteral("refused");
    case Verdict::Unacknowledged:
        return QStringLiteral("unacknowledged");
    case Verdict::Unfinished:
        return QStringLiteral("unfinished");
    case Verdict::NoReply:
        return QStringLiteral("no-reply");
    case Verdict::PortFailed:
        return QStringLiteral("port-failed");
    }
    return {};
}

QString resultLine(const link::ExchangeResult& result) {
    return result.status ? *result.status : result.receivedTrace;
}

QStringList traceLines(const link::ExchangeResult& result) {
    QStringList lines{QStringLiteral("TXD") + result.sentTrace,
                      QStringLiteral("RXD") + result.receivedTrace};
    if (result.status)
        lines.append(QStringLiteral("STATUS") + *result.status);
    return lines;
}

QByteArray jsonLine(const QString& name, const link::ExchangeResult& result, Verdict verdict) {
    const QJsonObject object{
        {QStringLiteral("name"), name},
        {QStringLiteral("frame"), QString::fromLatin1(result.frame)},
        {QStringLiteral("sentTrace"), result.sentTrace},
        {QStringLiteral("receivedTrace"), result.receivedTrace},
        {QStringLiteral("status"), result.status ? QJsonValue(*result.status) : QJsonValue()},
        {QStringLiteral("outcome"), verdictName(verdict)},
        {QStringLiteral("milliseconds"), result.elapsedMs},
        {QStringLiteral("exitStatus"), exitStatusOf(verdict)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString failureMessage(const QString& name, Verdict verdict, std::chrono::milliseconds replyTimeout,
                       const QString& device) {
    const QString timeout = QString::number(replyTimeout.count());
    switch (verdict) {
    case Verdict::Acknowledged:
    case Verdict::Replied:
        return {};
    case Verdict::Refused:
        return QStringLiteral("tavo-ctl: %1: refused by the projector (NAK)").arg(name);
    case Verdict::Unacknowledged:
        return QStringLiteral("tavo-ctl: %1: the projector answered, but not with ACK").arg(name);
    case Verdict::Unfinished:
        return QStringLiteral(
                   "tavo-ctl: %1: the reply did not end (no carriage return) within %2 ms")
            .arg(name, timeout);
    case Verdict::NoReply:
        return QStringLiteral("tavo-ctl: %1: no reply within %2 ms").arg(name, timeout);
    case Verdict::PortFailed:
        return QStringLiteral("tavo-ctl: %1: %2 stopped working (unplugged, switched off, or "
                              "closed at its other end)")
            .arg(name, device);
    }
    return {};
}

QString listText() {
    struct Row {
        QString name, code, reply;
    };
    QList<Row> rows{{QStringLiteral("NAME"), QStringLiteral("CODE"), QStringLiteral("REPLY")}};
    for (const commands::CommandName& entry : commands::commandNames()) {
        const commands::NamedCommand command = commands::commandFor(entry);
        rows.append({latin1(entry.name), latin1(command.code()), replyMeaning(command)});
    }
    qsizetype nameWidth = 0;
    qsizetype codeWidth = 0;
    for (const Row& row : rows) {
        nameWidth = std::max(nameWidth, row.name.size());
        codeWidth = std::max(codeWidth, row.code.size());
    }
    QString text;
    for (const Row& row : rows)
        text += row.name.leftJustified(nameWidth + 2) + row.code.leftJustified(codeWidth + 2) +
                row.reply + QLatin1Char('\n');
    return text;
}

} // namespace tavo::ctl
