#include "report.h"

#include "exchange/log_text.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>

#include <algorithm>

namespace tavo::ctl {

namespace {

struct ExitStatusMeaning {
    int status;
    const char* meaning;
};
constexpr ExitStatusMeaning kExitStatuses[] = {
    {exit_status::kSuccess, "success: acknowledged, or a reply that fits its query"},
    {exit_status::kRefused,
     "refused (NAK), a command answered otherwise, or standard output not writable"},
    {exit_status::kUsage, "usage error; a bad script line ends the run there"},
    {exit_status::kNoReply,
     "no (whole) reply within the reply timeout, or --timeout ended the run"},
    {exit_status::kPortFailed, "the port could not be opened, failed or was lost"},
    {exit_status::kBusy, "the port is in use by another program (see --wait)"},
    {exit_status::kMalformed, "a reply that does not fit its query's format"},
    {exit_status::kWrongState, "--until: the reading never became a value awaited"},
    {exit_status::kSignalBase, "+ n: stopped by signal n (INT, TERM, HUP, QUIT, PIPE)"},
};

QString replyMeaning(const commands::NamedCommand& command) {
    if (command.isQuery())
        return QLatin1StringView(command.entry->reply);
    const QString answer = QStringLiteral("ACK, or NAK when refused");
    if (!command.key)
        return answer;
    if (!command.key->repeat)
        return answer + QStringLiteral("; hold key, repeats at the rate the last key set");
    return answer +
           QStringLiteral("; hold key, repeats every %1 ms").arg(command.key->repeat->count());
}

// The frame's code: the frame without its carriage return (the command
// prefix is empty).
QByteArrayView queryCode(const QByteArray& frame) {
    return frame.endsWith('\r') ? QByteArrayView(frame).chopped(1) : QByteArrayView(frame);
}

Judgement judged(Verdict verdict, QByteArrayView stray = {}) {
    return {verdict, std::nullopt, stray.isEmpty() ? QString() : link::printable(stray)};
}

QJsonValue typedValue(const status::Reading& reading) {
    switch (reading.query->form) {
    case status::Form::Code:
        return reading.token;
    case status::Form::Text:
        return reading.text;
    case status::Form::Temperatures:
        return QJsonArray::fromVariantList(
            {reading.numbers[0], reading.numbers[1], reading.numbers[2]});
    case status::Form::Whole:
    case status::Form::Pressure:
        break;
    }
    return reading.numbers.front();
}

QString severityName(status::Severity severity) {
    switch (severity) {
    case status::Severity::Normal:
        return QStringLiteral("normal");
    case status::Severity::Warning:
        return QStringLiteral("warning");
    case status::Severity::Failure:
        return QStringLiteral("failure");
    }
    return {};
}

QJsonValue orNull(const QString& text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

QString exitStatusText() {
    QString text;
    for (const ExitStatusMeaning& row : kExitStatuses)
        text += QStringLiteral("  %1 %2\n").arg(row.status, 3).arg(QLatin1StringView(row.meaning));
    return text;
}

Judgement judge(const link::ExchangeResult& result, Expected expected) {
    if (result.outcome == link::Outcome::PortFailed)
        return judged(Verdict::PortFailed);
    const QByteArray& bytes = result.reply;
    if (bytes.isEmpty())
        return judged(Verdict::NoReply);
    const char first = bytes.front();
    if (first == link::kNak)
        return judged(Verdict::Refused, QByteArrayView(bytes).sliced(1));
    if (first == link::kAck && expected != Expected::Text)
        return judged(Verdict::Acknowledged, QByteArrayView(bytes).sliced(1));
    const qsizetype end = bytes.indexOf('\r');
    if (end < 0 && first != link::kAck)
        return judged(Verdict::Unfinished);
    if (expected == Expected::Acknowledgement)
        return judged(Verdict::Unacknowledged);
    Judgement judgement = judged(Verdict::Replied, QByteArrayView(bytes).sliced(end + 1));
    if (status::readQueryOf(queryCode(result.frame))) {
        judgement.reading = status::readingOf(queryCode(result.frame), bytes);
        if (!judgement.reading->isValue()) {
            judgement.verdict = Verdict::Malformed;
            judgement.strayBytes.clear();
        }
    }
    return judgement;
}

int exitStatusOf(Verdict verdict) {
    switch (verdict) {
    case Verdict::Acknowledged:
    case Verdict::Replied:
        return exit_status::kSuccess;
    case Verdict::Refused:
    case Verdict::Unacknowledged:
        return exit_status::kRefused;
    case Verdict::Malformed:
        return exit_status::kMalformed;
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
    case Verdict::Malformed:
        return QStringLiteral("malformed");
    case Verdict::Unfinished:
        return QStringLiteral("unfinished");
    case Verdict::NoReply:
        return QStringLiteral("no-reply");
    case Verdict::PortFailed:
        return QStringLiteral("port-failed");
    }
    return {};
}

std::optional<QString> outputLine(const QString& name, const link::ExchangeResult& result,
                                  const Judgement& judgement, OutputForm form, bool verbose) {
    if (form == OutputForm::Quiet || exitStatusOf(judgement.verdict) != exit_status::kSuccess)
        return std::nullopt;
    if (judgement.verdict == Verdict::Acknowledged) {
        if (!verbose)
            return std::nullopt;
        return form == OutputForm::Value ? QStringLiteral("ACK")
                                         : QStringLiteral("%1: acknowledged").arg(name);
    }
    if (judgement.reading)
        return form == OutputForm::Value ? judgement.reading->valueText()
                                         : judgement.reading->words();
    // A typed frame's reply that no reading reads: its text, escaped.
    return link::printable(QByteArrayView(result.reply).first(result.reply.indexOf('\r')));
}

QStringList traceLines(const link::ExchangeResult& result) {
    QStringList lines{QStringLiteral("TXD") + result.sentTrace,
                      QStringLiteral("RXD") + result.receivedTrace};
    if (result.status)
        lines.append(QStringLiteral("STATUS") + *result.status);
    return lines;
}

QByteArray jsonLine(const QString& name, const link::ExchangeResult& result,
                    const Judgement& judgement, const QString& device, const QString& error) {
    QJsonObject object{
        {QStringLiteral("name"), name},
        {QStringLiteral("device"), device},
        {QStringLiteral("frame"), link::printable(result.frame)},
        {QStringLiteral("reply"), link::printable(result.reply)},
        {QStringLiteral("sentTrace"), result.sentTrace},
        {QStringLiteral("receivedTrace"), result.receivedTrace},
        {QStringLiteral("status"), result.status ? QJsonValue(*result.status) : QJsonValue()},
        {QStringLiteral("value"), QJsonValue()},
        {QStringLiteral("outcome"), verdictName(judgement.verdict)},
        {QStringLiteral("milliseconds"), result.elapsedMs},
        {QStringLiteral("exitStatus"), exitStatusOf(judgement.verdict)},
        {QStringLiteral("error"), orNull(error)},
        {QStringLiteral("strayBytes"), orNull(judgement.strayBytes)},
    };
    if (const auto& reading = judgement.reading) {
        if (reading->isValue()) {
            object.insert(QStringLiteral("value"), typedValue(*reading));
            object.insert(QStringLiteral("words"), reading->words());
            object.insert(QStringLiteral("unit"), orNull(QString::fromUtf8(reading->query->unit)));
            object.insert(QStringLiteral("severity"), severityName(reading->severity));
        } else {
            object.insert(QStringLiteral("problem"), reading->problem);
        }
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray jsonFailure(const QString& outcome, int exitStatus, const QString& device,
                       const QString& error) {
    const QJsonObject object{
        {QStringLiteral("name"), QJsonValue()},     {QStringLiteral("device"), orNull(device)},
        {QStringLiteral("value"), QJsonValue()},    {QStringLiteral("outcome"), outcome},
        {QStringLiteral("exitStatus"), exitStatus}, {QStringLiteral("error"), error},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString failureMessage(const QString& name, const link::ExchangeResult& result,
                       const Judgement& judgement, std::chrono::milliseconds replyTimeout,
                       const QString& device) {
    const QString timeout = QString::number(replyTimeout.count());
    switch (judgement.verdict) {
    case Verdict::Acknowledged:
    case Verdict::Replied:
        return {};
    case Verdict::Refused:
        return QStringLiteral("tavo-ctl: %1: refused by the projector on %2 (NAK)")
            .arg(name, device);
    case Verdict::Unacknowledged:
        return QStringLiteral("tavo-ctl: %1: the projector on %2 answered \"%3\", not ACK")
            .arg(name, device, link::printable(result.reply));
    case Verdict::Malformed:
        return QStringLiteral("tavo-ctl: %1: malformed reply from %2: \"%3\" (%4)")
            .arg(name, device, link::printable(result.reply),
                 judgement.reading ? judgement.reading->problem : QStringLiteral("ACK"));
    case Verdict::Unfinished:
        return QStringLiteral("tavo-ctl: %1: the reply from %2 did not end (no carriage return) "
                              "within %3 ms")
            .arg(name, device, timeout);
    case Verdict::NoReply:
        return QStringLiteral("tavo-ctl: %1: no reply from %2 within %3 ms")
            .arg(name, device, timeout);
    case Verdict::PortFailed:
        return QStringLiteral("tavo-ctl: %1: %2 stopped working (unplugged, switched off, or "
                              "closed at its other end)")
            .arg(name, device);
    }
    return {};
}

QString strayBytesWarning(const QString& name, const Judgement& judgement, const QString& device) {
    if (judgement.strayBytes.isEmpty())
        return {};
    return QStringLiteral("tavo-ctl: %1: warning: stray bytes after the reply from %2 ignored: "
                          "\"%3\"")
        .arg(name, device, judgement.strayBytes);
}

QString listText() {
    struct Row {
        QString name, code, reply;
    };
    QList<Row> rows{{QStringLiteral("NAME"), QStringLiteral("CODE"), QStringLiteral("REPLY")}};
    for (const commands::CommandName& entry : commands::commandNames()) {
        const commands::NamedCommand command = commands::commandFor(entry);
        rows.append({QLatin1StringView(entry.name), QLatin1StringView(command.code()),
                     replyMeaning(command)});
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
