#include "pjlink/controllers.h"

#include <algorithm>

namespace tavo::pjlink {

Controllers::Controllers(QList<Endpoint> given, int maxLearned,
                         std::chrono::milliseconds forgetAfter)
    : given_(std::move(given)), maxLearned_(maxLearned), forgetAfter_(forgetAfter) {}

void Controllers::learn(const Endpoint& controller, Clock::time_point now) {
    if (given_.contains(controller) || maxLearned_ <= 0)
        return;
    const auto known = std::ranges::find(learned_, controller, &Learned::endpoint);
    if (known != learned_.end()) {
        known->seen = now;
        return;
    }
    if (std::ssize(learned_) >= maxLearned_)
        learned_.erase(std::ranges::min_element(learned_, {}, &Learned::seen));
    learned_.push_back({controller, now});
}

QList<Endpoint> Controllers::current(Clock::time_point now) {
    std::erase_if(learned_, [&](const Learned& l) { return now - l.seen >= forgetAfter_; });
    QList<Endpoint> all = given_;
    for (const Learned& l : learned_)
        all.append(l.endpoint);
    return all;
}

} // namespace tavo::pjlink
