#include "bench/line_readers.h"

#include <QCoreApplication>
#include <QSerialPort>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tavo::bench {

int runBareReader(const char* device) {
    const int line = ::open(device, O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (line < 0) {
        std::fprintf(stderr, "tavo-bench bare reader: cannot open %s: %s\n", device,
                     std::strerror(errno));
        return 1;
    }
    char buffer[4096];
    for (;;) {
        pollfd readable{line, POLLIN, 0};
        ::poll(&readable, 1, -1);
        while (::read(line, buffer, sizeof buffer) > 0) {
        }
    }
}

int runQtReader(int argc, char* argv[], const char* device) {
    QCoreApplication app(argc, argv);
    QSerialPort port(QString::fromLocal8Bit(device));
    port.setBaudRate(115200);
    if (!port.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "tavo-bench Qt reader: cannot open %s: %s\n", device,
                     qPrintable(port.errorString()));
        return 1;
    }
    QObject::connect(&port, &QSerialPort::readyRead, &port, [&port] { port.readAll(); });
    return QCoreApplication::exec();
}

} // namespace tavo::bench
