#include "support/pseudo_terminal.h"

#include "link/pseudo_terminal.h"

#include <QElapsedTimer>
#include <QTest>

#include <termios.h>
#include <unistd.h>

namespace tavo::test {

PseudoTerminal::PseudoTerminal() {
    link::PseudoTerminalEnds ends = link::openPseudoTerminal();
    if (!ends.isOpen())
        return;
    devicePath_ = ends.devicePath;
    master_ = ends.master.release();
    slave_ = ends.slave.release();
}

PseudoTerminal::~PseudoTerminal() {
    closeMaster();
    closeSlave();
}

void PseudoTerminal::write(QByteArrayView bytes) {
    for (qsizetype done = link::writeWhatFits(master_, bytes); done < bytes.size();
         done += link::writeWhatFits(master_, bytes.sliced(done))) {
        if (errno != EAGAIN)
            return;
        QTest::qWait(1); // the line is full: let the program read, or this waits forever
    }
}

QByteArray PseudoTerminal::readAvailable() {
    QByteArray result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
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
    ::tcgetattr(slave_, &settings);
    return settings;
}

void PseudoTerminal::closeMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PseudoTerminal::closeSlave() {
    if (slave_ >= 0)
        ::close(slave_);
    slave_ = -1;
}

speed_t baudOf(const termios& settings) {
    return ::cfgetospeed(&settings);
}

} // namespace tavo::test
