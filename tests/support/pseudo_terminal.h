#pragma once
// A real pseudo-terminal for serial tests: the test holds the master side and
// plays the projector; the program opens the slave device through Qt Serial
// Port. The slave is kept open here too, so the master never sees a hang-up
// when the program closes its side.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <termios.h>

namespace tavo::test {

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return master_ >= 0; }
    QString devicePath() const { return devicePath_; }

    void write(QByteArrayView bytes);
    // Everything readable now, without waiting.
    QByteArray readAvailable();
    // Reads until at least count bytes arrived or the timeout ran out; the
    // event loop runs meanwhile. Returns what was read.
    QByteArray readAtLeast(qsizetype count, int timeoutMs = 3000);

    termios slaveTermios() const;
    // How many processes other than this test have the slave open is not
    // visible; this tells whether the terminal's settings were touched since.
    void closeMaster();
    void closeSlave();

private:
    int master_ = -1;
    int slave_ = -1;
    QString devicePath_;
};

speed_t baudOf(const termios& settings);

} // namespace tavo::test
