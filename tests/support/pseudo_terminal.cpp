#include "support/pseudo_terminal.h"

#include <QElapsedTimer>
#include <QTest>

#include <termios.h>
#include <unistd.h>

namespace tavo::test {

PseudoTerminal::PseudoTerminal() : ends_(link::openPseudoTerminal()) {}

void PseudoTerminal::write(QByteArrayView bytes) {
    for (qsizetype done = link::writeWhatFits(ends_.master.get(), bytes); done < bytes.size();
         done += link::writeWhatFits(ends_.master.get(), bytes.sliced(done))) {
        if (errno != EAGAIN)
            return;
        QTest::qWait(1); // the line is full: let the program read, or this waits forever
    }
}

QByteArray PseudoTerminal::readAvailable() {
    QByteArray result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(ends_.master.get(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.append(buffer, n);
    }
    return result;
}

QByteArray PseudoTerminal::readAtLeast(qsizetype count, int timeoutMs) {
    QByteArray result = readAvailable();
    QElapsedTimer clock;
    clock.start();
    while (result.size() < count && clock.elapsed() < timeoutMs) {
        QTest::qWait(1);
        result += readAvailable();
    }
    return result;
}

termios PseudoTerminal::slaveTermios() const {
    termios settings{};
    ::tcgetattr(ends_.slave.get(), &settings);
    return settings;
}

speed_t baudOf(const termios& settings) {
    return ::cfgetospeed(&settings);
}

} // namespace tavo::test
