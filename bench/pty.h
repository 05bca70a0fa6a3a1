#pragma once
// A pseudo-terminal pair in raw mode for the benchmarks: the bench holds the
// master and plays the projector (or a serial stream); a program opens the
// slave by name. Both ends are non-blocking.

#include <QByteArrayView>
#include <QString>

namespace tavo::bench {

class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    int master() const { return master_; }
    int slave() const { return slave_; }
    QString slaveName() const { return slaveName_; }

    void writeMaster(QByteArrayView bytes) const { writeAll(master_, bytes); }
    void writeSlave(QByteArrayView bytes) const { writeAll(slave_, bytes); }

    static bool readable(int fd);
    // Waits at most timeoutMs; false when nothing became readable.
    static bool waitReadable(int fd, int timeoutMs);
    // Reads everything waiting; returns how many bytes.
    static qsizetype drain(int fd);

private:
    static void writeAll(int fd, QByteArrayView bytes);

    int master_ = -1;
    int slave_ = -1;
    QString slaveName_;
};

} // namespace tavo::bench
