#pragma once
// The soak run: the panel's exchange (link::Exchange over the real serial
// link, driven by commands::Controller, as the window drives them) against
// the virtual projector on two pseudo-terminals, with random clicks, holds,
// typed frames, port and speed switches and device losses at many times a
// technician's pace. It checks all along that every frame sent is one that
// a control or the entry produced (a repeat only while its key is held),
// that every frame on the wire is such a frame, that every status text is
// one the decoder's tables and rules allow, that a lost device is noticed,
// and that the event loop never stalls; at the end, that memory stayed flat
// after the warm-up. It prints a memory curve and a one-line verdict.

#include "commands/senders.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QRandomGenerator>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <array>
#include <chrono>
#include <functional>
#include <optional>

namespace tavo::commands {
class Controller;
} // namespace tavo::commands

namespace tavo::link {
class Exchange;
class PortKeeper;
} // namespace tavo::link

namespace tavo::soak {

class Cable;

struct SoakOptions {
    std::chrono::seconds duration{60};
    quint32 seed = 1;
};

class SoakRun final : public QObject {
    Q_OBJECT
public:
    explicit SoakRun(SoakOptions options, QObject* parent = nullptr);
    ~SoakRun() override;

    // Sets up the lines and the exchange and starts acting; why not, when
    // that fails.
    QString start();

Q_SIGNALS:
    // 0 when every check held.
    void finished(int exitCode);

private:
    // What the run did, for the verdict.
    struct Counts {
        int actions = 0;
        int clicks = 0;
        int holds = 0;
        int typed = 0;
        int portSwitches = 0;
        int failedOpens = 0;
        int speedSwitches = 0;
        int deviceLosses = 0;
        int lossesNoticed = 0;
        int framesSent = 0;
        int repeats = 0;
        int sentWhileClosed = 0;
        int framesOnWire = 0;
        int statusTexts = 0;
    };

    // The random actions and how often each comes, relatively.
    struct Action {
        const char* name;
        int weight;
        void (SoakRun::*run)();
    };
    static const std::array<Action, 6> kActions;

    // Actions.
    void act();
    void clickSender();
    void pressHoldKey();
    void releaseHeldKey();
    void typeFrame();
    void switchToRandomPort();
    void switchSpeed();
    void loseDevice();
    void switchPort(int number);
    void sendExpecting(const QByteArray& frame, const std::function<void()>& send);
    void reopenSoon();
    QString randomText();

    // Checks.
    void watchExchange();
    void onFrameSent(const QString& trace);
    void onReceivedTrace(const QString& trace);
    void onStatusText(const QString& text);
    void checkReceivedTrace();
    void checkStatusText();
    void onFrameOnWire(const QByteArray& frame);
    void onDeviceLost();
    void onHeartbeat();
    void violation(const QString& what);

    // Memory and the end.
    void sampleMemory();
    void stopActing();
    void finish();
    QString memoryVerdict(bool& flat) const;

    SoakOptions options_;
    QRandomGenerator random_;
    QTemporaryDir devices_;
    std::array<Cable*, 2> lines_{};
    link::Exchange* exchange_ = nullptr;
    link::PortKeeper* keeper_ = nullptr;
    commands::Controller* controller_ = nullptr;

    QTimer actionTimer_;
    QTimer releaseTimer_;
    QTimer reopenTimer_;
    QTimer heartbeat_;
    QTimer memoryTimer_;
    QElapsedTimer clock_;
    qint64 lastBeatMs_ = 0;
    qint64 longestStallMs_ = 0;
    std::optional<qint64> lossNoticeDueMs_;
    std::array<bool, 2> unpluggedSinceOpen_{};

    QSet<QByteArray> controlFrames_;
    QList<QByteArray> typedPending_; // typed frames sent and not yet seen on the wire
    std::optional<QByteArray> expectedFrame_;
    const commands::HoldKey* heldKey_ = nullptr; // by the run's own account, not the controller's
    QString shownTrace_;
    QString shownStatus_;

    struct Sample {
        qint64 atMs;
        qint64 rssKb;
    };
    QList<Sample> memory_;
    Counts counts_;
    QStringList violations_;
    int violationCount_ = 0;
};

} // namespace tavo::soak
