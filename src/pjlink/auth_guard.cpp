#include "pjlink/auth_guard.h"

#include <algorithm>

namespace tavo::pjlink {

namespace {

// Records kept at most: a flood of addresses cannot grow memory; past it the
// stale ones go first.
constexpr qsizetype kMaxRecords = 4096;

} // namespace

milliseconds AuthGuard::failed(const QHostAddress& address, Clock::time_point now) {
    if (records_.size() >= kMaxRecords)
        forgetOld(now);
    Record& record = records_[address];
    if (now - record.last > limits_.lockout)
        record.failures = 0;
    record.last = now;
    ++record.failures;
    if (record.failures >= limits_.lockoutAfter && now >= record.lockedUntil) {
        record.lockedUntil = now + limits_.lockout;
        record.announced = false;
    }
    const int doublings = std::min(record.failures - 1, 16);
    return std::min(limits_.firstDelay * (1 << doublings), limits_.maxDelay);
}

AuthGuard::Entry AuthGuard::entry(const QHostAddress& address, Clock::time_point now) {
    const auto found = records_.find(address);
    if (found == records_.end() || now >= found->lockedUntil)
        return Entry::Open;
    if (found->announced)
        return Entry::Refused;
    found->announced = true;
    return Entry::RefusedFirstTime;
}

int AuthGuard::failures(const QHostAddress& address) const {
    return records_.value(address).failures;
}

void AuthGuard::forgetOld(Clock::time_point now) {
    records_.removeIf([&](const auto& entry) {
        return now - entry.value().last > limits_.lockout && now >= entry.value().lockedUntil;
    });
    // Still full: the guessing comes from everywhere; the quietest goes.
    if (records_.size() >= kMaxRecords) {
        auto oldest = records_.begin();
        for (auto it = records_.begin(); it != records_.end(); ++it) {
            if (it->last < oldest->last)
                oldest = it;
        }
        records_.erase(oldest);
    }
}

} // namespace tavo::pjlink
