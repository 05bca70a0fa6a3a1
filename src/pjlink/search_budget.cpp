#include "pjlink/search_budget.h"

namespace tavo::pjlink {

void SearchBudget::forgetBefore(Clock::time_point start) {
    while (!sent_.empty() && sent_.front().first <= start) {
        const auto found = bySender_.find(sent_.front().second);
        if (--found->second == 0)
            bySender_.erase(found);
        sent_.pop_front();
    }
}

bool SearchBudget::take(const QHostAddress& sender, Clock::time_point now) {
    forgetBefore(now - limits_.window);
    const QString key = sender.toString();
    if (std::ssize(sent_) >= limits_.total || bySender_[key] >= limits_.perSender) {
        if (bySender_[key] == 0)
            bySender_.erase(key);
        return false;
    }
    ++bySender_[key];
    sent_.emplace_back(now, key);
    return true;
}

} // namespace tavo::pjlink
