#include "pjlink/projector_line.h"

namespace tavo::pjlink {

ProjectorLine::ProjectorLine(std::unique_ptr<link::SerialLink> port, Settings settings,
                             QObject* parent)
    : QObject(parent), settings_(std::move(settings)), exchange_(std::move(port)),
      controller_(exchange_), transaction_(exchange_),
      keeper_(exchange_.port(), {settings_.device}) {
    keeper_.reopenEvery(settings_.reopenInterval);
    connect(&keeper_, &link::PortKeeper::opened, this, [this] {
        Q_EMIT logLine(QStringLiteral("serial port open: %1 at %2")
                           .arg(settings_.device, settings_.portSettings));
    });
    connect(&keeper_, &link::PortKeeper::openFailed, this, [this](const QString& description) {
        Q_EMIT logLine(QStringLiteral("serial port closed: %1 Trying again every %2 ms.")
                           .arg(description)
                           .arg(settings_.reopenInterval.count()));
    });
    connect(&transaction_, &link::Transaction::finished, this, &ProjectorLine::onStepFinished);
    // Connected after the transaction's own handler, which ends the running
    // step first.
    connect(&exchange_.port(), &link::SerialLink::deviceLost, this, &ProjectorLine::onDeviceLost);
}

void ProjectorLine::start() {
    link::SerialLink& port = exchange_.port();
    if (!port.setSettings(settings_.portSettings)) {
        Q_EMIT logLine(QStringLiteral("serial port: %1").arg(port.errorDescription()));
        return;
    }
    keeper_.open();
}

bool ProjectorLine::isOpen() const {
    return exchange_.port().isOpen();
}

void ProjectorLine::onDeviceLost(const QString& description) {
    Q_EMIT logLine(QStringLiteral("serial device lost: %1 Every request waiting gets ERR4; "
                                  "trying to reopen every %2 ms.")
                       .arg(description)
                       .arg(settings_.reopenInterval.count()));
    std::deque<Job> waiting;
    waiting.swap(queue_);
    for (Job& job : waiting)
        fail(job, kProjectorFailure, QStringLiteral("serial device lost"));
}

void ProjectorLine::submit(const Mapping& mapping, QObject* client, Done done) {
    Job job;
    job.mapping = &mapping;
    job.client = client;
    job.done = std::move(done);
    job.waiting.start();
    job.queries = queriesFor(mapping);
    job.senders = sendersFor(mapping);
    queue_.push_back(std::move(job));
    scheduleRunNext();
}

// Steps continue from the event loop rather than from inside the signal that
// ended the last one, so the exchange is never re-entered.
void ProjectorLine::scheduleRunNext() {
    if (runScheduled_ || running_)
        return;
    runScheduled_ = true;
    QMetaObject::invokeMethod(this, &ProjectorLine::runNext, Qt::QueuedConnection);
}

void ProjectorLine::runNext() {
    runScheduled_ = false;
    while (!running_ && !queue_.empty()) {
        Job job = std::move(queue_.front());
        queue_.pop_front();
        if (!job.client)
            continue;
        if (job.waiting.elapsed() > settings_.queueLimit.count()) {
            fail(job, kUnavailableTime,
                 QStringLiteral("waited %1 ms for the serial line").arg(job.waiting.elapsed()));
            continue;
        }
        if (!isOpen()) {
            fail(job, kProjectorFailure, QStringLiteral("serial port closed"));
            continue;
        }
        job.served.queuedNs = job.waiting.nsecsElapsed();
        running_ = std::move(job);
        runStep();
    }
}

void ProjectorLine::runStep() {
    Job& job = *running_;
    if (job.step == job.queries.size()) {
        if (const auto refusal = gateRefusal(*job.mapping, job.served.readings)) {
            job.served.failure = refusal->toByteArray();
            finish(job);
            return;
        }
    }
    if (job.step >= job.queries.size() + job.senders.size()) {
        finish(job);
        return;
    }
    transaction_.begin();
    stepClock_.start();
    if (job.step < job.queries.size())
        exchange_.send(commands::codeBytes(status::statusQuery(job.queries[job.step]).code));
    else
        controller_.sendOneShot(*job.senders[job.step - job.queries.size()]);
}

void ProjectorLine::onStepFinished(const link::ExchangeResult& result) {
    if (!running_)
        return;
    Job& job = *running_;
    const bool isQuery = job.step < job.queries.size();
    StepRecord record{result.frame, result.outcome, result.reply,
                      {},           result.failure, stepClock_.nsecsElapsed()};
    if (isQuery) {
        const status::Reports query = job.queries[job.step];
        job.served.readings[query] = Reading{result.reply, result.status};
        // Only a code's text says more than the reply itself.
        if (status::statusQuery(query).rule == status::Rule::CodeTable)
            record.status = result.status;
    }
    job.served.serialNs += record.elapsedNs;
    job.served.steps.append(record);
    if (const auto failure = stepFailure(result.outcome, isQuery)) {
        job.served.failure = failure->toByteArray();
        finish(job);
        return;
    }
    ++job.step;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (running_)
                runStep();
        },
        Qt::QueuedConnection);
}

void ProjectorLine::finish(Job& job) {
    Job done = std::move(job);
    running_.reset();
    if (done.client)
        done.done(done.served);
    scheduleRunNext();
}

void ProjectorLine::fail(Job& job, QByteArrayView error, const QString& note) {
    job.served.failure = error.toByteArray();
    job.served.note = note;
    if (job.client)
        job.done(job.served);
}

} // namespace tavo::pjlink
