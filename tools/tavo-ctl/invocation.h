#pragma once
// The command line of tavo-ctl read into what to do, without touching a
// device: the port, the reply and waiting options, and the steps. Usage
// errors come back as one message (exit status 2).

#include "command_words.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <chrono>
#include <optional>

namespace tavo::ctl {

using std::chrono::milliseconds;

inline constexpr milliseconds kDefaultEvery{2000};
inline constexpr milliseconds kDefaultUntilTimeout{90'000};
inline constexpr milliseconds kLongestDuration{24 * 3600 * 1000};
inline constexpr int kMostRepeats = 1000;

struct RunOptions {
    QString device;
    int baud = 19200;
    // Alone: the reply timeout of every frame. With until: how long to keep asking.
    std::optional<milliseconds> timeout;
    std::optional<QString> until;
    milliseconds every = kDefaultEvery;
    int repeat = 1; // frames per hold key
    bool json = false;
    bool trace = false;

    milliseconds untilTimeout() const { return timeout.value_or(kDefaultUntilTimeout); }
};

enum class Mode {
    Help,    // print helpText, exit 0
    Version, // print the version, exit 0
    List,    // print the names table, exit 0
    Run,     // send steps
    Script,  // read the steps from standard input, then send them
    Usage,   // print error, exit 2
};

struct Invocation {
    Mode mode = Mode::Usage;
    RunOptions options;
    QList<Step> steps;
    QString error;
    QString helpText;
};

Invocation parseCommandLine(const QStringList& arguments);

// Checks the steps of a run against its options (--until needs one decoded
// status query, --repeat a hold key); the message of the first problem, or
// nothing.
QString checkRun(const RunOptions& options, const QList<Step>& steps);

// "90s", "1.5s", "500ms" or a plain number of milliseconds; nothing for
// anything else, for zero and for more than a day.
std::optional<milliseconds> parseDuration(QStringView text);

// Whether the decoder reads the reply to this step's frame.
bool isDecodedQuery(const Step& step);

} // namespace tavo::ctl
