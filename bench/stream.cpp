#include "bench/stream.h"

#include "projector-sim/simulator.h"

#include <ctime>

#include <unistd.h>

namespace tavo::bench {

namespace {

constexpr int kPieceSize = 16;
constexpr int kBitsPerByte = 10;
// What the virtual projector floods its line with: text without line breaks.
constexpr const char* kText = sim::kFloodPattern;

timespec plus(timespec t, long nanoseconds) {
    t.tv_nsec += nanoseconds;
    while (t.tv_nsec >= 1'000'000'000L) {
        t.tv_nsec -= 1'000'000'000L;
        ++t.tv_sec;
    }
    return t;
}

} // namespace

Stream::Stream(int masterFd, int baud) : thread_([this, masterFd, baud] { run(masterFd, baud); }) {}

Stream::~Stream() {
    stopping_ = true;
    thread_.join();
}

void Stream::run(int masterFd, int baud) {
    const long interval = 1'000'000'000L / baud * kBitsPerByte * kPieceSize;
    constexpr std::size_t textSize = sizeof sim::kFloodPattern - 1;
    std::size_t offset = 0;
    timespec due{};
    clock_gettime(CLOCK_MONOTONIC, &due);
    while (!stopping_) {
        due = plus(due, interval);
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr);
        char piece[kPieceSize];
        for (char& c : piece) {
            c = kText[offset];
            offset = (offset + 1) % textSize;
        }
        // A reader that falls behind fills the terminal's buffer; what does
        // not fit is dropped, as a receiver overrun drops it on a real line,
        // and written() tells the rate reached.
        const ssize_t n = ::write(masterFd, piece, sizeof piece);
        if (n > 0)
            written_ += n;
    }
}

} // namespace tavo::bench
