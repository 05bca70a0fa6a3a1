// tavo-ctl: the panel's commands and status queries from a shell or a script,
// through the same exchange, frames, timings and status decoder as the
// window, without one.

#include "check.h"
#include "commands/controller.h"
#include "completion.h"
#include "exchange/exchange.h"
#include "invocation.h"
#include "link/port_keeper.h"
#include "link/port_settings.h"
#include "link/serial_control.h"
#include "link/stop_signals.h"
#include "report.h"
#include "runner.h"
#include "script_input.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include <unistd.h>

namespace {

using namespace tavo;

// The exit status the run ends with: the first reason to end wins, so a
// failure found while the run winds down is not overwritten by its end.
std::optional<int> endStatus;

void endWith(int status) {
    if (endStatus)
        return;
    endStatus = status;
    QCoreApplication::exit(status);
}

bool writeText(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    const bool written = std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream) ==
                         std::size_t(bytes.size());
    return std::fflush(stream) == 0 && written;
}

bool writeLine(std::FILE* stream, const QString& line) {
    return writeText(stream, line + QLatin1Char('\n'));
}

void printErr(const QString& line) {
    writeLine(stderr, line);
}

void cannotWriteStandardOutput() {
    printErr(QStringLiteral("tavo-ctl: cannot write standard output: %1")
                 .arg(QString::fromLocal8Bit(std::strerror(errno))));
}

void stoppedBy(int signal) {
    if (endStatus)
        return;
    printErr(QStringLiteral("tavo-ctl: stopped by %1")
                 .arg(QLatin1StringView(link::stopSignalName(signal))));
    endWith(ctl::exit_status::kSignalBase + signal);
}

// A reader that went away (| head -1) ends the run as SIGPIPE would; any
// other failure to write is an error of its own.
void printOut(const QString& line) {
    if (writeLine(stdout, line) || endStatus)
        return;
    if (errno == EPIPE) {
        stoppedBy(SIGPIPE);
        return;
    }
    cannotWriteStandardOutput();
    endWith(ctl::exit_status::kRefused);
}

// Prints text that needs no device; exit status 1 when it cannot be written.
int printInformation(const QString& text) {
    if (writeText(stdout, text))
        return ctl::exit_status::kSuccess;
    cannotWriteStandardOutput();
    return ctl::exit_status::kRefused;
}

// tavo-ctl check answers every failure with one UNKNOWN status line.
bool checking = false;

int checkUnknown(const QString& message) {
    printOut(ctl::unknown(message).line);
    return endStatus.value_or(ctl::check_status::kUnknown);
}

// A failure before any frame: on standard error, and as a JSON record.
int failBeforeRun(const ctl::RunOptions& options, const QString& outcome, int status,
                  const QString& message) {
    printErr(QStringLiteral("tavo-ctl: %1").arg(message));
    if (checking)
        return checkUnknown(message);
    if (options.output == ctl::OutputForm::Json)
        printOut(QString::fromUtf8(ctl::jsonFailure(outcome, status, options.device, message)));
    return endStatus.value_or(status);
}

int usageError(const ctl::RunOptions& options, const QString& message) {
    return failBeforeRun(options, QStringLiteral("usage"), ctl::exit_status::kUsage, message);
}

// Standard input read as it comes, each whole line's steps handed to the
// run at once; a bad line ends the run (exit status 2) after what went
// before it.
class ScriptFeed {
public:
    explicit ScriptFeed(ctl::Runner& runner)
        : runner_(runner), notifier_(STDIN_FILENO, QSocketNotifier::Read) {
        QObject::connect(&notifier_, &QSocketNotifier::activated, &notifier_,
                         [this] { readSome(); });
    }

private:
    void readSome() {
        constexpr std::size_t kPieceBytes = 64 * 1024;
        QByteArray piece(qsizetype(kPieceBytes), Qt::Uninitialized);
        const ssize_t count = ::read(STDIN_FILENO, piece.data(), kPieceBytes);
        if (count < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (count < 0) {
            end(QStringLiteral("cannot read standard input: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
            return;
        }
        const QList<ctl::Step> steps =
            count == 0 ? parser_.finish() : parser_.feed(piece.first(qsizetype(count)));
        for (const ctl::Step& step : steps) {
            if (const QString note = ctl::typedTextNote(step); !note.isEmpty())
                printErr(note);
        }
        runner_.append(steps);
        if (!parser_.error().isEmpty())
            end(parser_.error());
        else if (count == 0)
            end({});
    }

    void end(const QString& problem) {
        notifier_.setEnabled(false);
        if (problem.isEmpty())
            runner_.endSteps();
        else
            runner_.abort(ctl::exit_status::kUsage, QStringLiteral("tavo-ctl: %1").arg(problem),
                          QStringLiteral("usage"));
    }

    ctl::Runner& runner_;
    ctl::ScriptParser parser_;
    QSocketNotifier notifier_;
};

// Opens the port; while another program holds it, tries again until --wait
// runs out, a stop signal coming through all the while.
bool openPort(link::PortKeeper& keeper, const link::SerialControl& port,
              const ctl::RunOptions& options) {
    constexpr std::chrono::milliseconds kRetryEvery{200};
    const QDeadlineTimer waitEnd(options.wait.value_or(std::chrono::milliseconds(0)));
    while (!keeper.open()) {
        if (!port.openFailedBusy() || waitEnd.hasExpired())
            return false;
        QEventLoop pause;
        QTimer::singleShot(std::min(kRetryEvery, std::chrono::ceil<std::chrono::milliseconds>(
                                                     waitEnd.remainingTimeAsDuration())),
                           &pause, &QEventLoop::quit);
        pause.exec();
        if (endStatus)
            return false;
    }
    return true;
}

int run(const ctl::Invocation& invocation) {
    const ctl::RunOptions& options = invocation.options;
    // Ready before the port opens, so that no stop leaves it locked.
    link::StopSignals stopSignals(nullptr, link::StopSet::WithQuitAndPipe);
    QObject::connect(&stopSignals, &link::StopSignals::stopRequested, &stopSignals, stoppedBy);
    for (const ctl::Step& step : invocation.steps) {
        if (const QString note = ctl::typedTextNote(step); !note.isEmpty())
            printErr(note);
    }
    auto serial = std::make_unique<link::SerialControl>();
    link::SerialControl& port = *serial;
    link::PortKeeper keeper(port, {options.device});
    port.setSettings(options.baud == 9600 ? link::kSettings9600 : link::kSettings19200);
    if (!openPort(keeper, port, options)) {
        if (endStatus)
            return *endStatus;
        const QString defaulted =
            options.deviceDefaulted
                ? QStringLiteral(" (the default device; give --device or set %1)")
                      .arg(QLatin1StringView(ctl::kDeviceVariable))
                : QString();
        const bool busy = port.openFailedBusy();
        return failBeforeRun(options, busy ? QStringLiteral("busy") : QStringLiteral("port-failed"),
                             busy ? ctl::exit_status::kBusy : ctl::exit_status::kPortFailed,
                             QStringLiteral("cannot open %1%2: %3")
                                 .arg(options.device, defaulted, port.errorDescription()));
    }
    port.discardInput();

    link::Exchange exchange(std::move(serial));
    commands::Controller controller(exchange);
    QList<status::Reading> readings;
    ctl::Runner runner(controller, options, printOut, printErr);
    if (!checking) {
        QObject::connect(&runner, &ctl::Runner::finished, &exchange, endWith);
    } else {
        QObject::connect(&runner, &ctl::Runner::judged, &exchange,
                         [&readings](const ctl::Judgement& judgement) {
                             if (judgement.reading)
                                 readings.append(*judgement.reading);
                         });
        QObject::connect(&runner, &ctl::Runner::finished, &exchange, [&](int status) {
            if (status != ctl::exit_status::kSuccess) {
                endWith(
                    checkUnknown(QString(runner.failure()).remove(QStringLiteral("tavo-ctl: "))));
                return;
            }
            const ctl::CheckResult result = ctl::evaluate(readings, invocation.thresholds);
            printOut(result.line);
            endWith(result.status);
        });
    }
    const bool script = invocation.mode == ctl::Mode::Script;
    runner.start(invocation.steps, script);
    std::optional<ScriptFeed> feed;
    if (script)
        feed.emplace(runner);
    const int status = QCoreApplication::exec();
    return endStatus.value_or(status);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavo-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVO_VERSION));

    ctl::Invocation invocation = ctl::parseCommandLine(QCoreApplication::arguments());
    switch (invocation.mode) {
    case ctl::Mode::Help:
        return printInformation(invocation.helpText);
    case ctl::Mode::Version:
        return printInformation(
            QStringLiteral("tavo-ctl %1\n").arg(QCoreApplication::applicationVersion()));
    case ctl::Mode::List:
        return printInformation(ctl::listText());
    case ctl::Mode::Completion:
        return printInformation(ctl::bashCompletion());
    case ctl::Mode::Usage:
        checking =
            QCoreApplication::arguments().contains(QStringLiteral("check"), Qt::CaseInsensitive);
        return usageError(invocation.options, invocation.error);
    case ctl::Mode::Check:
        checking = true;
        invocation.options.output = ctl::OutputForm::Quiet;
        break;
    case ctl::Mode::Script:
    case ctl::Mode::Run:
        break;
    }
    return run(invocation);
}
