// The PJLink bridge's added latency over loopback, beside the serial
// exchange it waits for. Starts the virtual projector and tavo-pjlink from
// the build tree, sends many single requests from a blocking client on
// 127.0.0.1, and pairs each round trip with the serial time the bridge logs
// for that request: the bridge's share is the round trip minus the serial
// exchange. A request answered without the projector shows the bare cost.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSamples = 1000;
constexpr int kWarmUp = 20;
constexpr int kTimeoutMs = 10'000;

struct Percentiles {
    double median;
    double p99;
};

Percentiles percentiles(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

QString tool(const char* path) {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/") +
           QLatin1String(path);
}

bool waitForLine(QTcpSocket& socket, QByteArray& line) {
    line.clear();
    const QDeadlineTimer deadline(kTimeoutMs);
    while (!line.endsWith('\r')) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
        line += socket.read(1);
    }
    return true;
}

// Round trips of one request, in milliseconds.
std::vector<double> roundTrips(QTcpSocket& socket, const QByteArray& request) {
    std::vector<double> times;
    QElapsedTimer clock;
    QByteArray answer;
    for (int i = 0; i < kWarmUp + kSamples; ++i) {
        clock.start();
        socket.write(request + '\r');
        socket.waitForBytesWritten(kTimeoutMs);
        if (!waitForLine(socket, answer)) {
            std::fprintf(stderr, "no answer to %s\n", request.constData());
            return {};
        }
        if (i >= kWarmUp)
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::printf("  %s -> %s\n", request.constData(), answer.chopped(1).constData());
    return times;
}

// The serial time the bridge logged for each request of this kind, in order.
std::vector<double> loggedSerialTimes(const QByteArray& log, const QByteArray& request) {
    std::vector<double> times;
    const QRegularExpression pattern(QStringLiteral("\"%1\" -> .*serial (\\d+\\.\\d+) ms")
                                         .arg(QRegularExpression::escape(QLatin1String(request))));
    for (const QByteArray& line : log.split('\n')) {
        const auto match = pattern.match(QString::fromLatin1(line));
        if (match.hasMatch())
            times.push_back(match.captured(1).toDouble());
    }
    return std::vector<double>(times.begin() + std::min<qsizetype>(kWarmUp, times.size()),
                               times.end());
}

void printRow(const char* what, const std::vector<double>& samples) {
    const Percentiles p = percentiles(samples);
    std::printf("  %-34s %8.3f ms %8.3f ms\n", what, p.median, p.p99);
}

void stop(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(kTimeoutMs))
        process.kill();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QProcess simulator;
    simulator.start(tool("projector-sim/tavo-projector-sim"), {});
    QByteArray simulatorOutput;
    while (!simulatorOutput.contains('\n') && simulator.waitForReadyRead(kTimeoutMs))
        simulatorOutput += simulator.readAllStandardOutput();
    const QRegularExpression deviceLine(QStringLiteral("device: (\\S+)"));
    const auto device = deviceLine.match(QString::fromLocal8Bit(simulatorOutput));
    if (!device.hasMatch()) {
        std::fprintf(stderr, "the virtual projector did not start: %s\n",
                     simulatorOutput.constData());
        return 1;
    }

    // A path of its own, so that no other program's lock on the pty's name
    // stands in the way; the log goes to a file, so that a full pipe never
    // slows the bridge.
    const QString link = dir.filePath(QStringLiteral("projector"));
    QFile::link(device.captured(1), link);
    const QString logPath = dir.filePath(QStringLiteral("bridge.log"));
    QProcess bridge;
    bridge.setStandardErrorFile(logPath);
    bridge.start(tool("tavo-pjlink/tavo-pjlink"), {"--device", link, "--listen", "127.0.0.1:0"});
    QFile logFile(logPath);
    const QRegularExpression portLine(QStringLiteral("port (\\d+) for"));
    QRegularExpressionMatch port;
    for (const QDeadlineTimer deadline(kTimeoutMs); !port.hasMatch() && !deadline.hasExpired();) {
        bridge.waitForFinished(20);
        if (logFile.open(QIODevice::ReadOnly)) {
            port = portLine.match(QString::fromLocal8Bit(logFile.readAll()));
            logFile.close();
        }
    }
    if (!port.hasMatch()) {
        std::fprintf(stderr, "tavo-pjlink did not start\n");
        stop(simulator);
        return 1;
    }

    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(port.captured(1).toUInt()));
    QByteArray greeting;
    if (!socket.waitForConnected(kTimeoutMs) || !waitForLine(socket, greeting)) {
        std::fprintf(stderr, "cannot reach tavo-pjlink\n");
        stop(bridge);
        stop(simulator);
        return 1;
    }

    std::printf("tavo-pjlink over loopback, %d requests each, virtual projector at 19200 baud\n",
                kSamples);
    const auto query = roundTrips(socket, "%1POWR ?");
    const auto twoFrames = roundTrips(socket, "%1POWR 0");
    const auto local = roundTrips(socket, "%1CLSS ?");
    socket.disconnectFromHost();
    stop(bridge);
    stop(simulator);
    if (query.empty() || twoFrames.empty() || local.empty())
        return 1;

    if (!logFile.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray log = logFile.readAll();
    const auto querySerial = loggedSerialTimes(log, "%1POWR ?");
    const auto twoFramesSerial = loggedSerialTimes(log, "%1POWR 0");
    if (querySerial.size() != query.size() || twoFramesSerial.size() != twoFrames.size()) {
        std::fprintf(stderr, "the log does not hold one line per request\n");
        return 1;
    }
    const auto added = [](const std::vector<double>& trips, const std::vector<double>& serial) {
        std::vector<double> difference(trips.size());
        for (std::size_t i = 0; i < trips.size(); ++i)
            difference[i] = trips[i] - serial[i];
        return difference;
    };

    std::printf("\n  %-34s %11s %11s\n", "", "median", "p99");
    std::printf("POWR ? (CR0, one frame)\n");
    printRow("round trip", query);
    printRow("serial exchange", querySerial);
    printRow("added by the bridge", added(query, querySerial));
    std::printf("POWR 0 in standby (CR0 then C01)\n");
    printRow("round trip", twoFrames);
    printRow("serial exchanges", twoFramesSerial);
    printRow("added by the bridge", added(twoFrames, twoFramesSerial));
    std::printf("CLSS ? (no serial exchange)\n");
    printRow("round trip", local);
    return 0;
}
