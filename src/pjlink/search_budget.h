#pragma once
// How many search answers the bridge sends: at most a few per sender address
// in each window, and at most a set number in all, so that a flood of
// searches (from one address, or forged from many) cannot make the bridge
// flood anyone back. Pure: the time is handed in; the table of senders is
// bounded by the total.

#include <QHostAddress>

#include <chrono>
#include <deque>
#include <map>

namespace tavo::pjlink {

struct SearchLimits {
    int perSender = 3;
    int total = 30;
    std::chrono::milliseconds window{10'000};
};

class SearchBudget {
public:
    using Clock = std::chrono::steady_clock;

    explicit SearchBudget(SearchLimits limits) : limits_(limits) {}

    // True, and counted, when an answer to this sender may go out now.
    bool take(const QHostAddress& sender, Clock::time_point now);

private:
    void forgetBefore(Clock::time_point start);

    SearchLimits limits_;
    std::deque<std::pair<Clock::time_point, QString>> sent_; // oldest first
    std::map<QString, int> bySender_;
};

} // namespace tavo::pjlink
