#pragma once
// Watches the projector for the Class 2 status notifications: a round of
// power, input and mute queries (CR0, CR1, CRA) every poll period, each
// query put on the line only while no client's request waits or runs, so a
// client waits at most for the one query that is on the line. A value that
// changed goes out as a notification ("%2POWR=3", "%2ERST=000000",
// "%2INPT=11", "%2AVMT=31"), made exactly as the answer to the same query
// on TCP; the first value read is the baseline and goes out only as part of
// the "%2LKUP=" sent once, when the projector first answers after the start.

#include "pjlink/class2.h"
#include "pjlink/log_throttle.h"
#include "pjlink/projector_line.h"
#include "pjlink/udp_service.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <map>

namespace tavo::pjlink {

inline constexpr std::chrono::milliseconds kDefaultPollPeriod{5000};

class StatusWatch final : public QObject {
    Q_OBJECT
public:
    StatusWatch(ProjectorLine& line, UdpService& udp, FreezeMemory& freeze,
                std::chrono::milliseconds period, QObject* parent = nullptr);

    // The first round now (or when the port opens), then one every period.
    void start();

Q_SIGNALS:
    void logLine(tavo::pjlink::LogKind kind, const QString& line);

private:
    void startRound();
    void runQuery();
    void onServed(const Served& served);

    ProjectorLine& line_;
    UdpService& udp_;
    FreezeMemory& freeze_;
    QTimer period_;
    QTimer retry_; // the line was busy with a client's request
    std::size_t next_ = 0;
    bool roundRunning_ = false;
    bool linkedUp_ = false;
    std::map<QByteArray, QByteArray> values_; // by notification command
};

} // namespace tavo::pjlink
