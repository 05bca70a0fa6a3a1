#pragma once
// A real pseudo-terminal for serial tests: the test holds the master side and
// plays the projector; the program opens the slave device through Qt Serial
// Port. The slave is kept open here too, so the master never sees a hang-up
// when the program closes its side.

#include "link/pseudo_terminal.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <termios.h>

namespace tavo::test {

class PseudoTerminal {
public:
    PseudoTerminal();

    bool isValid() const { return ends_.isOpen(); }
    QString devicePath() const { return ends_.devicePath; }

    void write(QByteArrayView bytes);
    // Everything readable now, without waiting.
    QByteArray readAvailable();
    // Reads until at least count bytes arrived or the timeout ran out; the
    // event loop runs meanwhile. Returns what was read.
    QByteArray readAtLeast(qsizetype count, int timeoutMs = 3000);

    termios slaveTermios() const;
    // How many processes other than this test have the slave open is not
    // visible; this tells whether the terminal's settings were touched since.
    void closeMaster() { ends_.master = {}; }
    void closeSlave() { ends_.slave = {}; }

private:
    link::PseudoTerminalEnds ends_;
};

speed_t baudOf(const termios& settings);

} // namespace tavo::test
