// tavo-ctl: the panel's commands and status queries from a shell or a script,
// through the same exchange, frames, timings and status decoder as the
// window, without one.

#include "commands/controller.h"
#include "invocation.h"
#include "exchange/exchange.h"
#include "link/port_keeper.h"
#include "link/port_settings.h"
#include "link/serial_control.h"
#include "report.h"
#include "runner.h"
#include "script_input.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <memory>

namespace {

using namespace tavo;

void writeLine(std::FILE* stream, const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

void printOut(const QString& line) {
    writeLine(stdout, line);
}
void printErr(const QString& line) {
    writeLine(stderr, line);
}

int usageError(const QString& message) {
    printErr(QStringLiteral("tavo-ctl: %1").arg(message));
    return ctl::exit_status::kUsage;
}

// Fills in the steps of a script run; a usage error's message otherwise.
QString readStandardInput(ctl::Invocation& invocation) {
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly))
        return QStringLiteral("cannot read standard input: %1").arg(input.errorString());
    ctl::Script script = ctl::readScript(input);
    if (!script.ok())
        return script.error;
    if (input.error() != QFileDevice::NoError)
        return QStringLiteral("cannot read standard input: %1").arg(input.errorString());
    if (const QString problem = ctl::checkRun(invocation.options, script.steps); !problem.isEmpty())
        return problem;
    invocation.steps = std::move(script.steps);
    return {};
}

int run(const ctl::Invocation& invocation) {
    const ctl::RunOptions& options = invocation.options;
    for (const ctl::Step& step : invocation.steps) {
        if (const QString note = ctl::typedTextNote(step); !note.isEmpty())
            printErr(note);
    }
    auto serial = std::make_unique<link::SerialControl>();
    link::SerialControl& port = *serial;
    link::PortKeeper keeper(port, {options.device});
    port.setSettings(options.baud == 9600 ? link::kSettings9600 : link::kSettings19200);
    if (!keeper.open()) {
        printErr(keeper.commandLineFailure(QStringLiteral("tavo-ctl")));
        return ctl::exit_status::kPortFailed;
    }
    port.discardInput();

    link::Exchange exchange(std::move(serial));
    commands::Controller controller(exchange);
    ctl::Runner runner(controller, options, printOut, printErr);
    QObject::connect(&runner, &ctl::Runner::finished, &exchange,
                     [](int exitStatus) { QCoreApplication::exit(exitStatus); });
    runner.start(invocation.steps);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavo-ctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVO_VERSION));

    ctl::Invocation invocation = ctl::parseCommandLine(QCoreApplication::arguments());
    switch (invocation.mode) {
    case ctl::Mode::Help:
        std::fputs(invocation.helpText.toUtf8().constData(), stdout);
        return ctl::exit_status::kSuccess;
    case ctl::Mode::Version:
        printOut(QStringLiteral("tavo-ctl %1").arg(QCoreApplication::applicationVersion()));
        return ctl::exit_status::kSuccess;
    case ctl::Mode::List:
        std::fputs(ctl::listText().toUtf8().constData(), stdout);
        return ctl::exit_status::kSuccess;
    case ctl::Mode::Usage:
        return usageError(invocation.error);
    case ctl::Mode::Script:
        if (const QString problem = readStandardInput(invocation); !problem.isEmpty())
            return usageError(problem);
        break;
    case ctl::Mode::Run:
        break;
    }
    return run(invocation);
}
