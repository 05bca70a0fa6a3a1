#pragma once
// A fresh pseudo-terminal, for whatever plays the far end of the cable (the
// virtual projector, the tests, the soak run, the benchmarks, the
// screenshots): the slave's path is the device the panel opens. Both sides
// are raw, 8N1 at 19200 baud, so nothing is echoed or translated before a
// program sets its own mode; both are close-on-exec, so a program started
// meanwhile does not keep the line alive; the master is non-blocking.

#include <QByteArrayView>
#include <QString>

#include <utility>

namespace tavo::link {

// A file descriptor closed with its owner.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd();

    int get() const { return fd_; }
    bool isValid() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_ = -1;
};

struct PseudoTerminalEnds {
    UniqueFd master;
    UniqueFd slave;
    QString devicePath; // the slave's path
    QString error;      // why opening failed; empty on success

    bool isOpen() const { return master.isValid(); }
};

PseudoTerminalEnds openPseudoTerminal();

// Writes as much of bytes as the descriptor takes now, again after a signal;
// stops at a full non-blocking descriptor or an error, which errno then
// tells. Gives the number of bytes written.
qsizetype writeWhatFits(int fd, QByteArrayView bytes);

// A terminal device raw, 8N1, no flow control, one byte a read; baud is
// 19200 or 9600. False (errno set) when the device refuses.
bool setRawLine(int fd, int baud);

} // namespace tavo::link
