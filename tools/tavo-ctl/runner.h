#pragma once
// Runs the steps of one call in order over an open exchange, each sent
// exactly as the panel sends it (Controller), and waits for each reply with
// a Transaction under the step's own reply timeout, whatever ran before.
// Prints what the output form asks for per frame, warnings and failures on
// standard error, and ends with the exit status: the first step that does
// not succeed stops the run.
//
// A hold key's frame goes out as the panel's press sends it; repeats are
// paced here at the key's own period, each after the last one's reply, and
// the key is released after its last frame. With --until the polled query
// (the last step, or status after commands) is asked every --every until
// its value is one awaited; --timeout is the deadline of the whole run.

#include "command_words.h"
#include "exchange/transaction.h"
#include "invocation.h"
#include "report.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

namespace tavo::commands {
class Controller;
}

namespace tavo::ctl {

class Runner final : public QObject {
    Q_OBJECT
public:
    using Writer = std::function<void(const QString& line)>;

    // out and err take one line each, without its line break.
    Runner(commands::Controller& controller, RunOptions options, Writer out, Writer err,
           QObject* parent = nullptr);

    // The first frame goes out from the event loop, so finished() always
    // comes from there too. With moreToCome, the run waits for append()
    // after its last step until endSteps().
    void start(QList<Step> steps, bool moreToCome = false);
    void append(const QList<Step>& steps);
    void endSteps();
    // Ends the run at once with this message (a script line that cannot run,
    // say); outcome: the JSON record's, empty when the failed frame's record
    // is out already. Nothing once the run has ended.
    void abort(int exitStatus, const QString& message, const QString& outcome = {});
    // The message that ended the run; empty while it runs or when it succeeded.
    const QString& failure() const { return failure_; }

Q_SIGNALS:
    // Each frame's judgement, before the run goes on or ends.
    void judged(const tavo::ctl::Judgement& judgement);
    void finished(int exitStatus);

private:
    void sendCurrent();
    void sendStep();
    void onResult(const link::ExchangeResult& result);
    void onUntilResult(const link::ExchangeResult& result, const Judgement& judgement);
    void onDeadline();
    void print(const Step& step, const link::ExchangeResult& result, const Judgement& judgement);
    void sendNextAfter(std::chrono::milliseconds delay);
    void fail(const Step& step, const link::ExchangeResult& result, const Judgement& judgement);
    void next();
    void finish(int exitStatus);
    bool polling() const { return !options_.until.isEmpty() && index_ == steps_.size() - 1; }

    commands::Controller& controller_;
    link::Transaction transaction_;
    RunOptions options_;
    Writer out_;
    Writer err_;
    QList<Step> steps_; // with --until, the polled step last
    qsizetype index_ = 0;
    int framesSent_ = 0;                        // of the current hold key
    std::chrono::milliseconds period_{0};       // the current hold key's repeat period
    std::chrono::milliseconds replyTimeout_{0}; // in force for the latest frame
    QElapsedTimer sentClock_;                   // since the latest frame went out
    QTimer pause_;                              // until the next frame goes out
    QTimer deadline_;                           // the end of the whole run
    // --until: the latest poll's outcome, its reading or failure.
    std::optional<Judgement> lastPoll_;
    QString lastFailure_;
    QString failure_;
    bool moreToCome_ = false;
    bool idle_ = false; // all steps so far done, more to come
    bool done_ = false;
};

} // namespace tavo::ctl
