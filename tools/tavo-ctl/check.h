#pragma once
// tavo-ctl check: a monitoring check in the monitoring-plugins convention.
// It reads the power state, the lamp hours, the three temperatures and the
// air pressure, and turns them into one status line with performance data
// and the exit status a monitoring system expects: 0 OK, 1 WARNING,
// 2 CRITICAL, 3 UNKNOWN. A power or lamp failure is CRITICAL, a temperature
// warning WARNING; lamp hours and the hottest temperature are held against
// the --warning and --critical ranges; a missing or malformed reply, a busy
// port or a usage error is UNKNOWN. Pure: readings in, line out.

#include "status/reading.h"

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

namespace tavo::ctl {

namespace check_status {
inline constexpr int kOk = 0;
inline constexpr int kWarning = 1;
inline constexpr int kCritical = 2;
inline constexpr int kUnknown = 3;
} // namespace check_status

// A threshold range, "[@]start:end": an alert when the value lies outside
// start..end (inside it with "@"), ends included; "10" is 0:10, "10:" has no
// end, "~:" no start.
struct Range {
    double start = 0;
    double end = 0;
    bool inside = false;

    bool alerts(double value) const;
    QString text;
};
std::optional<Range> parseRange(QStringView text);

// The thresholds of --warning and --critical: "HOURS,CELSIUS", each a range
// or empty for none, e.g. -w 1800,45 -c 2000,50.
struct Thresholds {
    std::optional<Range> warningHours, criticalHours, warningCelsius, criticalCelsius;
};
// Nothing and a message in problem when a value is no range.
std::optional<Thresholds> parseThresholds(const QString& warning, const QString& critical,
                                          QString& problem);

// The queries the check asks, in this order.
inline constexpr status::Quantity kCheckedQuantities[] = {
    status::Quantity::PowerState, status::Quantity::LampHours, status::Quantity::Temperatures,
    status::Quantity::AirPressure};

struct CheckResult {
    int status = check_status::kUnknown;
    QString line; // "TAVO OK - ... | perfdata"
};

// readings: one for each of kCheckedQuantities, in that order.
CheckResult evaluate(const QList<status::Reading>& readings, const Thresholds& thresholds);
CheckResult unknown(const QString& why);

} // namespace tavo::ctl
