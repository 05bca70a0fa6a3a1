// The monitoring check's verdict from its four readings and thresholds, and
// the threshold ranges of the monitoring-plugins convention.

#include "tavo-ctl/check.h"

#include <QTest>

using namespace tavo::ctl;
using tavo::status::readingOf;

class TestCtlCheck : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void verdict_data();
    void verdict();
    void range_data();
    void range();
};

void TestCtlCheck::verdict_data() {
    QTest::addColumn<QByteArray>("power");
    QTest::addColumn<QByteArray>("hours");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QString>("critical");
    QTest::addColumn<int>("status");

    const auto row = [](const char* name, const char* power, const char* hours, const char* warning,
                        const char* critical, int status) {
        QTest::addRow("%s", name) << QByteArray(power) << QByteArray(hours)
                                  << QString::fromLatin1(warning) << QString::fromLatin1(critical)
                                  << status;
    };
    row("on, no thresholds", "00", "01234", "", "", check_status::kOk);
    row("power failure", "10", "00001", "", "", check_status::kCritical);
    row("lamp failure", "81", "00001", "", "", check_status::kCritical);
    row("temperature warning", "08", "00001", "", "", check_status::kWarning);
    row("lamp hours past warning", "00", "01900", "1800,45", "2000,50", check_status::kWarning);
    row("lamp hours past critical", "00", "02001", "1800,45", "2000,50", check_status::kCritical);
    row("hottest sensor past warning", "00", "00001", ",40", ",50", check_status::kWarning);
    row("a malformed reading: unknown", "00", "1", "", "", check_status::kUnknown);
    row("temperature warning and hours past critical: the worse", "08", "02001", "", "2000",
        check_status::kCritical);
}

void TestCtlCheck::verdict() {
    QFETCH(QByteArray, power);
    QFETCH(QByteArray, hours);
    QFETCH(QString, warning);
    QFETCH(QString, critical);
    QFETCH(int, status);
    QString problem;
    const auto thresholds = parseThresholds(warning, critical, problem);
    QVERIFY2(thresholds, qPrintable(problem));
    const CheckResult result =
        evaluate({readingOf("CR0", power + '\r'), readingOf("CR3", hours + '\r'),
                  readingOf("CR6", "035.5,042.0,038.5\r"), readingOf("CR PRESSURE", "852\r")},
                 *thresholds);
    QCOMPARE(result.status, status);
    const QStringList words{"OK", "WARNING", "CRITICAL", "UNKNOWN"};
    QVERIFY2(result.line.startsWith(QStringLiteral("TAVO %1 - ").arg(words[status])),
             qPrintable(result.line));
    if (status == check_status::kUnknown)
        return;
    QVERIFY2(result.line.contains(QStringLiteral(" | lamp_hours=%1;").arg(hours.toInt())) &&
                 result.line.contains(QStringLiteral(" temperature_s2=42.0;")) &&
                 result.line.contains(QStringLiteral(" air_pressure=1012;")),
             qPrintable(result.line));
}

void TestCtlCheck::range_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("alerts"); // -1: no range
    QTest::addRow("end only, inside") << "10" << 10.0 << 0;
    QTest::addRow("end only, above") << "10" << 10.5 << 1;
    QTest::addRow("no start") << "~:10" << -1e9 << 0;
    QTest::addRow("inside alerts") << "@10:20" << 15.0 << 1;
    QTest::addRow("start above end") << "20:10" << 0.0 << -1;
    QTest::addRow("words") << "hot" << 0.0 << -1;
}

void TestCtlCheck::range() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(int, alerts);
    const auto range = parseRange(text);
    QCOMPARE(range.has_value(), alerts >= 0);
    if (range)
        QCOMPARE(range->alerts(value), alerts == 1);
}

QTEST_GUILESS_MAIN(TestCtlCheck)
#include "tst_ctl_check.moc"
