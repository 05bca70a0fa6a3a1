#include "runner.h"

#include "commands/controller.h"

#include <algorithm>
#include <utility>

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
    connect(&deadline_, &QTimer::timeout, this, &Runner::onDeadline);
    connect(&transaction_, &link::Transaction::finished, this, &Runner::onResult);
}

void Runner::start(QList<Step> steps, bool moreToCome) {
    steps_ = std::move(steps);
    moreToCome_ = moreToCome;
    // --until comes with commands given as arguments, never an empty list.
    if (!options_.until.isEmpty() && !isCodedQuery(steps_.back()))
        steps_.append(untilStep(steps_));
    index_ = 0;
    if (const auto deadline = options_.deadline())
        deadline_.start(*deadline);
    idle_ = steps_.isEmpty();
    if (!idle_)
        sendNextAfter(milliseconds(0));
}

void Runner::append(const QList<Step>& steps) {
    if (done_ || steps.isEmpty())
        return;
    steps_ += steps;
    if (std::exchange(idle_, false))
        sendNextAfter(milliseconds(0));
}

void Runner::endSteps() {
    moreToCome_ = false;
    if (idle_ && !done_)
        finish(exit_status::kSuccess);
}

void Runner::next() {
    if (++index_ < steps_.size()) {
        sendNextAfter(milliseconds(0));
        return;
    }
    if (moreToCome_) {
        idle_ = true;
        return;
    }
    finish(exit_status::kSuccess);
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
    } else if (!step.command.key) {
        // A query only the entry sends: as a one-shot sender of plain timing.
        controller_.sendOneShot({{}, step.command.code(), commands::TimingClass::Plain});
    } else {
        controller_.press(*step.command.key);
        period_ = controller_.repeatTimer().intervalAsDuration();
        // The repeats are paced here, each after the last reply, not by Timer1.
        controller_.repeatTimer().stop();
        ++framesSent_;
    }
    // After the controller, which may set the panel's timing before or after
    // sending: a new interval restarts the running reply timer from now.
    const link::ReplyTiming timing = exchange.replyTiming();
    const milliseconds clearAfter =
        std::max(milliseconds(0), timing.traceClear - timing.replyTimeout);
    replyTimeout_ = options_.replyTimeout.value_or(replyTimeoutOf(step));
    exchange.setReplyTiming({replyTimeout_, replyTimeout_ + clearAfter});
}

void Runner::onResult(const link::ExchangeResult& result) {
    if (done_)
        return;
    const Step& step = steps_[index_];
    const Judgement judgement = judge(result, step.expected());
    Q_EMIT judged(judgement);
    if (polling()) {
        onUntilResult(result, judgement);
        return;
    }
    print(step, result, judgement);
    if (exitStatusOf(judgement.verdict) != exit_status::kSuccess) {
        fail(step, result, judgement);
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
    next();
}

void Runner::onUntilResult(const link::ExchangeResult& result, const Judgement& judgement) {
    const Step& step = steps_[index_];
    if (options_.verbose)
        print(step, result, judgement);
    if (judgement.verdict == Verdict::PortFailed) {
        if (!options_.verbose)
            print(step, result, judgement);
        fail(step, result, judgement);
        return;
    }
    lastPoll_ = judgement;
    lastFailure_ = failureMessage(step.name(), result, judgement, replyTimeout_, options_.device);
    if (judgement.reading && judgement.reading->isValue() &&
        options_.until.contains(judgement.reading->token)) {
        if (!options_.verbose)
            print(step, result, judgement);
        finish(exit_status::kSuccess);
        return;
    }
    sendNextAfter(options_.every - milliseconds(sentClock_.elapsed()));
}

void Runner::onDeadline() {
    if (done_)
        return;
    const QString within = durationText(*options_.deadline());
    if (!polling()) {
        abort(exit_status::kNoReply,
              QStringLiteral("tavo-ctl: %1: not finished on %2 within %3 (--timeout)")
                  .arg(steps_[index_].name(), options_.device, within),
              QStringLiteral("timeout"));
        return;
    }
    const QString awaited = options_.until.join(QStringLiteral(" or "));
    if (!lastPoll_) {
        // A line that keeps talking unasked is waited on before a frame goes out.
        const QString what = transaction_.isSettling()
                                 ? QStringLiteral("nothing sent: %2 did not go quiet within %3")
                                 : QStringLiteral("no reply from %2 within %3");
        abort(exit_status::kNoReply,
              (QStringLiteral("tavo-ctl: %1: ") + what + QStringLiteral(" (awaiting %4)"))
                  .arg(steps_[index_].name(), options_.device, within, awaited),
              QStringLiteral("timeout"));
        return;
    }
    if (lastPoll_->verdict == Verdict::Replied) {
        abort(exit_status::kWrongState,
              QStringLiteral("tavo-ctl: %1: still %2 on %3 after %4 (awaiting %5)")
                  .arg(steps_[index_].name(), lastPoll_->reading->token, options_.device, within,
                       awaited),
              QStringLiteral("wrong-state"));
        return;
    }
    abort(exitStatusOf(lastPoll_->verdict), lastFailure_, verdictName(lastPoll_->verdict));
}

void Runner::print(const Step& step, const link::ExchangeResult& result,
                   const Judgement& judgement) {
    if (const QString warning = strayBytesWarning(step.name(), judgement, options_.device);
        !warning.isEmpty())
        err_(warning);
    switch (options_.output) {
    case OutputForm::Json:
        out_(QString::fromUtf8(jsonLine(
            step.name(), result, judgement, options_.device,
            failureMessage(step.name(), result, judgement, replyTimeout_, options_.device))));
        return;
    case OutputForm::Trace:
        for (const QString& line : traceLines(result))
            out_(line);
        return;
    case OutputForm::Words:
    case OutputForm::Value:
    case OutputForm::Quiet:
        break;
    }
    if (const auto line =
            outputLine(step.name(), result, judgement, options_.output, options_.verbose))
        out_(*line);
}

void Runner::sendNextAfter(milliseconds delay) {
    pause_.start(std::max(milliseconds(0), delay));
}

void Runner::fail(const Step& step, const link::ExchangeResult& result,
                  const Judgement& judgement) {
    abort(exitStatusOf(judgement.verdict),
          failureMessage(step.name(), result, judgement, replyTimeout_, options_.device));
}

void Runner::abort(int exitStatus, const QString& message, const QString& outcome) {
    if (done_)
        return;
    failure_ = message;
    err_(message);
    if (!outcome.isEmpty() && options_.output == OutputForm::Json)
        out_(QString::fromUtf8(jsonFailure(outcome, exitStatus, options_.device, message)));
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
