#include "bench/figures.h"

#include <QStringBuilder>

#include <algorithm>
#include <cmath>

namespace tavo::bench {

namespace {

// p99 of fewer runs than this is the maximum or next to it.
constexpr std::size_t kRunsForP99 = 100;

QString number(double value) {
    const double magnitude = std::abs(value);
    const int decimals = magnitude >= 100 ? 0 : magnitude >= 10 ? 1 : magnitude >= 1 ? 2 : 3;
    return QString::number(value, 'f', decimals);
}

struct Row {
    QStringList cells;
};

std::vector<Row> figureRows(const std::vector<Figure>& figures) {
    std::vector<Row> rows;
    QString group;
    for (const Figure& figure : figures) {
        if (figure.group != group) {
            group = figure.group;
            rows.push_back({{group}});
        }
        if (figure.samples.empty()) {
            rows.push_back(
                {{figure.name, QStringLiteral("—"), QStringLiteral("—"), QStringLiteral("—"),
                  QStringLiteral("—"), QStringLiteral("0"), figure.unit, figure.note}});
            continue;
        }
        const Summary s = summarize(figure.samples);
        rows.push_back({{figure.name, number(s.median), number(s.p90),
                         s.p99 ? number(*s.p99) : QStringLiteral("—"), number(s.max),
                         QString::number(s.runs), figure.unit, figure.note}});
    }
    return rows;
}

const QStringList kFigureHeader{QStringLiteral("figure"), QStringLiteral("median"),
                                QStringLiteral("p90"),    QStringLiteral("p99"),
                                QStringLiteral("max"),    QStringLiteral("runs"),
                                QStringLiteral("unit"),   QStringLiteral("note")};
const QStringList kTargetHeader{QStringLiteral("target"), QStringLiteral("measured"),
                                QStringLiteral("met")};

QString verdict(const Target& target) {
    if (!target.met)
        return QStringLiteral("not measured");
    return *target.met ? QStringLiteral("yes") : QStringLiteral("NO");
}

// Columns padded to their widest cell; a one-cell row is a group heading.
QString alignedTable(const QStringList& header, const std::vector<Row>& rows) {
    std::vector<qsizetype> widths(std::size_t(header.size()));
    const auto widen = [&](const QStringList& cells) {
        if (cells.size() == 1)
            return;
        for (qsizetype i = 0; i < cells.size(); ++i)
            widths[std::size_t(i)] = std::max(widths[std::size_t(i)], cells[i].size());
    };
    widen(header);
    for (const Row& row : rows)
        widen(row.cells);
    const auto line = [&](const QStringList& cells) {
        if (cells.size() == 1)
            return QStringLiteral("\n") + cells.front() + u'\n';
        QString text;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            const bool left = i == 0 || i >= cells.size() - 2;
            const qsizetype width = widths[std::size_t(i)];
            text += (left ? cells[i].leftJustified(width) : cells[i].rightJustified(width));
            text += QStringLiteral("  ");
        }
        return text.trimmed() + u'\n';
    };
    QString text = line(header);
    for (const Row& row : rows)
        text += line(row.cells);
    return text;
}

QString markdownTable(const QStringList& header, const std::vector<Row>& rows) {
    const auto line = [&](const QStringList& cells) {
        QStringList padded = cells;
        if (padded.size() == 1) {
            padded.front() = QStringLiteral("**") + padded.front() + QStringLiteral("**");
            while (padded.size() < header.size())
                padded.append(QString());
        }
        return QStringLiteral("| ") + padded.join(QStringLiteral(" | ")) + QStringLiteral(" |\n");
    };
    QString text = line(header);
    QStringList rule;
    for (qsizetype i = 0; i < header.size(); ++i)
        rule.append(QStringLiteral("---"));
    text += line(rule);
    for (const Row& row : rows)
        text += line(row.cells);
    return text;
}

std::vector<Row> targetRows(const std::vector<Target>& targets) {
    std::vector<Row> rows;
    for (const Target& target : targets)
        rows.push_back({{target.what, target.measured, verdict(target)}});
    return rows;
}

} // namespace

double percentile(std::vector<double> samples, double share) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const auto rank = std::size_t(std::ceil(share * double(samples.size())));
    return samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1];
}

Summary summarize(std::vector<double> samples) {
    Summary summary;
    summary.runs = samples.size();
    if (samples.empty())
        return summary;
    summary.median = percentile(samples, 0.5);
    summary.p90 = percentile(samples, 0.9);
    if (samples.size() >= kRunsForP99)
        summary.p99 = percentile(samples, 0.99);
    summary.max = *std::max_element(samples.begin(), samples.end());
    return summary;
}

const Figure* findMeasured(const std::vector<Figure>& figures, const QString& name) {
    const auto found = std::find_if(figures.begin(), figures.end(),
                                    [&](const Figure& f) { return f.name == name; });
    return found == figures.end() || found->samples.empty() ? nullptr : &*found;
}

QString plainText(const Report& report) {
    return report.title + u'\n' + report.context.join(u'\n') + u'\n' +
           alignedTable(kFigureHeader, figureRows(report.figures)) + QStringLiteral("\nTargets\n") +
           alignedTable(kTargetHeader, targetRows(report.targets));
}

QString markdown(const Report& report) {
    QString text = QStringLiteral("# ") + report.title + QStringLiteral("\n\n");
    for (const QString& line : report.context)
        text += QStringLiteral("- ") + line + u'\n';
    return text + u'\n' + markdownTable(kFigureHeader, figureRows(report.figures)) +
           QStringLiteral("\n## Targets\n\n") +
           markdownTable(kTargetHeader, targetRows(report.targets));
}

QString toLines(const std::vector<Figure>& figures) {
    QString text;
    for (const Figure& figure : figures) {
        QStringList samples;
        for (const double sample : figure.samples)
            samples.append(QString::number(sample, 'g', 10));
        text += QStringList{figure.group, figure.name, figure.unit, figure.note, samples.join(u',')}
                    .join(u'\t') +
                u'\n';
    }
    return text;
}

std::optional<std::vector<Figure>> fromLines(const QString& text) {
    std::vector<Figure> figures;
    for (const QString& line : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u'\t');
        if (fields.size() != 5)
            return std::nullopt;
        Figure figure{fields[0], fields[1], fields[2], {}, fields[3]};
        for (const QString& sample : fields[4].split(u',', Qt::SkipEmptyParts))
            figure.samples.push_back(sample.toDouble());
        figures.push_back(figure);
    }
    return figures;
}

} // namespace tavo::bench
