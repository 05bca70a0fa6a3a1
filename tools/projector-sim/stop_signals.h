#pragma once
// Turns SIGINT and SIGTERM into a Qt signal on the event thread. The
// handler only writes one byte into a pipe (the one thing it may safely
// do); a socket notifier on the pipe's other end emits stopRequested().

#include "serial_end.h"

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace tavo::sim {

class StopSignals : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

Q_SIGNALS:
    void stopRequested(int signal);

private:
    void drain();

    UniqueFd readEnd_;
    UniqueFd writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace tavo::sim
