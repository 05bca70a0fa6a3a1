#pragma once
// A pseudo-terminal pair in raw mode for the benchmarks: the bench holds the
// master and plays the projector (or a serial stream); a program opens the
// slave by name. Both ends are non-blocking.

#include "link/pseudo_terminal.h"

#include <QByteArrayView>
#include <QString>

namespace tavo::bench {

class Pty {
public:
    Pty();

    int master() const { return ends_.master.get(); }
    int slave() const { return ends_.slave.get(); }
    QString slaveName() const { return ends_.devicePath; }

    void writeMaster(QByteArrayView bytes) const { writeAll(master(), bytes); }
    void writeSlave(QByteArrayView bytes) const { writeAll(slave(), bytes); }

    static bool readable(int fd);
    // Waits at most timeoutMs; false when nothing became readable.
    static bool waitReadable(int fd, int timeoutMs);
    // Reads everything waiting; returns how many bytes.
    static qsizetype drain(int fd);

private:
    static void writeAll(int fd, QByteArrayView bytes);

    link::PseudoTerminalEnds ends_;
};

} // namespace tavo::bench
