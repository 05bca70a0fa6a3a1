#include "invocation.h"

#include "exchange/frame.h"
#include "link/serial_control.h"
#include "report.h"

#include <QCommandLineParser>
#include <QLatin1StringView>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tavo::ctl {

namespace {

constexpr auto kDescription =
    "Sends the TAVO RA20/RB20 panel's commands and status queries over RS-232C, by name.\n"
    "A query prints its reading in words (or --value, --json); a command prints nothing\n"
    "when acknowledged. Messages and failures go to standard error.";

constexpr auto kEpilogue = R"(
Commands:
  Several commands run in order: tavo-ctl power on input pc1
  tavo-ctl --list prints every name, its code and what its reply means.
  send TEXT sends typed text as the panel's SEND does: tavo-ctl send "CR PROJH"
  - reads the commands from standard input line by line as they come; "#"
    starts a comment anywhere but in send's text, which takes the rest of its
    line (so send CR# sends a "#").
  check is a monitoring check: see the README.
  The run stops at the first command that does not succeed.

Waiting:
  tavo-ctl power on --until on,standby --timeout 90s sends, then asks status
  every --every (2s) until its value is one of those (case ignored), for at
  most --timeout (90s); times are 500ms, 90s, 1.5s or plain milliseconds.

Device:
  --device, else $TAVO_DEVICE, else /dev/ttyS0.

Exit status:
)";

const QString kCheckWord = QStringLiteral("check");

QCommandLineOption hidden(const QString& name, const QString& description) {
    QCommandLineOption option(name, description);
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
}

struct Options {
    QCommandLineOption device{
        {QStringLiteral("d"), QStringLiteral("device")},
        QStringLiteral("Serial device (default: $%1, else %2).")
            .arg(QLatin1StringView(kDeviceVariable), link::kDefaultCom1Device),
        QStringLiteral("path")};
    QCommandLineOption baud{{QStringLiteral("b"), QStringLiteral("baud")},
                            QStringLiteral("Line speed, 19200 or 9600 (default: 19200)."),
                            QStringLiteral("rate"),
                            QStringLiteral("19200")};
    QCommandLineOption replyTimeout{
        {QStringLiteral("r"), QStringLiteral("reply-timeout")},
        QStringLiteral("How long to wait for each reply (default: 2s, 5s for terminal setups)."),
        QStringLiteral("time")};
    QCommandLineOption timeout{{QStringLiteral("t"), QStringLiteral("timeout")},
                               QStringLiteral("Deadline of the whole run (default: none; with "
                                              "--until 90s)."),
                               QStringLiteral("time")};
    QCommandLineOption until{{QStringLiteral("u"), QStringLiteral("until")},
                             QStringLiteral("Ask the last query (or status, after commands) until "
                                            "its value is one of these, separated by commas."),
                             QStringLiteral("values")};
    QCommandLineOption every{{QStringLiteral("e"), QStringLiteral("every")},
                             QStringLiteral("With --until: ask this often (default: 2s)."),
                             QStringLiteral("time")};
    QCommandLineOption repeat{{QStringLiteral("n"), QStringLiteral("repeat")},
                              QStringLiteral("Send each hold key's frame this many times, at the "
                                             "key's own repeat period (default: 1)."),
                              QStringLiteral("count")};
    QCommandLineOption wait{QStringLiteral("wait"),
                            QStringLiteral("Wait this many seconds for a port in use by another "
                                           "program (default: 0, fail at once)."),
                            QStringLiteral("seconds")};
    QCommandLineOption quiet{{QStringLiteral("q"), QStringLiteral("quiet")},
                             QStringLiteral("Print nothing on success.")};
    QCommandLineOption value{QStringLiteral("value"),
                             QStringLiteral("Print the bare value: on, 1234, 25.0 26.5 27.0.")};
    QCommandLineOption json{{QStringLiteral("j"), QStringLiteral("json")},
                            QStringLiteral("Print one JSON object per frame and per failure.")};
    QCommandLineOption trace{QStringLiteral("trace"),
                             QStringLiteral("Print the sent and received traces (TXD, RXD).")};
    QCommandLineOption verbose{QStringLiteral("verbose"),
                               QStringLiteral("Also print acknowledgements and, with --until, "
                                              "every reading.")};
    QCommandLineOption warning{{QStringLiteral("w"), QStringLiteral("warning")},
                               QStringLiteral("check: WARNING ranges for lamp hours and the "
                                              "hottest temperature, e.g. 1800,45."),
                               QStringLiteral("hours,celsius")};
    QCommandLineOption critical{{QStringLiteral("c"), QStringLiteral("critical")},
                                QStringLiteral("check: CRITICAL ranges, e.g. 2000,50."),
                                QStringLiteral("hours,celsius")};
    QCommandLineOption completion =
        hidden(QStringLiteral("bash-completion"), QStringLiteral("Print the bash completion."));
    QCommandLineOption list{{QStringLiteral("l"), QStringLiteral("list")},
                            QStringLiteral("Print every command name, its code and its reply.")};
};

QString helpTextOf(const QCommandLineParser& parser) {
    return parser.helpText() + QLatin1StringView(kEpilogue) + exitStatusText();
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

QByteArray frameCode(const Step& step) {
    if (step.isTyped())
        return link::textToBytes(step.typedText);
    const std::string_view code = step.command.code();
    return QByteArray(code.data(), qsizetype(code.size()));
}

// The names of the queries with coded replies, which --until can wait for.
QString codedQueryNames() {
    QStringList names;
    for (const commands::CommandName& entry : commands::commandNames()) {
        const status::ReadQuery* query = status::readQueryOf(commands::commandFor(entry).code());
        if (query && query->form == status::Form::Code)
            names.append(QLatin1StringView(entry.name));
    }
    return names.join(QStringLiteral(", "));
}

const commands::CommandName& statusEntry() {
    const auto entries = commands::commandNames();
    return *std::find_if(entries.begin(), entries.end(),
                         [](const auto& entry) { return entry.name == "status"; });
}

std::optional<milliseconds> durationOption(const QCommandLineParser& parser,
                                           const QCommandLineOption& option, QString& problem) {
    if (!parser.isSet(option))
        return std::nullopt;
    const auto duration = parseDuration(parser.value(option));
    if (!duration)
        problem = durationProblem(option.names().back(), parser.value(option));
    return duration;
}

QString readRunOptions(const QCommandLineParser& parser, const Options& options, RunOptions& run) {
    run.device = parser.value(options.device);
    if (run.device.isEmpty() && !parser.isSet(options.device))
        run.device = qEnvironmentVariable(kDeviceVariable);
    if (run.device.isEmpty() && !parser.isSet(options.device)) {
        run.device = link::kDefaultCom1Device;
        run.deviceDefaulted = true;
    }
    if (run.device.isEmpty())
        return QStringLiteral("--device needs the path of a serial device");
    const QString baud = parser.value(options.baud);
    if (baud != QLatin1StringView("19200") && baud != QLatin1StringView("9600"))
        return QStringLiteral("--baud takes 19200 or 9600, not \"%1\"").arg(baud);
    run.baud = baud.toInt();
    QString problem;
    run.replyTimeout = durationOption(parser, options.replyTimeout, problem);
    run.timeout = durationOption(parser, options.timeout, problem);
    if (const auto every = durationOption(parser, options.every, problem))
        run.every = *every;
    if (!problem.isEmpty())
        return problem;
    if (parser.isSet(options.until)) {
        for (const QString& value : parser.value(options.until).split(QLatin1Char(',')))
            run.until.append(value.trimmed().toLower());
    }
    if (parser.isSet(options.every) && run.until.isEmpty())
        return QStringLiteral("--every needs --until");
    if (parser.isSet(options.repeat)) {
        bool ok = false;
        run.repeat = parser.value(options.repeat).toInt(&ok);
        if (!ok || run.repeat < 1 || run.repeat > kMostRepeats)
            return QStringLiteral("--repeat takes a whole number from 1 to %1, not \"%2\"")
                .arg(kMostRepeats)
                .arg(parser.value(options.repeat));
    }
    if (parser.isSet(options.wait)) {
        bool ok = false;
        const double seconds = parser.value(options.wait).toDouble(&ok);
        if (!ok || seconds < 0 || seconds > kLongestDuration.count() / 1000)
            return QStringLiteral("--wait takes seconds from 0 to a day, not \"%1\"")
                .arg(parser.value(options.wait));
        run.wait = milliseconds(std::llround(seconds * 1000));
    }
    const std::pair<const QCommandLineOption*, OutputForm> forms[] = {
        {&options.quiet, OutputForm::Quiet},
        {&options.value, OutputForm::Value},
        {&options.json, OutputForm::Json},
        {&options.trace, OutputForm::Trace},
    };
    int chosen = 0;
    for (const auto& [option, form] : forms) {
        if (parser.isSet(*option)) {
            run.output = form;
            ++chosen;
        }
    }
    if (chosen > 1)
        return QStringLiteral("choose one of --quiet, --value, --json and --trace");
    run.verbose = parser.isSet(options.verbose);
    return {};
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

const status::ReadQuery* readQueryOf(const Step& step) {
    return status::readQueryOf(frameCode(step));
}

bool isCodedQuery(const Step& step) {
    const status::ReadQuery* query = readQueryOf(step);
    return query && query->form == status::Form::Code;
}

Step untilStep(const QList<Step>& steps) {
    if (!steps.isEmpty() && isCodedQuery(steps.back()))
        return steps.back();
    return Step{commands::commandFor(statusEntry()), {}};
}

QList<Step> checkSteps() {
    QList<Step> steps;
    for (const status::Quantity quantity : kCheckedQuantities) {
        const std::string_view code = status::readQueryOf(quantity).code;
        for (const commands::CommandName& entry : commands::commandNames()) {
            if (commands::commandFor(entry).code() == code)
                steps.append(Step{commands::commandFor(entry), {}});
        }
    }
    return steps;
}

milliseconds replyTimeoutOf(const Step& step) {
    // The projector acts before it answers: a power switch was seen taking
    // 800 ms, a terminal setup takes longer; the replies themselves take
    // at most 20 ms at 9600 baud.
    constexpr milliseconds kReplyTimeout{2000};
    constexpr milliseconds kTerminalSetupTimeout{5000};
    if (step.command.sender && step.command.sender->timing == commands::TimingClass::TerminalSetup)
        return kTerminalSetupTimeout;
    return kReplyTimeout;
}

QString checkRun(const RunOptions& options, const QList<Step>& steps) {
    if (steps.isEmpty())
        return QStringLiteral("no command given; tavo-ctl --list shows the names");
    if (!options.until.isEmpty()) {
        const Step polled = untilStep(steps);
        if (!isCodedQuery(steps.back()) && readQueryOf(steps.back()))
            return QStringLiteral("--until waits for a query with coded replies: %1")
                .arg(codedQueryNames());
        const QStringList possible = status::possibleValues(*readQueryOf(polled));
        for (const QString& value : options.until) {
            if (!possible.contains(value))
                return QStringLiteral("--until: %1 never reads \"%2\"; it reads %3")
                    .arg(polled.name(), value, possible.join(QStringLiteral(", ")));
        }
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
    parser.addOptions({options.device, options.baud, options.replyTimeout, options.timeout,
                       options.until, options.every, options.repeat, options.wait, options.quiet,
                       options.value, options.json, options.trace, options.verbose, options.warning,
                       options.critical, options.completion, options.list});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("Command names, \"send TEXT\", or - for standard "
                                                "input."),
                                 QStringLiteral("[command...|-]"));
    if (!parser.parse(arguments)) {
        Invocation invocation =
            usage(parser.errorText() + QStringLiteral(" (see tavo-ctl --help)"));
        if (arguments.contains(QStringLiteral("--json")) ||
            arguments.contains(QStringLiteral("-j")))
            invocation.options.output = OutputForm::Json;
        return invocation;
    }

    Invocation invocation;
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        invocation.mode = Mode::Help;
        invocation.helpText = helpTextOf(parser);
        return invocation;
    }
    if (parser.isSet(version)) {
        invocation.mode = Mode::Version;
        return invocation;
    }
    const QStringList words = parser.positionalArguments();
    if (parser.isSet(options.completion)) {
        invocation.mode = Mode::Completion;
        return invocation;
    }
    if (parser.isSet(options.list)) {
        if (!words.isEmpty())
            return usage(QStringLiteral("--list takes no command"));
        invocation.mode = Mode::List;
        return invocation;
    }

    RunOptions& run = invocation.options;
    if (const QString problem = readRunOptions(parser, options, run); !problem.isEmpty()) {
        invocation.mode = Mode::Usage;
        invocation.error = problem;
        return invocation;
    }
    const bool checking = words.value(0).compare(kCheckWord, Qt::CaseInsensitive) == 0;
    if (checking) {
        if (words.size() != 1)
            return usage(QStringLiteral("check takes no command"));
        QString problem;
        const auto thresholds =
            parseThresholds(parser.value(options.warning), parser.value(options.critical), problem);
        if (!thresholds)
            return usage(problem);
        invocation.mode = Mode::Check;
        invocation.thresholds = *thresholds;
        invocation.steps = checkSteps();
        return invocation;
    }
    if (parser.isSet(options.warning) || parser.isSet(options.critical))
        return usage(QStringLiteral("--warning and --critical belong to check"));
    if (words == QStringList{QStringLiteral("-")}) {
        if (!run.until.isEmpty())
            return usage(QStringLiteral("--until waits after commands given as arguments, not "
                                        "after a script"));
        invocation.mode = Mode::Script;
        return invocation;
    }
    ParsedSteps parsed = parseArguments(words);
    if (!parsed.ok())
        invocation.error = parsed.error;
    else
        invocation.error = checkRun(run, parsed.steps);
    if (!invocation.error.isEmpty()) {
        invocation.mode = Mode::Usage;
        return invocation;
    }
    invocation.mode = Mode::Run;
    invocation.steps = std::move(parsed.steps);
    return invocation;
}

} // namespace tavo::ctl
