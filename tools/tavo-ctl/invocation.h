#pragma once
// The command line of tavo-ctl read into what to do, without touching a
// device: the port, the reply, output and waiting options, and the steps.
// Usage errors come back as one message (exit status 2).

#include "check.h"
#include "command_words.h"
#include "status/reading.h"

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

// The environment variable that names the device when --device does not.
inline constexpr char kDeviceVariable[] = "TAVO_DEVICE";

enum class OutputForm {
    Words, // the reading in words; commands print nothing
    Value, // the bare value
    Json,  // one JSON object per frame and per failure
    Trace, // the panel's trace lines
    Quiet, // nothing
};

struct RunOptions {
    QString device;
    bool deviceDefaulted = false; // neither --device nor TAVO_DEVICE named it
    int baud = 19200;
    // Each frame's reply timeout; without it, the command's own (replyTimeoutOf).
    std::optional<milliseconds> replyTimeout;
    // The deadline of the whole run; with --until, kDefaultUntilTimeout without it.
    std::optional<milliseconds> timeout;
    QStringList until; // the values awaited, lower case; empty: no waiting
    milliseconds every = kDefaultEvery;
    int repeat = 1; // frames per hold key
    OutputForm output = OutputForm::Words;
    bool verbose = false;
    std::optional<milliseconds> wait; // how long to wait for a busy port

    std::optional<milliseconds> deadline() const {
        return !until.isEmpty() ? timeout.value_or(kDefaultUntilTimeout) : timeout;
    }
};

enum class Mode {
    Help,       // print helpText, exit 0
    Version,    // print the version, exit 0
    List,       // print the names table, exit 0
    Completion, // print the bash completion, exit 0
    Run,        // send steps
    Script,     // read the steps from standard input, then send them
    Check,      // the monitoring check: its steps, then one status line
    Usage,      // print error, exit 2
};

struct Invocation {
    Mode mode = Mode::Usage;
    RunOptions options;
    QList<Step> steps;
    QString error;
    QString helpText;
    Thresholds thresholds; // Mode::Check
};

Invocation parseCommandLine(const QStringList& arguments);

// Checks the steps of a run against its options (--until needs values the
// polled query can give, --repeat a hold key); the message of the first
// problem, or nothing.
QString checkRun(const RunOptions& options, const QList<Step>& steps);

// The step that --until asks again and again: the last step when it is a
// query with coded replies, else "status" after the commands.
Step untilStep(const QList<Step>& steps);

// The steps of the monitoring check: the queries of kCheckedQuantities.
QList<Step> checkSteps();

// The reply timeout of a step: long enough for the projector at 9600 baud,
// the same whatever ran before.
milliseconds replyTimeoutOf(const Step& step);

// "90s", "1.5s", "500ms" or a plain number of milliseconds; nothing for
// anything else, for zero and for more than a day.
std::optional<milliseconds> parseDuration(QStringView text);

// The query that this step's frame sends, when it sends one with a typed
// reading; nullptr otherwise.
const status::ReadQuery* readQueryOf(const Step& step);
// Whether it is a query with coded replies, which --until can wait for.
bool isCodedQuery(const Step& step);

} // namespace tavo::ctl
