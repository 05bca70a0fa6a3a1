// tavo-projector-sim: a virtual projector at the other end of the panel's
// serial cable. By default it opens a pseudo-terminal and prints its device
// as the first line ("device: /dev/pts/5"); the panel opens that device.
// Then it logs one line per frame received and what it answered.

#include "link/stop_signals.h"
#include "server.h"
#include "simulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <optional>

namespace {

using namespace tavo::sim;

struct Options {
    QString device; // empty: a fresh pseudo-terminal
    int baud = 19200;
    ProjectorConfig projector;
    Behaviour behaviour;
};

void printLine(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

std::optional<long> milliseconds(const QString& text) {
    bool ok = false;
    const long value = text.toLong(&ok);
    return ok && value >= 0 ? std::optional(value) : std::nullopt;
}

std::optional<Options> parseOptions(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A virtual TAVO RA20/RB20 projector on a pseudo-terminal or a serial device.\n"
        "Prints \"device: PATH\" first, then one line per frame received."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("Serve on this serial device instead of a new "
                                                   "pseudo-terminal."),
                                    QStringLiteral("path"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Line speed, 19200 or 9600 (default 19200); also "
                                                 "paces the replies on a pseudo-terminal."),
                                  QStringLiteral("rate"), QStringLiteral("19200"));
    const QCommandLineOption silent(QStringLiteral("silent"),
                                    QStringLiteral("Act on frames but answer nothing."));
    const QCommandLineOption late(QStringLiteral("late"),
                                  QStringLiteral("Answer every frame this much later."),
                                  QStringLiteral("ms"));
    const QCommandLineOption noise(QStringLiteral("noise"),
                                   QStringLiteral("Send a few random bytes at this interval."),
                                   QStringLiteral("ms"));
    const QCommandLineOption flood(QStringLiteral("flood"),
                                   QStringLiteral("Send an endless stream of unsolicited bytes."));
    const QCommandLineOption countDown(QStringLiteral("countdown"),
                                       QStringLiteral("Count down from power on (default 3000)."),
                                       QStringLiteral("ms"), QStringLiteral("3000"));
    const QCommandLineOption cooling(QStringLiteral("cooling"),
                                     QStringLiteral("Cooling after power off (default 5000)."),
                                     QStringLiteral("ms"), QStringLiteral("5000"));
    parser.addOptions({device, baud, silent, late, noise, flood, countDown, cooling});
    parser.process(app);

    Options options;
    options.device = parser.value(device);
    options.baud = parser.value(baud).toInt();
    options.behaviour.silent = parser.isSet(silent);
    options.behaviour.flood = parser.isSet(flood);
    const auto lateMs = milliseconds(parser.isSet(late) ? parser.value(late) : QStringLiteral("0"));
    const auto noiseMs =
        milliseconds(parser.isSet(noise) ? parser.value(noise) : QStringLiteral("0"));
    const auto countDownMs = milliseconds(parser.value(countDown));
    const auto coolingMs = milliseconds(parser.value(cooling));
    if ((options.baud != 19200 && options.baud != 9600) || !lateMs || !noiseMs || !countDownMs ||
        !coolingMs) {
        std::fputs("tavo-projector-sim: --baud takes 19200 or 9600, the times whole "
                   "milliseconds (see --help)\n",
                   stderr);
        return std::nullopt;
    }
    options.behaviour.late = Millis{*lateMs};
    options.behaviour.noiseEvery = Millis{*noiseMs};
    options.projector.countDown = Millis{*countDownMs};
    options.projector.cooling = Millis{*coolingMs};
    return options;
}

QString knobs(const Options& options) {
    QStringList parts{QStringLiteral("%1 baud").arg(options.baud),
                      QStringLiteral("count down %1 ms").arg(options.projector.countDown.count()),
                      QStringLiteral("cooling %1 ms").arg(options.projector.cooling.count())};
    const Behaviour& b = options.behaviour;
    if (b.silent)
        parts << QStringLiteral("silent");
    if (b.late > Millis{0})
        parts << QStringLiteral("late %1 ms").arg(b.late.count());
    if (b.noiseEvery > Millis{0})
        parts << QStringLiteral("noise every %1 ms").arg(b.noiseEvery.count());
    if (b.flood)
        parts << QStringLiteral("flood \"%1\"").arg(QLatin1String(kFloodPattern));
    return parts.join(QStringLiteral(", "));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tavo-projector-sim"));
    app.setApplicationVersion(QStringLiteral(TAVO_VERSION));
    const auto options = parseOptions(app);
    if (!options)
        return 2;

    // Ready for a stop before anyone can learn the device and want one.
    tavo::link::StopSignals stop;
    QObject::connect(&stop, &tavo::link::StopSignals::stopRequested, &app, [](int signal) {
        printLine(QStringLiteral("stopped by signal %1").arg(signal));
        QCoreApplication::exit(0);
    });

    SerialEnd end = options->device.isEmpty() ? openPseudoTerminal()
                                              : openSerialDevice(options->device, options->baud);
    if (!end.isOpen()) {
        std::fprintf(stderr, "tavo-projector-sim: %s\n", qPrintable(end.error));
        return 1;
    }
    printLine(QStringLiteral("device: %1").arg(end.devicePath));
    printLine(QStringLiteral("projector in standby; %1").arg(knobs(*options)));

    Server server(std::move(end), Simulator(options->projector, options->behaviour, options->baud));
    QObject::connect(&server, &Server::logLine, &app, printLine);
    QObject::connect(&server, &Server::failed, &app, [](const QString& reason) {
        printLine(QStringLiteral("stopped: %1").arg(reason));
        QCoreApplication::exit(1);
    });
    return app.exec();
}
