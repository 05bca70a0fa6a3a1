// tavo-pjlink: makes a TAVO RA20 or RB20 on a serial port a PJLink Class 2
// projector on the network: requests over TCP, search answers and status
// notifications over UDP. Headless; logs requests with their serial
// exchange, connection and port events to standard error, floods summarised.

#include "link/port_settings.h"
#include "link/serial_control.h"
#include "link/stop_signals.h"
#include "pjlink/bridge.h"
#include "pjlink/notify_option.h"
#include "pjlink/options.h"
#include "pjlink/projector_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

using namespace tavo::pjlink;

constexpr auto kDefaultDevice = "/dev/ttyS0";
constexpr auto kManufacturer = "TAVO";

struct Options {
    QString device;
    QString portSettings;
    BridgeSettings bridge;
};

void printLine(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stderr);
    std::fflush(stderr);
}

// Prints the problem and gives nothing.
template <typename T> std::optional<T> valueOr(const std::variant<T, QString>& parsed) {
    if (const auto* error = std::get_if<QString>(&parsed)) {
        printLine(QStringLiteral("tavo-pjlink: %1").arg(*error));
        return std::nullopt;
    }
    return std::get<T>(parsed);
}

std::optional<Options> parseOptions(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Makes a TAVO RA20 or RB20 on a serial port a PJLink Class 2 projector on the network.\n"
        "Logs requests with their serial exchange to standard error; floods are summarised."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption device(
        QStringLiteral("device"),
        QStringLiteral("Serial device the projector is on (default: %1).")
            .arg(QLatin1String(kDefaultDevice)),
        QStringLiteral("path"), QLatin1String(kDefaultDevice));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Line speed, 19200 or 9600 (default: 19200)."),
                                  QStringLiteral("rate"), QStringLiteral("19200"));
    const QCommandLineOption listen(
        QStringLiteral("listen"),
        QStringLiteral("Address and port to serve PJLink on: an IPv4 address, or an IPv6 "
                       "address in brackets, then optionally a colon and a port (default: "
                       "127.0.0.1:4352, this machine only; 0.0.0.0:4352 serves every network)."),
        QStringLiteral("address[:port]"), QStringLiteral("127.0.0.1:4352"));
    const QCommandLineOption passwordFile(
        QStringLiteral("password-file"),
        QStringLiteral("Turns PJLink authentication on; the password is the file's first line."),
        QStringLiteral("file"));
    const QCommandLineOption name(QStringLiteral("name"),
                                  QStringLiteral("The projector's PJLink name (default: TAVO "
                                                 "and the model)."),
                                  QStringLiteral("text"));
    const QCommandLineOption model(QStringLiteral("model"),
                                   QStringLiteral("RA20 or RB20 (default: RA20)."),
                                   QStringLiteral("model"), QStringLiteral("RA20"));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"),
        QStringLiteral("Log every request; without it, requests beyond %1 in %2 s (and "
                       "error answers beyond %3) are counted in one line instead.")
            .arg(LogBudget{}.requests)
            .arg(LogBudget{}.interval.count() / 1000)
            .arg(LogBudget{}.others));
    const QCommandLineOption allowReadable(
        QStringLiteral("allow-readable-password"),
        QStringLiteral("Start even when group or others can read the password file."));
    const QCommandLineOption notify(
        QStringLiteral("notify"),
        QStringLiteral("Also send status notifications to this controller, ADDRESS[:PORT] as for "
                       "--listen (port default 4352); may be given more than once."),
        QStringLiteral("address[:port]"));
    const QCommandLineOption pollPeriod(
        QStringLiteral("poll-period"),
        QStringLiteral("Milliseconds between the polls of power, input and mutes that status "
                       "notifications come from; 0 turns them off (default: %1).")
            .arg(kDefaultPollPeriod.count()),
        QStringLiteral("ms"), QString::number(kDefaultPollPeriod.count()));
    parser.addOptions({device, baud, listen, passwordFile, allowReadable, name, model, verbose,
                       notify, pollPeriod});
    // An unknown option is a usage error like a bad value (exit 2), which the
    // service does not restart on; process() would exit 1.
    if (!parser.parse(QCoreApplication::arguments())) {
        printLine(QStringLiteral("tavo-pjlink: %1 (see --help)").arg(parser.errorText()));
        return std::nullopt;
    }
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        printLine(QStringLiteral("tavo-pjlink: unexpected argument \"%1\" (see --help)")
                      .arg(parser.positionalArguments().constFirst()));
        return std::nullopt;
    }

    Options options;
    options.device = parser.value(device);
    options.bridge.log.verbose = parser.isSet(verbose);
    if (parser.value(baud) == QLatin1String("19200"))
        options.portSettings = tavo::link::kSettings19200;
    else if (parser.value(baud) == QLatin1String("9600"))
        options.portSettings = tavo::link::kSettings9600;
    else {
        printLine(QStringLiteral("tavo-pjlink: --baud takes 19200 or 9600, not \"%1\"")
                      .arg(parser.value(baud)));
        return std::nullopt;
    }
    const QString modelName = parser.value(model);
    if (modelName != QLatin1String("RA20") && modelName != QLatin1String("RB20")) {
        printLine(
            QStringLiteral("tavo-pjlink: --model takes RA20 or RB20, not \"%1\"").arg(modelName));
        return std::nullopt;
    }
    const auto address = valueOr(parseListenAddress(parser.value(listen)));
    if (!address)
        return std::nullopt;
    options.bridge.address = address->address;
    options.bridge.port = address->port;
    for (const QString& target : parser.values(notify)) {
        const auto endpoint = valueOr(parseNotifyTarget(target));
        if (!endpoint)
            return std::nullopt;
        if (endpoint->address.isEqual(address->address) && endpoint->port == address->port) {
            printLine(QStringLiteral("tavo-pjlink: --notify %1 is where this bridge listens")
                          .arg(target));
            return std::nullopt;
        }
        options.bridge.udp.notify.append(*endpoint);
    }
    const auto period = valueOr(parsePollPeriod(parser.value(pollPeriod)));
    if (!period)
        return std::nullopt;
    options.bridge.pollPeriod = *period;

    const QString nameText = parser.isSet(name)
                                 ? parser.value(name)
                                 : QLatin1String(kManufacturer) + QLatin1Char(' ') + modelName;
    const auto checkedName = valueOr(checkName(nameText));
    if (!checkedName)
        return std::nullopt;
    options.bridge.identity = Identity{*checkedName, kManufacturer, modelName.toLatin1(),
                                       QByteArrayLiteral("tavo-pjlink " TAVO_VERSION)};

    if (parser.isSet(passwordFile)) {
        const QString path = parser.value(passwordFile);
        const auto password = valueOr(readPasswordFile(path));
        if (!password)
            return std::nullopt;
        options.bridge.password = *password;
        if (const auto exposure = passwordFileExposure(path)) {
            if (!parser.isSet(allowReadable)) {
                printLine(QStringLiteral("tavo-pjlink: %1, or start with "
                                         "--allow-readable-password")
                              .arg(*exposure));
                return std::nullopt;
            }
            printLine(QStringLiteral("warning: %1").arg(*exposure));
        }
    }
    return options;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tavo-pjlink"));
    app.setApplicationVersion(QStringLiteral(TAVO_VERSION));
    const auto options = parseOptions(app);
    if (!options)
        return 2;
    // SIGTERM (a service being stopped), SIGINT and SIGHUP end the event loop
    // instead of the process, so that the serial port is closed and its lock
    // released on the way out. Set up before the start is announced, so that
    // a stop is never missed.
    tavo::link::StopSignals stopSignals;
    QObject::connect(&stopSignals, &tavo::link::StopSignals::stopRequested, &app, [](int signal) {
        printLine(
            QStringLiteral("stopped by %1").arg(QLatin1String(tavo::link::stopSignalName(signal))));
        QCoreApplication::quit();
    });
    if (!stopSignals.isActive())
        printLine(QStringLiteral("warning: SIGTERM, SIGINT and SIGHUP end the program at once; "
                                 "the serial device's lock file may stay behind"));

    ProjectorLine line(std::make_unique<tavo::link::SerialControl>(),
                       ProjectorLine::Settings{options->device, options->portSettings});
    QObject::connect(&line, &ProjectorLine::logLine, &app, printLine);
    Bridge bridge(options->bridge, line);
    QObject::connect(&bridge, &Bridge::logLine, &app, printLine);
    if (!bridge.listen()) {
        printLine(QStringLiteral("tavo-pjlink: cannot listen on %1 port %2: %3")
                      .arg(options->bridge.address.toString())
                      .arg(options->bridge.port)
                      .arg(bridge.errorString()));
        return 1;
    }
    printLine(QStringLiteral("tavo-pjlink %1: PJLink Class 2 on %2 port %3 for the %4 %5 on %6, "
                             "authentication %7")
                  .arg(QStringLiteral(TAVO_VERSION), options->bridge.address.toString())
                  .arg(bridge.serverPort())
                  .arg(QLatin1String(kManufacturer),
                       QString::fromLatin1(options->bridge.identity.product), options->device,
                       options->bridge.password ? QStringLiteral("on") : QStringLiteral("off")));
    line.start();
    return QCoreApplication::exec();
}
