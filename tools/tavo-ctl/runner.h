#pragma once
// Runs the steps of one call in order over an open exchange, each exactly as
// the panel sends it (Controller: the timing class sets the reply timeout),
// and waits for each reply with a Transaction. Prints a line (or a JSON
// object, or the traces) per frame and ends with the exit status: the first
// step that does not succeed stops the run.
//
// A hold key's frame goes out as the panel's press sends it; repeats are
// paced here at the key's own period, each after the last one's reply, and
// the key is released after its last frame. With --until the one query is
// asked every --every until its decoded text is the one awaited or the
// --until timeout ends the run.

#include "command_words.h"
#include "invocation.h"
#include "exchange/transaction.h"
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
    // comes from there too.
    void start(QList<Step> steps);

Q_SIGNALS:
    void finished(int exitStatus);

private:
    void sendCurrent();
    void onResult(const link::ExchangeResult& result);
    void onUntilResult(const link::ExchangeResult& result, Verdict verdict);
    void onUntilDeadline();
    void print(const Step& step, const link::ExchangeResult& result, Verdict verdict);
    void sendNextAfter(std::chrono::milliseconds delay);
    void stop(int exitStatus, const QString& message);
    void finish(int exitStatus);

    commands::Controller& controller_;
    link::Transaction transaction_;
    RunOptions options_;
    Writer out_;
    Writer err_;
    QList<Step> steps_;
    qsizetype index_ = 0;
    int framesSent_ = 0;                        // of the current hold key
    std::chrono::milliseconds period_{0};       // the current hold key's repeat period
    std::chrono::milliseconds replyTimeout_{0}; // in force for the latest frame
    QElapsedTimer sentClock_;                   // since the latest frame went out
    QTimer pause_;                              // until the next frame goes out
    QTimer deadline_;                           // the end of --until
    QString lastLine_;                          // --until: the latest result line
    bool done_ = false;
};

} // namespace tavo::ctl
