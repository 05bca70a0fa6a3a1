#include "command_words.h"

#include <QLatin1StringView>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <limits>
#include <vector>

namespace tavo::ctl {

namespace {

struct SplitName {
    QStringList words;
    const commands::CommandName* entry;
};

const std::vector<SplitName>& splitNames() {
    static const std::vector<SplitName> names = [] {
        std::vector<SplitName> list;
        for (const commands::CommandName& entry : commands::commandNames()) {
            const QString name = QLatin1StringView(entry.name.data(), qsizetype(entry.name.size()));
            list.push_back({name.split(QLatin1Char(' ')), &entry});
        }
        return list;
    }();
    return names;
}

// The words of a run, lower case, and for "send" the text it takes.
struct Words {
    QStringList lower;
    std::function<QString(qsizetype)> textFrom; // the typed text starting at word i
    qsizetype afterText;                        // how many words the text takes
};

// The longest name that the words from position start begin with.
const SplitName* longestMatch(const QStringList& words, qsizetype start) {
    const SplitName* best = nullptr;
    for (const SplitName& name : splitNames()) {
        const qsizetype count = name.words.size();
        if (start + count > words.size() || (best && count <= best->words.size()))
            continue;
        if (std::equal(name.words.begin(), name.words.end(), words.begin() + start))
            best = &name;
    }
    return best;
}

// Whether some name is longer than the one matched and begins with it: then
// the words after it may have been meant as the rest of that longer name.
bool beginsLongerName(const SplitName& matched) {
    const qsizetype count = matched.words.size();
    return std::any_of(splitNames().begin(), splitNames().end(), [&](const SplitName& name) {
        return name.words.size() > count &&
               std::equal(matched.words.begin(), matched.words.end(), name.words.begin());
    });
}

// How far a name may be from what was typed and still be offered.
qsizetype tolerance(const QString& name) {
    return std::max<qsizetype>(1, name.size() / 3);
}

// Compares the names with the phrases of as many words at each start, each
// phrase taking in the word not understood at failed; the nearest names are
// offered, those that take in more words first among equally near ones.
QString unknownNameMessage(const QStringList& words, qsizetype failed,
                           const QList<qsizetype>& starts) {
    int nearest = std::numeric_limits<int>::max();
    qsizetype widest = 0;
    QString shownPhrase = words.value(failed);
    QStringList names;
    for (const qsizetype start : starts) {
        for (const SplitName& name : splitNames()) {
            const qsizetype end = std::min(start + name.words.size(), words.size());
            if (end <= failed)
                continue;
            const QString phrase = words.mid(start, end - start).join(QLatin1Char(' '));
            const QString joined = name.words.join(QLatin1Char(' '));
            // The lengths alone rule most names out; a long word then costs
            // no table the size of word times name.
            if (std::abs(phrase.size() - joined.size()) > tolerance(joined))
                continue;
            const int distance = editDistance(phrase, joined);
            const qsizetype width = end - start;
            if (distance > tolerance(joined) || distance > nearest ||
                (distance == nearest && width < widest))
                continue;
            if (distance < nearest || width > widest) {
                nearest = distance;
                widest = width;
                names.clear();
                shownPhrase = phrase;
            }
            if (!names.contains(joined))
                names.append(joined);
        }
    }
    constexpr qsizetype kMostOffered = 5;
    if (names.isEmpty())
        return QStringLiteral("unknown command \"%1\"; tavo-ctl --list shows every name")
            .arg(shownPhrase);
    return QStringLiteral("unknown command \"%1\"; nearest names: %2")
        .arg(shownPhrase, names.mid(0, kMostOffered).join(QStringLiteral(", ")));
}

QString typedTextProblem(const QString& text) {
    if (text.isEmpty())
        return QStringLiteral("send needs the text of a frame, for example: send CR0");
    if (text.size() > kMaxTypedText)
        return QStringLiteral("the text after send is longer than %1 characters")
            .arg(kMaxTypedText);
    return {};
}

} // namespace

QString Step::name() const {
    if (isTyped())
        return kSendWord;
    return QLatin1StringView(command.entry->name.data(), qsizetype(command.entry->name.size()));
}

Expected Step::expected() const {
    if (isTyped())
        return Expected::Anything;
    return command.isQuery() ? Expected::Text : Expected::Acknowledgement;
}

namespace {

ParsedSteps parseWords(const Words& words) {
    ParsedSteps parsed;
    const QStringList& lower = words.lower;
    qsizetype previousStart =
        -1; // where the last named step began, when a longer name begins with it
    qsizetype i = 0;
    while (i < lower.size()) {
        if (lower[i] == kSendWord) {
            const QString text = i + 1 < lower.size() ? words.textFrom(i + 1) : QString();
            if (const QString problem = typedTextProblem(text); !problem.isEmpty()) {
                parsed.error = problem;
                return parsed;
            }
            parsed.steps.append(Step{{}, text});
            i = std::min(lower.size(), i + 1 + words.afterText);
            previousStart = -1;
            continue;
        }
        const SplitName* match = longestMatch(lower, i);
        if (!match) {
            QList<qsizetype> starts{i};
            if (previousStart >= 0)
                starts.append(previousStart);
            parsed.error = unknownNameMessage(lower, i, starts);
            return parsed;
        }
        parsed.steps.append(Step{commands::commandFor(*match->entry), {}});
        previousStart = beginsLongerName(*match) ? i : -1;
        i += match->words.size();
    }
    return parsed;
}

} // namespace

ParsedSteps parseArguments(const QStringList& arguments) {
    QStringList lower;
    lower.reserve(arguments.size());
    for (const QString& argument : arguments)
        lower.append(argument.toLower());
    return parseWords({lower, [&](qsizetype i) { return arguments[i]; }, 1});
}

ParsedSteps parseLine(QStringView line) {
    const QStringView trimmed = line.trimmed();
    QStringList lower;
    QList<qsizetype> starts;
    qsizetype i = 0;
    while (i < trimmed.size()) {
        if (trimmed[i].isSpace()) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < trimmed.size() && !trimmed[i].isSpace())
            ++i;
        lower.append(trimmed.sliced(start, i - start).toString().toLower());
        starts.append(start);
    }
    return parseWords({lower,
                       [&](qsizetype word) { return trimmed.sliced(starts[word]).toString(); },
                       lower.size()});
}

QString typedTextNote(const Step& step) {
    const QList<uint> codePoints = step.typedText.toUcs4();
    const bool fits =
        std::all_of(codePoints.begin(), codePoints.end(), [](uint c) { return c <= 0xFF; });
    if (fits)
        return {};
    return QStringLiteral("tavo-ctl: send: \"%1\" holds characters that one byte cannot hold; "
                          "each goes out as \"?\"")
        .arg(step.typedText);
}

int editDistance(QStringView a, QStringView b) {
    // One row of the classic table at a time.
    std::vector<int> row(std::size_t(b.size()) + 1);
    for (std::size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[std::size_t(j)];
            const int substitution = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            row[std::size_t(j)] = std::min({above + 1, row[std::size_t(j - 1)] + 1, substitution});
            diagonal = above;
        }
    }
    return row.back();
}

} // namespace tavo::ctl
