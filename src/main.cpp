// tavo-control: the control panel for the TAVO RA20 and RB20 projectors.
#include "link/serial_control.h"
#include "panel/form1.h"

#include <QApplication>
#include <QCommandLineParser>

namespace {

#ifdef Q_OS_WIN
constexpr auto kDefaultCom1 = "COM1";
constexpr auto kDefaultCom2 = "COM2";
#else
constexpr auto kDefaultCom1 = "/dev/ttyS0";
constexpr auto kDefaultCom2 = "/dev/ttyS1";
#endif

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavo-control"));
    QApplication::setApplicationVersion(QStringLiteral(TAVO_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control panel for the TAVO RA20 and RB20 projectors over RS-232C."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption com1({QStringLiteral("com1")},
                                  QStringLiteral("Serial device used as COM1 (default: %1).")
                                      .arg(QLatin1String(kDefaultCom1)),
                                  QStringLiteral("device"), QLatin1String(kDefaultCom1));
    const QCommandLineOption com2({QStringLiteral("com2")},
                                  QStringLiteral("Serial device used as COM2 (default: %1).")
                                      .arg(QLatin1String(kDefaultCom2)),
                                  QStringLiteral("device"), QLatin1String(kDefaultCom2));
    parser.addOption(com1);
    parser.addOption(com2);
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        parser.showHelp(2);

    tavo::panel::Form1 form(
        std::make_unique<tavo::link::SerialControl>(parser.value(com1), parser.value(com2)));
    form.load();
    form.show();
    return QApplication::exec();
}
