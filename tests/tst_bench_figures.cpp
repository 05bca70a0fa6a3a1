// The arithmetic and the plumbing of make bench's table: percentiles by
// nearest rank, p99 only from enough runs, figures crossing from the part
// run under Xvfb to the driver, and a table that names what was not measured.
#include "bench/figures.h"

#include <QTest>

using namespace tavo::bench;

namespace {

std::vector<double> oneTo(int count) {
    std::vector<double> samples;
    for (int i = count; i >= 1; --i) // out of order on purpose
        samples.push_back(i);
    return samples;
}

} // namespace

class TestBenchFigures : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void summaries_data();
    void summaries();
    void figuresCrossIntact();
    void malformedLinesAreRefused_data();
    void malformedLinesAreRefused();
    void tableNamesWhatWasNotMeasured();
};

void TestBenchFigures::summaries_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("p90");
    QTest::addColumn<double>("p99"); // 0: none
    QTest::addColumn<double>("max");
    QTest::addRow("one run") << 1 << 1.0 << 1.0 << 0.0 << 1.0;
    QTest::addRow("ten runs, nearest rank") << 10 << 5.0 << 9.0 << 0.0 << 10.0;
    QTest::addRow("99 runs: no p99 yet") << 99 << 50.0 << 90.0 << 0.0 << 99.0;
    QTest::addRow("100 runs: p99") << 100 << 50.0 << 90.0 << 99.0 << 100.0;
    QTest::addRow("1000 runs") << 1000 << 500.0 << 900.0 << 990.0 << 1000.0;
}

void TestBenchFigures::summaries() {
    QFETCH(int, count);
    QFETCH(double, median);
    QFETCH(double, p90);
    QFETCH(double, p99);
    QFETCH(double, max);
    const Summary summary = summarize(oneTo(count));
    QCOMPARE(summary.runs, std::size_t(count));
    QCOMPARE(summary.median, median);
    QCOMPARE(summary.p90, p90);
    QCOMPARE(summary.p99.has_value(), p99 > 0);
    if (summary.p99)
        QCOMPARE(*summary.p99, p99);
    QCOMPARE(summary.max, max);
}

void TestBenchFigures::figuresCrossIntact() {
    const std::vector<Figure> figures{{"from outside",
                                       "start to visible window: tavo-control",
                                       "ms",
                                       {57.25, 61.5, 0.001},
                                       "a note, with a comma"},
                                      {"from outside", "not measured", "%", {}, "no window"}};
    const auto back = fromLines(toLines(figures));
    QVERIFY(back.has_value());
    QCOMPARE(back->size(), figures.size());
    for (std::size_t i = 0; i < figures.size(); ++i) {
        QCOMPARE((*back)[i].group, figures[i].group);
        QCOMPARE((*back)[i].name, figures[i].name);
        QCOMPARE((*back)[i].unit, figures[i].unit);
        QCOMPARE((*back)[i].note, figures[i].note);
        QCOMPARE((*back)[i].samples, figures[i].samples);
    }
}

void TestBenchFigures::malformedLinesAreRefused_data() {
    QTest::addColumn<QString>("text");
    QTest::addRow("too few fields") << QStringLiteral("group\tname\tms\n");
    QTest::addRow("too many fields") << QStringLiteral("g\tn\tms\tnote\t1,2\textra\n");
    QTest::addRow("one good line, one bad")
        << QStringLiteral("g\tn\tms\tnote\t1,2\nnot a figure\n");
}

void TestBenchFigures::malformedLinesAreRefused() {
    QFETCH(QString, text);
    QVERIFY(!fromLines(text).has_value());
}

void TestBenchFigures::tableNamesWhatWasNotMeasured() {
    Report report;
    report.title = QStringLiteral("title");
    report.figures = {{"group", "measured", "µs", {1, 2, 3}, QString()},
                      {"group", "absent", "ms", {}, "not yet measured"}};
    report.targets = {{QStringLiteral("a target"), QStringLiteral("—"), std::nullopt},
                      {QStringLiteral("met"), QStringLiteral("1"), true},
                      {QStringLiteral("missed"), QStringLiteral("2"), false}};
    const QString text = markdown(report);
    QVERIFY(text.contains(QStringLiteral("| measured | 2.00 | 3.00 | — | 3.00 | 3 | µs |  |")));
    QVERIFY(
        text.contains(QStringLiteral("| absent | — | — | — | — | 0 | ms | not yet measured |")));
    QVERIFY(text.contains(QStringLiteral("| a target | — | not measured |")));
    QVERIFY(text.contains(QStringLiteral("| met | 1 | yes |")));
    QVERIFY(text.contains(QStringLiteral("| missed | 2 | NO |")));
    QVERIFY(plainText(report).contains(QStringLiteral("not yet measured")));
}

QTEST_GUILESS_MAIN(TestBenchFigures)
#include "tst_bench_figures.moc"
