#pragma once
// The simulator's end of the cable: either the master side of a fresh
// pseudo-terminal, whose slave device the panel opens, or a real serial
// device. Both are raw, 8N1, non-blocking.
//
// Of a pseudo-terminal the simulator keeps the slave open itself, never
// reading it: while any slave descriptor is open the master does not see a
// hang-up, so the panel may close and reopen the device as often as it likes.

#include <QString>

#include <utility>

namespace tavo::sim {

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

private:
    int fd_ = -1;
};

struct SerialEnd {
    UniqueFd io;        // read and written by the simulator
    UniqueFd keepOpen;  // the pseudo-terminal's slave; unused for a device
    QString devicePath; // what the panel opens
    QString error;      // why opening failed; empty on success

    bool isOpen() const { return io.isValid(); }
};

SerialEnd openPseudoTerminal();

// baud is 19200 or 9600.
SerialEnd openSerialDevice(const QString& path, int baud);

} // namespace tavo::sim
