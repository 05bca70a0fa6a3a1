// tavo-control: the control panel for the TAVO RA20 and RB20 projectors.
#include "link/serial_control.h"
#include "link/stop_signals.h"
#include "panel/form1.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

constexpr auto kNeedsDisplay =
    "tavo-control needs a graphical display; none was found (DISPLAY and WAYLAND_DISPLAY "
    "are unset). On a machine without one, run it under a virtual display: "
    "xvfb-run tavo-control\n";

struct Devices {
    QString com1;
    QString com2;
};

void setNames() {
    QCoreApplication::setApplicationName(QStringLiteral("tavo-control"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TAVO_VERSION));
}

// The command line is read before any window system is touched, so --help and
// --version work anywhere, a server reached over SSH included. Exits for
// --help, --version and usage errors.
Devices readCommandLine(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    setNames();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control panel for the TAVO RA20 and RB20 projectors over RS-232C."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption com1({QStringLiteral("com1")},
                                  QStringLiteral("Serial device used as COM1 (default: %1).")
                                      .arg(tavo::link::kDefaultCom1Device),
                                  QStringLiteral("device"), tavo::link::kDefaultCom1Device);
    const QCommandLineOption com2({QStringLiteral("com2")},
                                  QStringLiteral("Serial device used as COM2 (default: %1).")
                                      .arg(tavo::link::kDefaultCom2Device),
                                  QStringLiteral("device"), tavo::link::kDefaultCom2Device);
    parser.addOption(com1);
    parser.addOption(com2);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        parser.showHelp(2);
    return {parser.value(com1), parser.value(com2)};
}

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
bool displayNamed() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true; // offscreen, vnc, eglfs...: the platform needs no display variable
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
#else
bool displayNamed() {
    return true;
}
#endif

// Qt's messages while it connects to the display, held back until it has.
QStringList& startMessages() {
    static QStringList messages;
    return messages;
}

// A display that is named but cannot be reached ends in Qt's fatal message
// about the platform plugin: say it in one line, instead of Qt's three, and
// leave without a core dump.
void onStartMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fputs("tavo-control cannot open its window: the display cannot be reached. "
                   "Check DISPLAY, or run it under a virtual display: xvfb-run tavo-control\n",
                   stderr);
        std::fflush(stderr);
        _exit(1);
    }
    startMessages().append(message);
}

} // namespace

int main(int argc, char* argv[]) {
    const Devices devices = readCommandLine(argc, argv);
    if (!displayNamed()) {
        std::fputs(kNeedsDisplay, stderr);
        return 1;
    }
    const QtMessageHandler previous = qInstallMessageHandler(onStartMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(previous);
    for (const QString& message : startMessages())
        qWarning("%s", qPrintable(message));
    setNames();

    int stopSignal = 0;
    int exitCode = 0;
    {
        // Ready before the port opens, so no stop request can leave its lock file behind.
        tavo::link::StopSignals stop;
        tavo::panel::Form1 form(std::make_unique<tavo::link::SerialControl>(),
                                {devices.com1, devices.com2});
        QObject::connect(&stop, &tavo::link::StopSignals::stopRequested, &app, [&](int signal) {
            stopSignal = signal;
            form.serialPort().close();
            std::fprintf(stderr, "tavo-control: stopped by %s; the port is closed.\n",
                         tavo::link::stopSignalName(signal));
            QCoreApplication::exit(0);
        });
        form.load();
        form.show();
        exitCode = QApplication::exec();
    }
    if (stopSignal != 0) {
        // Ends as the signal would have ended it, now that the port is closed,
        // so that a shell or a service manager sees why.
        std::signal(stopSignal, SIG_DFL);
        std::raise(stopSignal);
    }
    return exitCode;
}
