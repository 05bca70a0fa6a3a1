// Latency over a real pseudo-terminal, the window playing its part:
//  send:    Hyouji(frame, 1) until the bytes are readable on the master side;
//  receive: one reply byte written on the master until Label12 holds its trace.
// Prints the median and the 90th percentile of many single exchanges.
#include "link/serial_control.h"
#include "panel/form1.h"
#include "panel/warning.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kSamples = 1000;

struct Percentiles {
    double median;
    double p90;
};

Percentiles percentiles(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 9 / 10]};
}

void drain(int fd) {
    char buffer[256];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    tavo::panel::setWarningFunction([](QWidget*, const QString&, const QString& text) {
        std::fprintf(stderr, "warning: %s\n", qPrintable(text));
    });
    tavo::panel::Form1 form(std::make_unique<tavo::link::SerialControl>(
        QString::fromLocal8Bit(name), QStringLiteral("/nonexistent")));
    form.load();
    auto* label12 = form.findChild<QLabel*>(QStringLiteral("Label12"));

    const QByteArray frame("C00\r");
    std::vector<double> send;
    std::vector<double> receive;
    QElapsedTimer clock;
    for (int i = 0; i < kSamples; ++i) {
        drain(master);
        clock.start();
        form.Hyouji(frame, tavo::panel::Form1::kSend);
        pollfd readable{master, POLLIN, 0};
        ::poll(&readable, 1, 1000);
        send.push_back(clock.nsecsElapsed() / 1000.0);
        drain(master);

        // Consecutive replies differ, so the trace's end tells the new byte.
        const char reply = static_cast<char>('0' + i % 10);
        const QString expected = QStringLiteral("%1 ").arg(QLatin1Char(reply));
        QCoreApplication::processEvents();
        clock.start();
        if (::write(master, &reply, 1) != 1)
            return 1;
        while (!label12->text().endsWith(expected) && clock.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        receive.push_back(clock.nsecsElapsed() / 1000.0);
    }
    const auto s = percentiles(send);
    const auto r = percentiles(receive);
    std::printf("send    Hyouji -> readable on master : median %.1f us, p90 %.1f us (%d samples)\n",
                s.median, s.p90, kSamples);
    std::printf("receive byte on master -> Label12     : median %.1f us, p90 %.1f us (%d samples)\n",
                r.median, r.p90, kSamples);
    ::close(master);
    ::close(slave);
    return 0;
}
