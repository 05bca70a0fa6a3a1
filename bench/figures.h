#pragma once
// A measured figure, its summary (median, p90, p99, max over the runs), the
// targets it is held to, and the one table `make bench` prints and writes as
// Markdown. Figures cross from the part of the run under the X server to the
// driver as tab-separated lines.

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace tavo::bench {

struct Figure {
    QString group; // in-process, pseudo-terminal, from outside, ...
    QString name;
    QString unit;
    std::vector<double> samples; // empty: not measured, see note
    QString note;
};

struct Summary {
    double median = 0;
    double p90 = 0;
    std::optional<double> p99; // only with enough runs to mean something
    double max = 0;
    std::size_t runs = 0;
};

Summary summarize(std::vector<double> samples);
// The value below which the given share of the samples lies (nearest rank).
double percentile(std::vector<double> samples, double share);

// A target: what is held to what, the value it came to and whether it is met;
// nothing measured leaves met empty.
struct Target {
    QString what;
    QString measured;
    std::optional<bool> met;
};

struct Report {
    QString title;
    QStringList context; // machine, date, versions
    std::vector<Figure> figures;
    std::vector<Target> targets;
};

// Looks a figure up by name; nullptr when it is not there or not measured.
const Figure* findMeasured(const std::vector<Figure>& figures, const QString& name);

QString plainText(const Report& report);
QString markdown(const Report& report);

// One figure per line: group, name, unit, note, samples separated by commas.
QString toLines(const std::vector<Figure>& figures);
// Nothing when a line is not such a figure.
std::optional<std::vector<Figure>> fromLines(const QString& text);

} // namespace tavo::bench
