#include "check.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <limits>

namespace tavo::ctl {

namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

constexpr const char* kStatusWords[] = {"OK", "WARNING", "CRITICAL", "UNKNOWN"};

QString statusWord(int status) {
    return QLatin1StringView(kStatusWords[status]);
}

QString number(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

// One performance data item: label=value;warn;crit;min;max (no unit: the
// convention knows none for hours, degrees or hectopascals).
QString perfData(const QString& label, const QString& value, const std::optional<Range>& warning,
                 const std::optional<Range>& critical, const QString& minimum = {}) {
    return QStringLiteral("%1=%2;%3;%4;%5;")
        .arg(label, value, warning ? warning->text : QString(),
             critical ? critical->text : QString(), minimum);
}

// The worse of two statuses, CRITICAL above WARNING above OK.
int worse(int a, int b) {
    return std::max(a, b);
}

int againstThresholds(double value, const std::optional<Range>& warning,
                      const std::optional<Range>& critical) {
    if (critical && critical->alerts(value))
        return check_status::kCritical;
    if (warning && warning->alerts(value))
        return check_status::kWarning;
    return check_status::kOk;
}

} // namespace

bool Range::alerts(double value) const {
    const bool within = value >= start && value <= end;
    return inside ? within : !within;
}

std::optional<Range> parseRange(QStringView text) {
    static const QRegularExpression pattern(
        QStringLiteral("^(@)?(?:(~|-?\\d+(?:\\.\\d+)?)?:)?(-?\\d+(?:\\.\\d+)?)?$"));
    const auto match = pattern.match(text);
    if (text.isEmpty() || !match.hasMatch() || (!match.hasCaptured(3) && !text.contains(u':')))
        return std::nullopt;
    Range range;
    range.text = text.toString();
    range.inside = match.hasCaptured(1);
    const QStringView start = match.capturedView(2);
    range.start = start == u"~" ? -kInfinity : start.isEmpty() ? 0 : start.toDouble();
    range.end = match.hasCaptured(3) ? match.capturedView(3).toDouble() : kInfinity;
    if (range.start > range.end)
        return std::nullopt;
    return range;
}

std::optional<Thresholds> parseThresholds(const QString& warning, const QString& critical,
                                          QString& problem) {
    Thresholds thresholds;
    const auto read = [&](const QString& option, const QString& value, std::optional<Range>& hours,
                          std::optional<Range>& celsius) {
        if (value.isEmpty())
            return true;
        const QStringList parts = value.split(QLatin1Char(','));
        if (parts.size() > 2) {
            problem = QStringLiteral("--%1 takes HOURS,CELSIUS, not \"%2\"").arg(option, value);
            return false;
        }
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (parts[i].isEmpty())
                continue;
            const auto range = parseRange(parts[i]);
            if (!range) {
                problem = QStringLiteral("--%1: \"%2\" is no range such as 1800, 10:50, ~:45 or "
                                         "@0:10")
                              .arg(option, parts[i]);
                return false;
            }
            (i == 0 ? hours : celsius) = range;
        }
        return true;
    };
    if (!read(QStringLiteral("warning"), warning, thresholds.warningHours,
              thresholds.warningCelsius) ||
        !read(QStringLiteral("critical"), critical, thresholds.criticalHours,
              thresholds.criticalCelsius))
        return std::nullopt;
    return thresholds;
}

CheckResult evaluate(const QList<status::Reading>& readings, const Thresholds& thresholds) {
    const bool complete =
        readings.size() == qsizetype(std::size(kCheckedQuantities)) &&
        std::all_of(readings.begin(), readings.end(),
                    [](const status::Reading& reading) { return reading.isValue(); });
    if (!complete)
        return unknown(QStringLiteral("not every reading came"));
    const status::Reading& power = readings[0];
    const double hours = readings[1].numbers.front();
    const QList<double>& temperatures = readings[2].numbers;
    const double pressure = readings[3].numbers.front();
    const double hottest = *std::max_element(temperatures.begin(), temperatures.end());

    int status = check_status::kOk;
    switch (power.severity) {
    case status::Severity::Failure:
        status = check_status::kCritical;
        break;
    case status::Severity::Warning:
        status = check_status::kWarning;
        break;
    case status::Severity::Normal:
        break;
    }
    status =
        worse(status, againstThresholds(hours, thresholds.warningHours, thresholds.criticalHours));
    status = worse(
        status, againstThresholds(hottest, thresholds.warningCelsius, thresholds.criticalCelsius));

    const QString summary =
        QStringLiteral("%1, lamp %2 h, %3/%4/%5 C, %6 hPa")
            .arg(power.token, number(hours, 0), number(temperatures[0], 1),
                 number(temperatures[1], 1), number(temperatures[2], 1), number(pressure, 0));
    QStringList perf{perfData(QStringLiteral("lamp_hours"), number(hours, 0),
                              thresholds.warningHours, thresholds.criticalHours,
                              QStringLiteral("0"))};
    for (int i = 0; i < 3; ++i)
        perf.append(perfData(QStringLiteral("temperature_s%1").arg(i + 1),
                             number(temperatures[i], 1), thresholds.warningCelsius,
                             thresholds.criticalCelsius));
    perf.append(perfData(QStringLiteral("air_pressure"), number(pressure, 0), {}, {}));
    return {status, QStringLiteral("TAVO %1 - %2 | %3")
                        .arg(statusWord(status), summary, perf.join(QLatin1Char(' ')))};
}

CheckResult unknown(const QString& why) {
    return {check_status::kUnknown,
            QStringLiteral("TAVO %1 - %2").arg(statusWord(check_status::kUnknown), why)};
}

} // namespace tavo::ctl
