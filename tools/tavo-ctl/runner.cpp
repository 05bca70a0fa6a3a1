#include "runner.h"

#include "commands/controller.h"

#include <algorithm>

namespace tavo::ctl {

using std::chrono::milliseconds;

namespace {

QString durationText(milliseconds duration) {
    if (duration.count() % 1000 == 0)
        return QStringLiteral("%1 s").arg(duration.count() / 1000);
    return QStringLiteral("%1 ms").arg(duration.count());
}

} // namespace

Runner::Runner(commands::Controller& controller, RunOptions options, Writer out, Writer err,
               QObject* parent)
    : QObject(parent), controller_(controller), transaction_(controller.exchange()),
      options_(std::move(options)), out_(std::move(out)), err_(std::move(err)) {
    pause_.setSingleShot(true);
    pause_.setTimerType(Qt::PreciseTimer);
    deadline_.setSingleShot(true);
    connect(&pause_, &QTimer::timeout, this, &Runner::sendCurrent);
    connect(&deadline_, &QTimer::timeout, this, &Runner::onUntilDeadline);
    connect(&transaction_, &link::Transaction::finished, this, &Runner::onResult);
}

void Runner::start(QList<Step> steps) {
    steps_ = std::move(steps);
    index_ = 0;
    if (options_.until)
        deadline_.start(options_.untilTimeout());
    sendNextAfter(milliseconds(0));
}

// After a reply timeout the transaction first waits for the line to go
// quiet, so that a late reply is not taken for this step's.
void Runner::sendCurrent() {
    if (done_)
        return;
    transaction_.run([this] { sendStep(); });
}

void Runner::sendStep() {
    if (done_)
        return;
    const Step& step = steps_[index_];
    link::Exchange& exchange = controller_.exchange();
    sentClock_.start();
    if (step.isTyped()) {
        controller_.sendTyped(step.typedText);
    } else if (step.command.sender) {
        controller_.sendOneShot(*step.command.sender);
    } else {
        controller_.press(*step.command.key);
        period_ = controller_.repeatTimer().intervalAsDuration();
        // The repeats are paced here, each after the last reply, not by Timer1.
        controller_.repeatTimer().stop();
        ++framesSent_;
    }
    // After the controller, which may set the timing before or after sending:
    // a new interval restarts the running reply timer from now.
    if (options_.timeout && !options_.until) {
        const link::ReplyTiming timing = exchange.replyTiming();
        const milliseconds clearAfter =
            std::max(milliseconds(0), timing.traceClear - timing.replyTimeout);
        exchange.setReplyTiming({*options_.timeout, *options_.timeout + clearAfter});
    }
    replyTimeout_ = exchange.replyTiming().replyTimeout;
}

void Runner::onResult(const link::ExchangeResult& result) {
    if (done_)
        return;
    const Step& step = steps_[index_];
    const Verdict verdict = verdictOf(result, step.expected());
    print(step, result, verdict);
    if (options_.until) {
        onUntilResult(result, verdict);
        return;
    }
    if (const int status = exitStatusOf(verdict); status != exit_status::kSuccess) {
        stop(status, failureMessage(step.name(), verdict, replyTimeout_, options_.device));
        return;
    }
    if (step.isHoldKey()) {
        if (framesSent_ < options_.repeat) {
            sendNextAfter(period_ - milliseconds(sentClock_.elapsed()));
            return;
        }
        controller_.release(*step.command.key);
        framesSent_ = 0;
    }
    if (++index_ == steps_.size()) {
        finish(exit_status::kSuccess);
        return;
    }
    sendNextAfter(milliseconds(0));
}

void Runner::onUntilResult(const link::ExchangeResult& result, Verdict verdict) {
    const Step& step = steps_[index_];
    if (verdict == Verdict::PortFailed) {
        stop(exit_status::kPortFailed,
             failureMessage(step.name(), verdict, replyTimeout_, options_.device));
        return;
    }
    if (result.status && result.status->trimmed() == options_.until->trimmed()) {
        finish(exit_status::kSuccess);
        return;
    }
    lastLine_ = resultLine(result);
    sendNextAfter(options_.every - milliseconds(sentClock_.elapsed()));
}

void Runner::onUntilDeadline() {
    if (done_)
        return;
    const QString last = lastLine_.isNull() ? QStringLiteral("no reply had ended")
                                            : QStringLiteral("last: \"%1\"").arg(lastLine_);
    stop(exit_status::kNoReply, QStringLiteral("tavo-ctl: %1: did not read \"%2\" within %3 (%4)")
                                    .arg(steps_[index_].name(), options_.until->trimmed(),
                                         durationText(options_.untilTimeout()), last));
}

void Runner::print(const Step& step, const link::ExchangeResult& result, Verdict verdict) {
    if (options_.json) {
        out_(QString::fromUtf8(jsonLine(step.name(), result, verdict)));
        return;
    }
    if (options_.trace) {
        for (const QString& line : traceLines(result))
            out_(line);
        return;
    }
    // A failed port has no received trace; the reason goes to standard error.
    if (const QString line = resultLine(result); !line.isEmpty())
        out_(line);
}

void Runner::sendNextAfter(milliseconds delay) {
    pause_.start(std::max(milliseconds(0), delay));
}

void Runner::stop(int exitStatus, const QString& message) {
    err_(message);
    QStringList notRun;
    for (qsizetype i = index_ + 1; i < steps_.size(); ++i)
        notRun.append(steps_[i].name());
    if (!notRun.isEmpty())
        err_(QStringLiteral("tavo-ctl: not sent: %1").arg(notRun.join(QStringLiteral(", "))));
    finish(exitStatus);
}

void Runner::finish(int exitStatus) {
    done_ = true;
    pause_.stop();
    deadline_.stop();
    Q_EMIT finished(exitStatus);
}

} // namespace tavo::ctl
