#pragma once
// What tavo-ctl prints and returns for one frame's exchange, as pure
// functions of its result: the judgement (verdict, typed reading, warning),
// the exit status, the line for standard output in each output form, the
// trace lines, the JSON records and the message that explains a failure.
// Also the --list table and the table of exit statuses for --help.

#include "command_words.h"
#include "exchange/transaction.h"
#include "invocation.h"
#include "status/reading.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <span>

namespace tavo::ctl {

namespace exit_status {
inline constexpr int kSuccess = 0;
inline constexpr int kRefused = 1; // also: standard output could not be written
inline constexpr int kUsage = 2;
inline constexpr int kNoReply = 3;
inline constexpr int kPortFailed = 4;
inline constexpr int kBusy = 5;
inline constexpr int kMalformed = 6;
inline constexpr int kWrongState = 7;
inline constexpr int kSignalBase = 128; // + the signal's number
} // namespace exit_status

// Every exit status and what it means, one a line, indented by two blanks.
QString exitStatusText();

// The exchange's outcome, judged against what the step expects.
enum class Verdict {
    Acknowledged,   // ACK first (stray bytes after it only warned about)
    Replied,        // a whole reply; for a status query one that fits its format
    Refused,        // NAK first
    Unacknowledged, // a command answered with something other than ACK or NAK
    Malformed,      // a status query's reply that does not fit its format
    Unfinished,     // bytes came, but no carriage return within the reply timeout
    NoReply,        // nothing within the reply timeout
    PortFailed,     // the device failed or was lost
};

struct Judgement {
    Verdict verdict = Verdict::NoReply;
    std::optional<status::Reading> reading; // when a status query's reply ended
    QString strayBytes;                     // after the ACK, NAK or carriage return, escaped
};

Judgement judge(const link::ExchangeResult& result, Expected expected);
int exitStatusOf(Verdict verdict);
// "acknowledged", "replied", "refused", ... as in the JSON output.
QString verdictName(Verdict verdict);

// What goes to standard output for one frame; nothing for no line.
std::optional<QString> outputLine(const QString& name, const link::ExchangeResult& result,
                                  const Judgement& judgement, OutputForm form, bool verbose);
// The panel's two trace lines, then the status line when it shows one.
QStringList traceLines(const link::ExchangeResult& result);

// One compact JSON object for a frame, without a line break; error is the
// failure message, empty on success.
QByteArray jsonLine(const QString& name, const link::ExchangeResult& result,
                    const Judgement& judgement, const QString& device, const QString& error);
// One compact JSON object for a failure before or outside any frame (usage,
// opening the port, a signal).
QByteArray jsonFailure(const QString& outcome, int exitStatus, const QString& device,
                       const QString& error);

// Why a step did not succeed, for standard error; empty on success.
QString failureMessage(const QString& name, const link::ExchangeResult& result,
                       const Judgement& judgement, std::chrono::milliseconds replyTimeout,
                       const QString& device);
// The warning about stray bytes, for standard error; empty when there were none.
QString strayBytesWarning(const QString& name, const Judgement& judgement, const QString& device);

// Every name, its code and what its reply means, one a line, in columns.
QString listText();

} // namespace tavo::ctl
