#pragma once
// An unsolicited stream on a serial line at a given speed: the virtual
// projector's flood text written on the master side of a pseudo-terminal in
// 16-byte pieces, each at the time the line would have delivered its last
// byte (8N1: ten bits a byte), as a UART with a 16-byte receive buffer hands
// them on.

#include <atomic>
#include <thread>

namespace tavo::bench {

class Stream {
public:
    Stream(int masterFd, int baud);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Bytes written so far.
    long long written() const { return written_.load(); }

private:
    void run(int masterFd, int baud);

    std::atomic<bool> stopping_{false};
    std::atomic<long long> written_{0};
    std::thread thread_;
};

} // namespace tavo::bench
