#pragma once
// The bench's clock and the milliseconds between two of its readings.

#include <chrono>

namespace tavo::bench {

using Clock = std::chrono::steady_clock;

inline double msBetween(Clock::time_point from, Clock::time_point to) {
    return double(std::chrono::duration_cast<std::chrono::nanoseconds>(to - from).count()) / 1e6;
}

inline double msSince(Clock::time_point start) {
    return msBetween(start, Clock::now());
}

} // namespace tavo::bench
