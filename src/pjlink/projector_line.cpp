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
        Q_EMIT opened();
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
    for (Job& job : queue_.takeAll())
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
    queue_.push(client, std::move(job));
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
        Job job = queue_.pop();
        if (!job.client)
            continue;
        if (job.waiting.elapsed() > settings_.queueLimit.count()) {
            fail(job, projectorSilent_ ? kProjectorFailure : kUnavailableTime,
                 QStringLiteral("waited %1 ms for the serial line%2")
                     .arg(job.waiting.elapsed())
                     .arg(projectorSilent_ ? QStringLiteral(", the projector does not answer")
                                           : QString()));
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
    const std::size_t step = job.step;
    const auto send = [this, step] {
        if (!running_)
            return;
        stepClock_.start();
        const Job& job = *running_;
        if (step < job.queries.size())
            exchange_.send(status::statusQuery(job.queries[step]).code);
        else
            controller_.sendOneShot(job.senders[step - job.queries.size()]);
    };
    stepClock_.start();
    if (step < job.queries.size()) {
        const status::Reports query = job.queries[step];
        transaction_.run(send,
                         [query](QByteArrayView reply) { return queryReplyFits(query, reply); });
    } else {
        transaction_.run(send, commandReplyFits);
    }
}

void ProjectorLine::onStepFinished(const link::ExchangeResult& result) {
    if (!running_)
        return;
    Job& job = *running_;
    const bool isQuery = job.step < job.queries.size();
    StepRecord record{result.frame, result.sent,    result.outcome,           result.reply,
                      {},           result.failure, stepClock_.nsecsElapsed()};
    // A projector that does not answer is failing, not busy: requests that
    // then wait too long for the line get ERR4, not ERR3.
    projectorSilent_ =
        result.outcome == link::Outcome::NoReply || result.outcome == link::Outcome::Malformed;
    if (isQuery && result.outcome != link::Outcome::Malformed) {
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
    // Frames went out: the request is reported even when its client has gone.
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
