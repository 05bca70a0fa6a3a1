// tavo-soak: the soak run (see soak_run.h). make soak runs it for
// SOAK_SECONDS; exits 0 when every check held, 1 on any violation, 2 when
// it could not start.

#include "soak_run.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("tavo-soak"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Drives the exchange against the virtual projector with random presses, holds, typed "
        "frames, port and speed switches and device losses; prints a memory curve and a verdict."));
    parser.addHelpOption();
    const QCommandLineOption seconds(QStringLiteral("seconds"),
                                     QStringLiteral("How long to run (default 60)."),
                                     QStringLiteral("n"), QStringLiteral("60"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed of the random actions (default: the time)."),
                                  QStringLiteral("n"));
    parser.addOptions({seconds, seed});
    parser.process(app);

    bool secondsOk = false;
    bool seedOk = true;
    tavo::soak::SoakOptions options;
    options.duration = std::chrono::seconds(parser.value(seconds).toInt(&secondsOk));
    options.seed = parser.isSet(seed) ? parser.value(seed).toUInt(&seedOk)
                                      : quint32(QDateTime::currentMSecsSinceEpoch());
    if (!secondsOk || options.duration.count() <= 0 || !seedOk) {
        std::fputs("tavo-soak: --seconds takes a positive whole number, --seed a whole number "
                   "(see --help)\n",
                   stderr);
        return 2;
    }

    tavo::soak::SoakRun run(options);
    QObject::connect(&run, &tavo::soak::SoakRun::finished, &app, &QCoreApplication::exit);
    if (const QString why = run.start(); !why.isEmpty()) {
        std::fprintf(stderr, "tavo-soak: cannot start: %s\n", qPrintable(why));
        return 2;
    }
    return app.exec();
}
