#pragma once
// The bridge's side of the serial cable: one queue for every client's
// requests, taken from the clients in turn, run one exchange at a time through the widget-free
// exchange, the panel's senders and a transaction per frame, each frame with the exchange's reply
// timeout. A request runs its status queries, then its gate, then its commands, and ends at the
// first step that fails.
//
// The port is opened at start and, whenever it is closed (it could not be
// opened, or the device was lost), tried again at an interval until it is
// back. Losing the device fails the running request and every queued one at
// once. A request whose client has gone before its turn is dropped without
// touching the line; one that waited longer than the queue limit is refused:
// ERR4 when the projector's last frame went unanswered (it is failing, and
// the queue waits on its timeouts), else ERR3 (it is busy with other
// clients' requests).

#include "commands/controller.h"
#include "exchange/exchange.h"
#include "exchange/transaction.h"
#include "link/port_keeper.h"
#include "link/serial_link.h"
#include "pjlink/fair_queue.h"
#include "pjlink/mapping.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace tavo::pjlink {

using std::chrono::milliseconds;

inline constexpr milliseconds kReopenInterval{3000};
inline constexpr milliseconds kQueueLimit{10000};

// One frame of a request and what came of it, for the log.
struct StepRecord {
    QByteArray frame;
    bool sent = false;
    link::Outcome outcome = link::Outcome::NoReply;
    QByteArray reply;
    std::optional<QString> status; // the decoder's text
    QString failure;               // why the port failed
    qint64 elapsedNs = 0;
};

// A request run on the line: its failure (ERR3/ERR4) or the readings its
// answer is made from.
struct Served {
    std::optional<QByteArray> failure;
    Readings readings;
    QList<StepRecord> steps;
    QString note;        // why nothing was sent, when nothing was
    qint64 queuedNs = 0; // waiting for the line, behind other requests
    qint64 serialNs = 0;
};

class ProjectorLine final : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString device;       // the serial device
        QString portSettings; // "19200,N,8,1"
        milliseconds reopenInterval = kReopenInterval;
        milliseconds queueLimit = kQueueLimit;
    };

    ProjectorLine(std::unique_ptr<link::SerialLink> port, Settings settings,
                  QObject* parent = nullptr);

    // Opens the port, or starts trying to.
    void start();
    bool isOpen() const;

    using Done = std::function<void(const Served&)>;
    // Queues a request for a client; done is called once: always once the
    // request's frames started, else only while the client is there.
    void submit(const Mapping& mapping, QObject* client, Done done);
    qsizetype queued() const { return queue_.size(); }
    // Nothing runs on the line and nothing waits for it.
    bool isIdle() const { return !running_ && queue_.empty(); }
    link::Exchange& exchange() { return exchange_; }

Q_SIGNALS:
    // The port opened, failed, was lost or came back.
    void logLine(const QString& line);
    // The port is open, at start or again.
    void opened();

private:
    struct Job {
        const Mapping* mapping = nullptr;
        QPointer<QObject> client;
        Done done;
        QElapsedTimer waiting;
        std::vector<status::Reports> queries;
        std::vector<commands::OneShotSender> senders;
        std::size_t step = 0;
        Served served;
    };

    void onDeviceLost(const QString& description);
    void runNext();
    void runStep();
    void onStepFinished(const link::ExchangeResult& result);
    void finish(Job& job);
    void fail(Job& job, QByteArrayView error, const QString& note);
    void scheduleRunNext();

    Settings settings_;
    link::Exchange exchange_;
    commands::Controller controller_;
    link::Transaction transaction_;
    link::PortKeeper keeper_;
    FairQueue<Job> queue_; // by client, so that a busy client waits behind its own requests
    std::optional<Job> running_;
    QElapsedTimer stepClock_;
    bool runScheduled_ = false;
    bool projectorSilent_ = false; // the last frame got no reply, or none that fit
};

} // namespace tavo::pjlink
