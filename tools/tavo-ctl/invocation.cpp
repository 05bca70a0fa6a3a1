#include "invocation.h"

#include "exchange/frame.h"
#include "link/serial_control.h"
#include "status/tables.h"

#include <QCommandLineParser>
#include <QLatin1StringView>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace tavo::ctl {

namespace {

constexpr auto kDescription =
    "Sends the TAVO RA20/RB20 panel's commands and status queries over RS-232C, by name,\n"
    "and prints each reply on one line: the decoded status text, or the received trace.";

constexpr auto kEpilogue = R"(
Commands:
  Several commands run in order: tavo-ctl power on input pc1
  tavo-ctl --list prints every name, its code and what its reply means.
  send TEXT sends typed text as the panel's SEND does: tavo-ctl send "CR PROJH"
  - reads the commands from standard input, one or more a line; "#" starts a
    comment line, and send takes the rest of its line.
  The run stops at the first command that does not succeed.

Waiting:
  tavo-ctl status --until "Power ON" --timeout 90s asks every --every (2 s) until
  the decoded text is "Power ON", for at most --timeout (90 s); times are 500ms,
  90s, 1.5s or plain milliseconds.

Exit status:
  0 a reply came (for a command: it was acknowledged), 1 the projector refused it
  (NAK) or answered a command otherwise, 2 usage error, 3 no (whole) reply in time
  or --until timed out, 4 the port could not be opened, failed or was lost.
)";

struct Options {
    QCommandLineOption device{
        QStringLiteral("device"),
        QStringLiteral("Serial device (default: %1).").arg(link::kDefaultCom1Device),
        QStringLiteral("path"), link::kDefaultCom1Device};
    QCommandLineOption baud{QStringLiteral("baud"),
                            QStringLiteral("Line speed, 19200 or 9600 (default: 19200)."),
                            QStringLiteral("rate"), QStringLiteral("19200")};
    QCommandLineOption timeout{
        QStringLiteral("timeout"),
        QStringLiteral("Reply timeout of every frame, instead of the panel's for the command; "
                       "with --until, how long to keep asking (default: 90s)."),
        QStringLiteral("time")};
    QCommandLineOption until{QStringLiteral("until"),
                             QStringLiteral("Repeat the status query until its decoded text is "
                                            "this text (blanks at either end ignored)."),
                             QStringLiteral("text")};
    QCommandLineOption every{QStringLiteral("every"),
                             QStringLiteral("With --until: ask this often (default: 2s)."),
                             QStringLiteral("time")};
    QCommandLineOption repeat{QStringLiteral("repeat"),
                              QStringLiteral("Send each hold key's frame this many times, at the "
                                             "key's own repeat period (default: 1)."),
                              QStringLiteral("count")};
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("Print one JSON object per frame instead of a line.")};
    QCommandLineOption trace{QStringLiteral("trace"),
                             QStringLiteral("Print the sent and received traces (TXD, RXD) too.")};
    QCommandLineOption list{QStringLiteral("list"),
                            QStringLiteral("Print every command name, its code and its reply.")};
};

QString helpTextOf(const QCommandLineParser& parser) {
    return parser.helpText() + QLatin1StringView(kEpilogue);
}

Invocation usage(QString message) {
    Invocation invocation;
    invocation.mode = Mode::Usage;
    invocation.error = std::move(message);
    return invocation;
}

QString durationProblem(const QString& option, const QString& value) {
    return QStringLiteral("--%1 takes a time such as 500ms, 90s or 2000 (milliseconds, at most a "
                          "day), not \"%2\"")
        .arg(option, value);
}

QLatin1StringView latin1(std::string_view text) {
    return QLatin1StringView(text.data(), qsizetype(text.size()));
}

QByteArray frameCode(const Step& step) {
    if (step.isTyped())
        return link::textToBytes(step.typedText);
    const std::string_view code = step.command.code();
    return QByteArray(code.data(), qsizetype(code.size()));
}

// What --until accepts, from the tables: the names of decoded queries and the
// codes of the rest.
QString decodedQueryChoices() {
    QStringList names;
    QStringList codes;
    for (const status::StatusQuery& query : status::statusQueries()) {
        const auto entries = commands::commandNames();
        const auto named = std::find_if(entries.begin(), entries.end(), [&](const auto& entry) {
            return commands::commandFor(entry).sender && commands::commandFor(entry).code() == query.code;
        });
        if (named != entries.end())
            names.append(latin1(named->name));
        else
            codes.append(QStringLiteral("send \"%1\"").arg(latin1(query.code)));
    }
    return (names + codes).join(QStringLiteral(", "));
}

} // namespace

std::optional<milliseconds> parseDuration(QStringView text) {
    static const QRegularExpression pattern(
        QStringLiteral("^(?:(\\d{1,9})(?:ms)?|(\\d{1,6}(?:\\.\\d{1,3})?)s)$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const milliseconds value =
        match.hasCaptured(1)
            ? milliseconds(match.capturedView(1).toLongLong())
            : milliseconds(std::llround(match.capturedView(2).toDouble() * 1000.0));
    if (value <= milliseconds(0) || value > kLongestDuration)
        return std::nullopt;
    return value;
}

bool isDecodedQuery(const Step& step) {
    const QByteArray code = frameCode(step);
    const auto queries = status::statusQueries();
    return std::any_of(queries.begin(), queries.end(), [&](const status::StatusQuery& query) {
        return latin1(query.code) == code;
    });
}

QString checkRun(const RunOptions& options, const QList<Step>& steps) {
    if (steps.isEmpty())
        return QStringLiteral("no command given; tavo-ctl --list shows the names");
    if (options.until) {
        if (options.until->trimmed().isEmpty())
            return QStringLiteral("--until needs the text to wait for");
        if (steps.size() != 1 || !isDecodedQuery(steps.front()))
            return QStringLiteral("--until waits for one status query whose reply is decoded: %1")
                .arg(decodedQueryChoices());
    }
    const bool anyHoldKey =
        std::any_of(steps.begin(), steps.end(), [](const Step& step) { return step.isHoldKey(); });
    if (options.repeat != 1 && !anyHoldKey)
        return QStringLiteral(
            "--repeat applies to hold keys (vol +, zoom -, up, ...); none is named");
    return {};
}

Invocation parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1StringView(kDescription));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const Options options;
    parser.addOptions({options.device, options.baud, options.timeout, options.until, options.every,
                       options.repeat, options.json, options.trace, options.list});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("Command names, \"send TEXT\", or - for standard "
                                                "input."),
                                 QStringLiteral("[command...|-]"));
    if (!parser.parse(arguments))
        return usage(parser.errorText() + QStringLiteral(" (see tavo-ctl --help)"));

    Invocation invocation;
    if (parser.isSet(help)) {
        invocation.mode = Mode::Help;
        invocation.helpText = helpTextOf(parser);
        return invocation;
    }
    if (parser.isSet(version)) {
        invocation.mode = Mode::Version;
        return invocation;
    }
    const QStringList words = parser.positionalArguments();
    if (parser.isSet(options.list)) {
        if (!words.isEmpty())
            return usage(QStringLiteral("--list takes no command"));
        invocation.mode = Mode::List;
        return invocation;
    }

    RunOptions& run = invocation.options;
    run.device = parser.value(options.device);
    if (run.device.isEmpty())
        return usage(QStringLiteral("--device needs the path of a serial device"));
    const QString baud = parser.value(options.baud);
    if (baud != QLatin1StringView("19200") && baud != QLatin1StringView("9600"))
        return usage(QStringLiteral("--baud takes 19200 or 9600, not \"%1\"").arg(baud));
    run.baud = baud.toInt();
    if (parser.isSet(options.timeout)) {
        run.timeout = parseDuration(parser.value(options.timeout));
        if (!run.timeout)
            return usage(durationProblem(QStringLiteral("timeout"), parser.value(options.timeout)));
    }
    if (parser.isSet(options.until))
        run.until = parser.value(options.until);
    if (parser.isSet(options.every)) {
        if (!run.until)
            return usage(QStringLiteral("--every needs --until"));
        const auto every = parseDuration(parser.value(options.every));
        if (!every)
            return usage(durationProblem(QStringLiteral("every"), parser.value(options.every)));
        run.every = *every;
    }
    if (parser.isSet(options.repeat)) {
        bool ok = false;
        run.repeat = parser.value(options.repeat).toInt(&ok);
        if (!ok || run.repeat < 1 || run.repeat > kMostRepeats)
            return usage(QStringLiteral("--repeat takes a whole number from 1 to %1, not \"%2\"")
                             .arg(kMostRepeats)
                             .arg(parser.value(options.repeat)));
    }
    run.json = parser.isSet(options.json);
    run.trace = parser.isSet(options.trace);
    if (run.json && run.trace)
        return usage(QStringLiteral("--json already holds both traces; leave out --trace"));

    if (words == QStringList{QStringLiteral("-")}) {
        invocation.mode = Mode::Script;
        return invocation;
    }
    ParsedSteps parsed = parseArguments(words);
    if (!parsed.ok())
        return usage(parsed.error);
    if (const QString problem = checkRun(run, parsed.steps); !problem.isEmpty())
        return usage(problem);
    invocation.mode = Mode::Run;
    invocation.steps = std::move(parsed.steps);
    return invocation;
}

} // namespace tavo::ctl
