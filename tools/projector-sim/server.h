#pragma once
// Serves the virtual projector on an open serial end: reads what the panel
// writes, hands it to the simulator and writes the paced reply bytes as they
// fall due. One precise single-shot timer is armed for the next due byte or
// noise burst; between exchanges nothing runs.

#include "serial_end.h"
#include "simulator.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

namespace tavo::sim {

class Server : public QObject {
    Q_OBJECT

public:
    Server(SerialEnd end, Simulator simulator, QObject* parent = nullptr);

Q_SIGNALS:
    void logLine(const QString& line);
    // The device went away or failed; the server has stopped serving.
    void failed(const QString& reason);

private:
    void readAvailable();
    void pump();
    void write(const QByteArray& bytes);
    void fail(const QString& reason);
    Micros now() const;

    SerialEnd end_;
    Simulator simulator_;
    QElapsedTimer clock_;
    QSocketNotifier readable_;
    QTimer pacer_;
    bool losingBytes_ = false;
};

} // namespace tavo::sim
