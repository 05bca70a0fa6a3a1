// tavo-bench: every figure of `make bench` in one table, printed and written
// as Markdown, with the targets each is held to (see BENCHMARKS.md).
//
//   tavo-bench [--build DIR] [--out DIR]   the whole run
//   tavo-bench outside --build DIR --results FILE
//                                          the figures from outside; the whole
//                                          run starts it under xvfb-run
//   tavo-bench tools [--build DIR]         the command-line tool's and the
//                                          bridge's figures alone
//   tavo-bench x-floor-client DEVICE       the bare X client of the floor
//   tavo-bench bare-reader|qt-reader DEVICE
//                                          the programs of the stream's floor
#include "bench/figures.h"
#include "bench/in_process.h"
#include "bench/line_readers.h"
#include "bench/outside.h"
#include "bench/pty_figures.h"
#include "bench/tools_figures.h"
#include "bench/x_floor_client.h"
#include "support/window_rig.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <sys/utsname.h>

namespace {

using namespace tavo::bench;

// Xvfb without a reset between clients (a resetting server adds about 25 ms
// to every short client), at 96 dpi so the panel is laid out at its own
// pixel size.
const QStringList kXvfbArguments{QStringLiteral("-noreset"), QStringLiteral("-dpi"),
                                 QStringLiteral("96"),       QStringLiteral("-screen"),
                                 QStringLiteral("0"),        QStringLiteral("1280x1024x24")};

[[noreturn]] void fail(const QString& message) {
    std::fprintf(stderr, "tavo-bench: %s\n", qPrintable(message));
    std::exit(1);
}

void progress(const char* what) {
    std::fprintf(stderr, "tavo-bench: %s\n", what);
    std::fflush(stderr);
}

QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writeText(const QString& path, const QString& text) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0)
        fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
}

// The first line of a command's output, or an empty string.
QString outputOf(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput()).section(u'\n', 0, 0).trimmed();
}

QStringList machine() {
    QString cpu;
    for (const QString& line : readText(QStringLiteral("/proc/cpuinfo")).split(u'\n')) {
        if (line.startsWith(QLatin1String("model name"))) {
            cpu = line.section(u':', 1).trimmed();
            break;
        }
    }
    utsname names{};
    ::uname(&names);
    // "MemTotal:  24683748 kB"
    const double memoryKb = readText(QStringLiteral("/proc/meminfo"))
                                .section(u'\n', 0, 0)
                                .simplified()
                                .section(u' ', 1, 1)
                                .toDouble();
    const QString memory = QStringLiteral("%1 GB RAM").arg(memoryKb / (1024 * 1024), 0, 'f', 0);
    return {QStringLiteral("date: ") + QDateTime::currentDateTime().toString(Qt::ISODate),
            QStringLiteral("machine: %1, %2 cores, %3; Linux %4; Debian %5")
                .arg(cpu)
                .arg(QThread::idealThreadCount())
                .arg(memory)
                .arg(QLatin1String(names.release))
                .arg(readText(QStringLiteral("/etc/debian_version")).trimmed()),
            QStringLiteral("load average at start: ") +
                readText(QStringLiteral("/proc/loadavg")).section(u' ', 0, 2),
            QStringLiteral("Qt %1 (tavo-control), CuteCom %2 (Qt 5), Xvfb %3")
                .arg(QLatin1String(qVersion()),
                     outputOf(QStringLiteral("dpkg-query"),
                              {QStringLiteral("-W"), QStringLiteral("-f=${Version}"),
                               QStringLiteral("cutecom")}),
                     outputOf(QStringLiteral("dpkg-query"),
                              {QStringLiteral("-W"), QStringLiteral("-f=${Version}"),
                               QStringLiteral("xvfb")}))};
}

std::vector<Figure> packageFigures(const QString& buildDir) {
    const QString group = QStringLiteral("package");
    const QFileInfoList debs = QDir(buildDir).entryInfoList({QStringLiteral("tavo-control_*.deb")},
                                                            QDir::Files, QDir::Time);
    if (debs.isEmpty())
        return {{group,
                 QStringLiteral(".deb size"),
                 QStringLiteral("KB"),
                 {},
                 QStringLiteral("no package in %1 (make package)").arg(buildDir)}};
    return {{group,
             QStringLiteral(".deb size"),
             QStringLiteral("KB"),
             {double(debs.front().size()) / 1024},
             debs.front().fileName()}};
}

std::vector<Figure> outsideFiguresUnderXvfb(const QString& self, const QString& buildDir,
                                            const QString& outDir) {
    const QString results = outDir + QStringLiteral("/outside.tsv");
    QFile::remove(results);
    const int status =
        QProcess::execute(QStringLiteral("xvfb-run"),
                          {QStringLiteral("-a"), QStringLiteral("-s"), kXvfbArguments.join(u' '),
                           self, QStringLiteral("outside"), QStringLiteral("--build"), buildDir,
                           QStringLiteral("--results"), results});
    if (status != 0)
        fail(QStringLiteral("the figures from outside failed (xvfb-run exit status %1)")
                 .arg(status));
    const auto figures = fromLines(readText(results));
    if (!figures)
        fail(QStringLiteral("%1 holds lines that are no figures").arg(results));
    return *figures;
}

// ---------------------------------------------------------------- targets

class Targets {
public:
    explicit Targets(const std::vector<Figure>& figures) : figures_(figures) {}

    std::optional<double> median(const QString& name) const {
        const Figure* figure = findMeasured(figures_, name);
        return figure ? std::optional(summarize(figure->samples).median) : std::nullopt;
    }
    std::optional<double> p99(const QString& name) const {
        const Figure* figure = findMeasured(figures_, name);
        return figure ? std::optional(percentile(figure->samples, 0.99)) : std::nullopt;
    }
    std::optional<double> mean(const QString& name) const {
        const Figure* figure = findMeasured(figures_, name);
        if (!figure)
            return std::nullopt;
        double sum = 0;
        for (const double sample : figure->samples)
            sum += sample;
        return sum / double(figure->samples.size());
    }

    void ratio(const QString& what, const QString& ours, const QString& theirs, double atMost) {
        const auto a = median(ours);
        const auto b = median(theirs);
        if (!a || !b || *b <= 0) {
            list.push_back({what, QStringLiteral("—"), std::nullopt});
            return;
        }
        const double r = *a / *b;
        list.push_back({what,
                        QStringLiteral("%1 / %2 = %3×")
                            .arg(*a, 0, 'f', 1)
                            .arg(*b, 0, 'f', 1)
                            .arg(r, 0, 'f', 2),
                        r <= atMost});
    }

    void atMost(const QString& what, std::optional<double> value, double limit,
                const QString& unit) {
        if (!value) {
            list.push_back({what, QStringLiteral("—"), std::nullopt});
            return;
        }
        list.push_back(
            {what, QStringLiteral("%1 %2").arg(*value, 0, 'f', 3).arg(unit), *value <= limit});
    }

    void holdKey(const QString& name, double nominalMs) {
        const Figure* figure = findMeasured(figures_, name);
        const QString what =
            QStringLiteral("%1: period error < 0.1 %, p90-p10 jitter < 1.5 ms").arg(name);
        if (!figure) {
            list.push_back({what, QStringLiteral("—"), std::nullopt});
            return;
        }
        const double error = std::abs(*mean(name) - nominalMs) / nominalMs * 100;
        const double jitter = percentile(figure->samples, 0.9) - percentile(figure->samples, 0.1);
        list.push_back({what,
                        QStringLiteral("error %1 %, jitter %2 ms")
                            .arg(error, 0, 'f', 3)
                            .arg(jitter, 0, 'f', 3),
                        error < 0.1 && jitter < 1.5});
    }

    std::vector<Target> list;

private:
    const std::vector<Figure>& figures_;
};

std::vector<Target> targetsOf(const std::vector<Figure>& figures) {
    Targets t(figures);
    t.ratio(QStringLiteral("start to visible at most 0.4 × CuteCom's"),
            QStringLiteral("start to visible window: tavo-control"),
            QStringLiteral("start to visible window: CuteCom"), 0.4);
    t.ratio(QStringLiteral("start to visible within 1.5 × the X floor (xmessage)"),
            QStringLiteral("start to visible window: tavo-control"),
            QStringLiteral("start to visible window: xmessage (X floor)"), 1.5);
    t.ratio(QStringLiteral("memory at most 0.4 × CuteCom's"),
            QStringLiteral("memory (RSS) 2 s after start: tavo-control"),
            QStringLiteral("memory (RSS) 2 s after start: CuteCom"), 0.4);
    const auto click = t.median(
        QStringLiteral("click on ON -> first byte on the wire, during the stream: tavo-control"));
    const auto floor =
        t.median(QStringLiteral("X and pty floor: click -> byte from a bare Xlib client"));
    t.atMost(QStringLiteral("own part of click-to-wire during the stream (minus X and pty floors) "
                            "under 0.5 ms median"),
             click && floor ? std::optional(*click - *floor) : std::nullopt, 0.5,
             QStringLiteral("ms"));
    for (const char* panel : {"hidden", "shown"})
        t.atMost(QStringLiteral("stream CPU at most 1 %, data panel %1").arg(QLatin1String(panel)),
                 t.mean(QStringLiteral(
                            "CPU under a 30 s stream at 115200 baud: tavo-control, data panel %1")
                            .arg(QLatin1String(panel))),
                 1.0, QStringLiteral("%"));
    t.holdKey(QStringLiteral("hold-key period, VOL + (250 ms)"), 250);
    t.holdKey(QStringLiteral("hold-key period, Brightness + (50 ms)"), 50);
    t.holdKey(QStringLiteral("hold-key period, arrow up after D.Zoom (5 ms)"), 5);
    t.atMost(QStringLiteral("idle wake-ups zero"),
             t.median(QStringLiteral("idle wake-ups over 10 s: tavo-control")), 0,
             QStringLiteral(""));
    for (const char* after : {"C00", "CR9"}) {
        t.ratio(QStringLiteral("receive path flat: piece into 32 K within 1.5 × into 0, after %1")
                    .arg(QLatin1String(after)),
                QStringLiteral("receive path, 16-byte piece, buffer 32 K, after %1")
                    .arg(QLatin1String(after)),
                QStringLiteral("receive path, 16-byte piece, buffer 0, after %1")
                    .arg(QLatin1String(after)),
                1.5);
    }
    t.atMost(QStringLiteral("status notification p99 within the poll period and a quarter second"),
             t.p99(QStringLiteral("status notification delay, projector change -> datagram, "
                                  "default poll period (5 s)")),
             5250, QStringLiteral("ms"));
    t.atMost(QStringLiteral("serial line busy from polling alone under 5 %"),
             t.median(QStringLiteral("serial line busy from polling alone, default poll period")),
             5, QStringLiteral("%"));
    t.atMost(QStringLiteral(".deb under 500 KB"), t.median(QStringLiteral(".deb size")), 500,
             QStringLiteral("KB"));
    return t.list;
}

// ---------------------------------------------------------------- modes

int wholeRun(const QString& self, const QString& buildDir, const QString& outDir) {
    const auto began = std::chrono::steady_clock::now();
    QDir().mkpath(outDir);
    Report report;
    report.title = QStringLiteral("tavo-control benchmarks");
    report.context = machine();

    progress("in-process figures");
    report.figures = inProcessFigures();
    progress("pseudo-terminal figures");
    for (Figure& figure : ptyFigures())
        report.figures.push_back(std::move(figure));
    progress("figures from outside, under xvfb-run (about five minutes)");
    for (Figure& figure : outsideFiguresUnderXvfb(self, buildDir, outDir))
        report.figures.push_back(std::move(figure));
    progress("command-line tool and bridge figures");
    for (Figure& figure : commandLineAndBridgeFigures(buildDir))
        report.figures.push_back(std::move(figure));
    for (Figure& figure : packageFigures(buildDir))
        report.figures.push_back(std::move(figure));
    report.targets = targetsOf(report.figures);

    const double minutes = double(std::chrono::duration_cast<std::chrono::seconds>(
                                      std::chrono::steady_clock::now() - began)
                                      .count()) /
                           60;
    report.targets.push_back({QStringLiteral("the run under 10 minutes (build not counted)"),
                              QStringLiteral("%1 min").arg(minutes, 0, 'f', 1), minutes < 10});
    const QString latest = outDir + QStringLiteral("/latest.md");
    writeText(latest, markdown(report));
    std::fputs(qPrintable(plainText(report)), stdout);
    std::printf("\nwritten to %s\n", qPrintable(latest));
    return 0;
}

int outsideRun(const QString& self, const QString& buildDir, const QString& results) {
    OutsidePrograms programs{buildDir + QStringLiteral("/tavo-control"),
                             QStringLiteral("/usr/bin/cutecom"),
                             QStringLiteral("/usr/bin/xmessage"),
                             buildDir + QStringLiteral("/bench/tavo-bench-qt-window"),
                             buildDir + QStringLiteral("/bench/libtavo-pty-modem-shim.so"),
                             self,
                             QFileInfo(results).absolutePath() + QStringLiteral("/outside")};
    for (const QString& program : {programs.panel, programs.cutecom, programs.xmessage,
                                   programs.qtWindow, programs.modemShim}) {
        if (!QFileInfo(program).isFile())
            fail(QStringLiteral("%1 is missing (make bench builds and installs what it needs)")
                     .arg(program));
    }
    writeText(results, toLines(outsideFigures(programs)));
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && std::strcmp(argv[1], "x-floor-client") == 0)
        return runFloorClient(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "bare-reader") == 0)
        return runBareReader(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "qt-reader") == 0)
        return runQtReader(argc, argv, argv[2]);
    // The bench's own windows (the laid-out panel it takes positions from,
    // the one it times in-process) stay offscreen; the programs it starts
    // from outside do not inherit this.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a private runtime folder; the programs started inherit it.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QDir::tempPath() + QStringLiteral("/tavo-bench-runtime");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    }
    QApplication app(argc, argv);
    tavo::test::quietTestNoise();
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Every figure of make bench in one table."));
    parser.addHelpOption();
    const QCommandLineOption build(QStringLiteral("build"), QStringLiteral("The build folder."),
                                   QStringLiteral("dir"), QStringLiteral("build-bench"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("Where latest.md goes."),
                                 QStringLiteral("dir"), QStringLiteral("build-bench/bench"));
    const QCommandLineOption results(QStringLiteral("results"),
                                     QStringLiteral("Where the figures from outside go."),
                                     QStringLiteral("file"));
    parser.addOptions({build, out, results});
    parser.addPositionalArgument(QStringLiteral("mode"),
                                 QStringLiteral("outside, tools, or nothing for the whole run"));
    parser.process(app);

    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath();
    const QString buildDir = QFileInfo(parser.value(build)).absoluteFilePath();
    const QStringList modes = parser.positionalArguments();
    if (modes.isEmpty())
        return wholeRun(self, buildDir, QFileInfo(parser.value(out)).absoluteFilePath());
    if (modes == QStringList{QStringLiteral("outside")} && parser.isSet(results))
        return outsideRun(self, buildDir, QFileInfo(parser.value(results)).absoluteFilePath());
    if (modes == QStringList{QStringLiteral("tools")}) {
        const Report report{QStringLiteral("tavo-ctl and tavo-pjlink"),
                            machine(),
                            commandLineAndBridgeFigures(buildDir),
                            {}};
        std::fputs(qPrintable(plainText(report)), stdout);
        return 0;
    }
    parser.showHelp(2);
}
