#pragma once
// Resistance to password guessing, per client address: each failed digest
// is answered later than the one before (a growing delay, capped), and after
// a number of failures the address is refused for a while. An address's
// failures are forgotten after a while without one, and after a success.
// Pure bookkeeping: the caller passes the time.

#include <QHash>
#include <QHostAddress>

#include <chrono>

namespace tavo::pjlink {

using std::chrono::milliseconds;

struct GuessingLimits {
    milliseconds firstDelay{250}; // doubled at each further failure
    milliseconds maxDelay{4000};
    int lockoutAfter = 10;         // failures
    milliseconds lockout{600'000}; // refused this long; failures forgotten after it
};

class AuthGuard {
public:
    using Clock = std::chrono::steady_clock;

    explicit AuthGuard(GuessingLimits limits = {}) : limits_(limits) {}

    // Records a failed digest; gives how long its answer waits.
    milliseconds failed(const QHostAddress& address, Clock::time_point now);
    void succeeded(const QHostAddress& address) { records_.remove(address); }

    enum class Entry { Open, Refused, RefusedFirstTime };
    // Whether a connection from the address may come in; the first refusal
    // of a lockout is told apart, so that it is logged once.
    Entry entry(const QHostAddress& address, Clock::time_point now);
    int failures(const QHostAddress& address) const;

private:
    struct Record {
        int failures = 0;
        Clock::time_point last;
        Clock::time_point lockedUntil;
        bool announced = false;
    };
    void forgetOld(Clock::time_point now);

    GuessingLimits limits_;
    QHash<QHostAddress, Record> records_;
};

} // namespace tavo::pjlink
