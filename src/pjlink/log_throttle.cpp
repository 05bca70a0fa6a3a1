#include "pjlink/log_throttle.h"

#include <limits>

namespace tavo::pjlink {

namespace {

constexpr int kUnlimited = std::numeric_limits<int>::max();

constexpr std::array<const char*, 7> kKindNames{
    "request",        "setting", "error answer", "connection", "refused connection",
    "authentication", "other",
};

} // namespace

LogThrottle::LogThrottle(LogBudget budget, QObject* parent)
    : QObject(parent), budget_(budget), interval_(this) {
    interval_.setObjectName(QStringLiteral("summary"));
    interval_.setInterval(budget_.interval);
    connect(&interval_, &QTimer::timeout, this, &LogThrottle::summarise);
}

int LogThrottle::budgetOf(LogKind kind) const {
    switch (kind) {
    case LogKind::Request:
        return budget_.verbose ? kUnlimited : budget_.requests;
    case LogKind::ErrorRequest:
        return budget_.verbose ? kUnlimited : budget_.others;
    case LogKind::Setting:
    case LogKind::Other:
        return kUnlimited;
    default:
        return budget_.others;
    }
}

bool LogThrottle::admit(LogKind kind) {
    const auto index = std::size_t(kind);
    if (!interval_.isActive())
        interval_.start();
    if (written_[index] < budgetOf(kind)) {
        ++written_[index];
        return true;
    }
    ++leftOut_[index];
    return false;
}

void LogThrottle::log(LogKind kind, const QString& line) {
    if (admit(kind))
        write(line);
}

void LogThrottle::summarise() {
    bool quiet = true;
    for (std::size_t i = 0; i < kKinds; ++i) {
        if (leftOut_[i] > 0)
            Q_EMIT logLine(QStringLiteral("%1 more %2 lines left out in the last %3 s")
                               .arg(leftOut_[i])
                               .arg(QLatin1String(kKindNames[i]))
                               .arg(double(budget_.interval.count()) / 1000.0));
        quiet = quiet && written_[i] == 0;
    }
    written_.fill(0);
    leftOut_.fill(0);
    // Nothing logged in a whole interval: no need to wake up again.
    if (quiet)
        interval_.stop();
}

} // namespace tavo::pjlink
