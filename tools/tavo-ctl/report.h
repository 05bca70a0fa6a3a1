#pragma once
// What tavo-ctl prints and returns for one frame's exchange, as pure
// functions of its result: the verdict, the exit status, the result line
// (the status text where the panel's status line would show one, else the
// received trace), the trace lines, the JSON object and the message that
// explains a failure. Also the --list table.

#include "command_words.h"
#include "exchange/transaction.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>

namespace tavo::ctl {

namespace exit_status {
inline constexpr int kSuccess = 0;
inline constexpr int kRefused = 1;
inline constexpr int kUsage = 2;
inline constexpr int kNoReply = 3;
inline constexpr int kPortFailed = 4;
} // namespace exit_status

// The exchange's outcome, judged against what the step expects.
enum class Verdict {
    Acknowledged,   // a lone ACK
    Replied,        // a whole reply (ending in a carriage return) to a query or typed frame
    Refused,        // a lone NAK
    Unacknowledged, // a command answered with something other than ACK or NAK
    Unfinished,     // bytes came, but no whole reply within the reply timeout
    NoReply,        // nothing within the reply timeout
    PortFailed,     // the device failed or was lost
};

Verdict verdictOf(const link::ExchangeResult& result, Expected expected);
int exitStatusOf(Verdict verdict);
// "acknowledged", "replied", "refused", ... as in the JSON output.
QString verdictName(Verdict verdict);

// The one line printed per frame.
QString resultLine(const link::ExchangeResult& result);
// The panel's two trace lines, then the status line when it shows one.
QStringList traceLines(const link::ExchangeResult& result);
// One compact JSON object, without a line break.
QByteArray jsonLine(const QString& name, const link::ExchangeResult& result, Verdict verdict);

// Why a step did not succeed, for standard error; empty on success.
QString failureMessage(const QString& name, Verdict verdict, std::chrono::milliseconds replyTimeout,
                       const QString& device);

// Every name, its code and what its reply means, one a line, in columns.
QString listText();

} // namespace tavo::ctl
