#include "soak_run.h"

#include "cable.h"
#include "commands/controller.h"
#include "exchange/exchange.h"
#include "exchange/frame.h"
#include "exchange/trace.h"
#include "link/port_keeper.h"
#include "link/port_settings.h"
#include "link/serial_control.h"
#include "support/status_texts.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tavo::soak {

namespace {

using std::chrono::milliseconds;

// At many times a technician's pace: an action every few milliseconds where a
// person manages about one a second.
constexpr int kMinActionGapMs = 1;
constexpr int kMaxActionGapMs = 12;
constexpr int kMinHoldMs = 5;
constexpr int kMaxHoldMs = 600;
constexpr int kMaxReplugMs = 400;
constexpr int kMinReopenMs = 50;
constexpr int kMaxReopenMs = 400;
// A vanished device must be noticed within this; the event loop must never
// stand still this long.
constexpr qint64 kLossNoticeMs = 3000;
constexpr qint64 kStallLimitMs = 2000;
constexpr int kHeartbeatMs = 10;
// Replies and frames still on their way when the actions stop.
constexpr int kDrainMs = 500;
constexpr qsizetype kTypedPendingLimit = 256;
constexpr int kViolationsShown = 20;
// Memory: judged only on runs this long, from the end of the warm-up, against
// this much growth.
constexpr qint64 kShortestJudgedRunS = 30;
constexpr qint64 kMinWarmUpS = 10;
constexpr qint64 kGrowthLimitKb = 2048;
constexpr int kMemorySamples = 30;

// Frames a technician types: the status queries the buttons lack, commands,
// and words with blanks around them.
const std::array<const char*, 14> kTypedWords{
    "CR0",
    "CR1",
    "CR3",
    "CR4",
    "CR6",
    "CR7",
    "CR9",
    "CRA",
    "CR PRESSURE",
    "C00",
    "C01",
    "CR PROJH",
    "CF FANSPEED MAX",
    "  CR0  ",
};

QString printable(const QByteArray& frame) {
    return QString::fromLatin1(
        frame.first(std::min<qsizetype>(frame.size(), 80)).toPercentEncoding(" "));
}

// The resident set of this process, from /proc; 0 when unreadable.
qint64 residentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

double megabytes(qint64 kb) {
    return kb / 1024.0;
}

void print(const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

} // namespace

const std::array<SoakRun::Action, 6> SoakRun::kActions{{
    {"click", 250, &SoakRun::clickSender},
    {"hold", 60, &SoakRun::pressHoldKey},
    {"type", 60, &SoakRun::typeFrame},
    {"port", 6, &SoakRun::switchToRandomPort},
    {"speed", 6, &SoakRun::switchSpeed},
    {"lose", 1, &SoakRun::loseDevice},
}};

SoakRun::SoakRun(SoakOptions options, QObject* parent)
    : QObject(parent), options_(options), random_(options.seed) {
    for (const commands::OneShotSender& sender : commands::oneShotSenders())
        controlFrames_.insert(link::buildFrame({}, QByteArrayView(sender.code)));
    for (const commands::HoldKey& key : commands::holdKeys())
        controlFrames_.insert(link::buildFrame({}, QByteArrayView(key.code)));
}

SoakRun::~SoakRun() = default;

QString SoakRun::start() {
    if (!devices_.isValid())
        return QStringLiteral("no temporary directory for the device links: %1")
            .arg(devices_.errorString());
    sim::ProjectorConfig projector;
    projector.countDown = milliseconds(300);
    projector.cooling = milliseconds(500);
    // COM2's line picks up noise, so replies arrive with junk among them.
    sim::Behaviour clean;
    sim::Behaviour noisy;
    noisy.noiseEvery = milliseconds(40);
    noisy.seed = options_.seed;
    const std::array behaviours{clean, noisy};
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        lines_[i] = new Cable(devices_.filePath(QStringLiteral("com%1").arg(i + 1)), this);
        connect(lines_[i], &Cable::frameOnWire, this, &SoakRun::onFrameOnWire);
        connect(lines_[i], &Cable::problem, this, &SoakRun::violation);
        if (const QString why = lines_[i]->start(projector, behaviours[i]); !why.isEmpty())
            return why;
    }

    exchange_ = new link::Exchange(std::make_unique<link::SerialControl>(), this);
    keeper_ = new link::PortKeeper(exchange_->port(),
                                   {lines_[0]->devicePath(), lines_[1]->devicePath()}, this);
    controller_ = new commands::Controller(*exchange_, this);
    watchExchange();
    controller_->reset();
    exchange_->reset();
    exchange_->port().setSettings(link::kSettings19200);
    if (!keeper_->open())
        return keeper_->errorDescription();

    print(QStringLiteral("soak: %1 s, seed %2; COM1 %3, COM2 %4 (with line noise)")
              .arg(options_.duration.count())
              .arg(options_.seed)
              .arg(lines_[0]->devicePath(), lines_[1]->devicePath()));

    clock_.start();
    actionTimer_.setSingleShot(true);
    connect(&actionTimer_, &QTimer::timeout, this, &SoakRun::act);
    actionTimer_.start(0);
    releaseTimer_.setSingleShot(true);
    connect(&releaseTimer_, &QTimer::timeout, this, &SoakRun::releaseHeldKey);
    heartbeat_.setTimerType(Qt::PreciseTimer);
    connect(&heartbeat_, &QTimer::timeout, this, &SoakRun::onHeartbeat);
    heartbeat_.start(kHeartbeatMs);
    const auto every = std::max<qint64>(1, options_.duration.count() / kMemorySamples);
    connect(&memoryTimer_, &QTimer::timeout, this, &SoakRun::sampleMemory);
    memoryTimer_.start(std::chrono::seconds(every));
    sampleMemory();
    QTimer::singleShot(options_.duration, this, &SoakRun::stopActing);
    return {};
}

// ------------------------------------------------------------------ actions

void SoakRun::act() {
    int total = 0;
    for (const Action& action : kActions)
        total += action.weight;
    int pick = random_.bounded(total);
    for (const Action& action : kActions) {
        if (pick < action.weight) {
            ++counts_.actions;
            (this->*action.run)();
            break;
        }
        pick -= action.weight;
    }
    actionTimer_.start(random_.bounded(kMinActionGapMs, kMaxActionGapMs + 1));
}

void SoakRun::sendExpecting(const QByteArray& frame, const std::function<void()>& send) {
    expectedFrame_ = frame;
    send();
    if (expectedFrame_)
        violation(QStringLiteral("a control did not send its frame \"%1\"").arg(printable(frame)));
    expectedFrame_.reset();
}

void SoakRun::clickSender() {
    const auto senders = commands::oneShotSenders();
    const commands::OneShotSender& sender = senders[random_.bounded(qsizetype(senders.size()))];
    ++counts_.clicks;
    sendExpecting(link::buildFrame(exchange_->commandPrefix(), QByteArrayView(sender.code)),
                  [&] { controller_->sendOneShot(sender); });
}

// One key at a time, held until its release falls due, as under a finger.
void SoakRun::pressHoldKey() {
    if (heldKey_)
        return;
    const auto keys = commands::holdKeys();
    const commands::HoldKey& key = keys[random_.bounded(qsizetype(keys.size()))];
    ++counts_.holds;
    heldKey_ = &key;
    sendExpecting(link::buildFrame(exchange_->commandPrefix(), QByteArrayView(key.code)),
                  [&] { controller_->press(key); });
    releaseTimer_.start(random_.bounded(kMinHoldMs, kMaxHoldMs + 1));
}

void SoakRun::releaseHeldKey() {
    releaseTimer_.stop();
    if (heldKey_)
        controller_->release(*std::exchange(heldKey_, nullptr));
}

void SoakRun::typeFrame() {
    const QString text = randomText();
    const QByteArray frame = link::buildFrame(exchange_->commandPrefix(), link::textToBytes(text));
    ++counts_.typed;
    if (exchange_->port().isOpen()) {
        typedPending_.append(frame);
        if (typedPending_.size() > kTypedPendingLimit)
            typedPending_.removeFirst();
    }
    sendExpecting(frame, [&] { controller_->sendTyped(text); });
}

QString SoakRun::randomText() {
    if (random_.bounded(2) == 0)
        return QString::fromLatin1(kTypedWords[random_.bounded(qsizetype(kTypedWords.size()))]);
    // What a line edit can hold, carriage returns and line feeds apart:
    // mostly ASCII, some Latin-1, control characters, and characters that
    // no byte can hold (kana, and an emoji beyond 16 bits).
    QString text;
    const int length = random_.bounded(41);
    for (int i = 0; i < length; ++i) {
        const int kind = random_.bounded(100);
        if (kind < 70)
            text += QChar(random_.bounded(32, 127));
        else if (kind < 80)
            text += QChar(random_.bounded(160, 256));
        else if (kind < 85)
            text += QChar(std::array{0, 9, 27, 127}[random_.bounded(4)]);
        else if (kind < 95)
            text += QChar(random_.bounded(0x3042, 0x3100));
        else
            text += QString::fromUcs4(U"\U0001F600", 1);
    }
    return text;
}

void SoakRun::switchToRandomPort() {
    switchPort(random_.bounded(1, 3));
}

// As the port panel does: on failure the other port is chosen.
void SoakRun::switchPort(int number) {
    ++counts_.portSwitches;
    lossNoticeDueMs_.reset();
    if (!keeper_->switchTo(number)) {
        ++counts_.failedOpens;
        const QString why = keeper_->errorDescription();
        if (!why.contains(QStringLiteral("COM%1").arg(number)))
            violation(
                QStringLiteral("an open failure that does not name its port: \"%1\"").arg(why));
        reopenSoon();
        return;
    }
    unpluggedSinceOpen_[std::size_t(number - 1)] = false;
}

void SoakRun::switchSpeed() {
    ++counts_.speedSwitches;
    const QString settings = random_.bounded(2) == 0 ? link::kSettings19200 : link::kSettings9600;
    if (!exchange_->port().setSettings(settings))
        violation(QStringLiteral("speed switch to %1 failed: %2")
                      .arg(settings, exchange_->port().errorDescription()));
}

void SoakRun::loseDevice() {
    const auto index = std::size_t(random_.bounded(2));
    Cable* line = lines_[index];
    if (!line->isPluggedIn())
        return;
    ++counts_.deviceLosses;
    const link::SerialLink& port = exchange_->port();
    if (port.isOpen() && keeper_->portNumber() == int(index) + 1)
        lossNoticeDueMs_ = clock_.elapsed() + kLossNoticeMs;
    unpluggedSinceOpen_[index] = true;
    line->unplug();
    QTimer::singleShot(random_.bounded(kMaxReplugMs + 1), this, [this, line] {
        if (const QString why = line->plugIn(); !why.isEmpty())
            violation(QStringLiteral("cannot plug %1 in again: %2").arg(line->devicePath(), why));
    });
}

// The technician answers the warning box or the port panel and picks the port again.
void SoakRun::reopenSoon() {
    if (reopenTimer_.isActive() || !actionTimer_.isActive())
        return;
    reopenTimer_.start(random_.bounded(kMinReopenMs, kMaxReopenMs + 1));
}

// ------------------------------------------------------------------ checks

void SoakRun::watchExchange() {
    connect(exchange_, &link::Exchange::sentTraceChanged, this, &SoakRun::onFrameSent);
    connect(exchange_, &link::Exchange::receivedTraceChanged, this, &SoakRun::onReceivedTrace);
    connect(exchange_, &link::Exchange::statusTextChanged, this, &SoakRun::onStatusText);
    // Later pieces of a reply extend the lines instead of setting them whole.
    connect(exchange_, &link::Exchange::receivedTraceAppended, this, [this](QStringView tokens) {
        shownTrace_ += tokens;
        checkReceivedTrace();
    });
    connect(exchange_, &link::Exchange::statusTextAppended, this, [this](QStringView tokens) {
        shownStatus_ += tokens;
        checkStatusText();
    });
    connect(exchange_, &link::Exchange::sentWhilePortClosed, this, [this] {
        ++counts_.sentWhileClosed;
        reopenSoon();
    });
    connect(&exchange_->port(), &link::SerialLink::deviceLost, this, &SoakRun::onDeviceLost);
    reopenTimer_.setSingleShot(true);
    connect(&reopenTimer_, &QTimer::timeout, this, [this] { switchPort(keeper_->portNumber()); });
}

// Every send shows its frame's trace: the one place where each frame passes.
void SoakRun::onFrameSent(const QString& trace) {
    if (trace.isEmpty())
        return;
    const QByteArray& frame = exchange_->lastFrameSent();
    ++counts_.framesSent;
    if (trace != link::traceLine(frame))
        violation(
            QStringLiteral("sent trace \"%1\" for frame \"%2\"").arg(trace, printable(frame)));
    if (expectedFrame_) {
        if (frame != *expectedFrame_)
            violation(QStringLiteral("frame \"%1\" sent where the control makes \"%2\"")
                          .arg(printable(frame), printable(*expectedFrame_)));
        expectedFrame_.reset();
        return;
    }
    if (heldKey_ &&
        frame == link::buildFrame(exchange_->commandPrefix(), QByteArrayView(heldKey_->code))) {
        ++counts_.repeats;
        return;
    }
    violation(
        QStringLiteral("frame \"%1\" sent with no control pressed or held").arg(printable(frame)));
}

void SoakRun::onReceivedTrace(const QString& trace) {
    shownTrace_ = trace;
    checkReceivedTrace();
}

void SoakRun::checkReceivedTrace() {
    if (shownTrace_.isEmpty() || shownTrace_ == link::kTimeoutMark)
        return;
    if (shownTrace_ != link::traceLine(exchange_->replyBuffer()))
        violation(QStringLiteral("received trace \"%1\" is not the trace of the reply buffer")
                      .arg(shownTrace_.left(80)));
}

void SoakRun::onStatusText(const QString& text) {
    shownStatus_ = text;
    if (!text.isEmpty())
        ++counts_.statusTexts;
    checkStatusText();
}

void SoakRun::checkStatusText() {
    if (shownStatus_.isEmpty())
        return;
    const QString problem = test::statusTextProblem(
        exchange_->lastFrameSent(), exchange_->commandPrefix(), shownTrace_, shownStatus_);
    if (!problem.isEmpty())
        violation(problem);
}

void SoakRun::onFrameOnWire(const QByteArray& frame) {
    ++counts_.framesOnWire;
    if (controlFrames_.contains(frame))
        return;
    if (const qsizetype typed = typedPending_.indexOf(frame); typed >= 0) {
        typedPending_.remove(typed);
        return;
    }
    violation(QStringLiteral("frame \"%1\" on the wire, made by no control and not typed")
                  .arg(printable(frame)));
}

void SoakRun::onDeviceLost() {
    ++counts_.lossesNoticed;
    lossNoticeDueMs_.reset();
    const int number = keeper_->portNumber();
    if (!unpluggedSinceOpen_[std::size_t(number - 1)])
        violation(
            QStringLiteral("COM%1 reported lost while its device stayed plugged in").arg(number));
    if (!exchange_->port().errorDescription().contains(QStringLiteral("COM%1").arg(number)))
        violation(QStringLiteral("a lost device reported without naming its port: \"%1\"")
                      .arg(exchange_->port().errorDescription()));
    // The window shows its warning box once this handler is done (the loss
    // may be noticed inside a send), and the box, blocking the window, lets
    // go of the held key.
    QTimer::singleShot(0, this, &SoakRun::releaseHeldKey);
    reopenSoon();
}

void SoakRun::onHeartbeat() {
    const qint64 now = clock_.elapsed();
    if (lastBeatMs_ > 0)
        longestStallMs_ = std::max(longestStallMs_, now - lastBeatMs_ - kHeartbeatMs);
    lastBeatMs_ = now;
    if (lossNoticeDueMs_ && now > *lossNoticeDueMs_) {
        lossNoticeDueMs_.reset();
        violation(QStringLiteral("COM%1's device vanished and the link did not notice within %2 ms")
                      .arg(keeper_->portNumber())
                      .arg(kLossNoticeMs));
    }
}

void SoakRun::violation(const QString& what) {
    ++violationCount_;
    if (violations_.size() < kViolationsShown) {
        violations_.append(what);
        print(QStringLiteral("soak: violation at %1 s: %2")
                  .arg(clock_.elapsed() / 1000.0, 0, 'f', 1)
                  .arg(what));
    }
}

// ------------------------------------------------------------------ memory and the end

void SoakRun::sampleMemory() {
    const Sample sample{clock_.elapsed(), residentKb()};
    if (sample.rssKb == 0)
        violation(QStringLiteral("cannot read the resident set size from /proc/self/status"));
    memory_.append(sample);
    print(QStringLiteral("soak: %1 s  RSS %2 MB")
              .arg(sample.atMs / 1000, 5)
              .arg(megabytes(sample.rssKb), 0, 'f', 2));
}

void SoakRun::stopActing() {
    actionTimer_.stop();
    reopenTimer_.stop();
    releaseHeldKey();
    memoryTimer_.stop();
    sampleMemory();
    QTimer::singleShot(kDrainMs, this, &SoakRun::finish);
}

QString SoakRun::memoryVerdict(bool& flat) const {
    flat = true;
    const qint64 seconds = options_.duration.count();
    if (seconds < kShortestJudgedRunS)
        return QStringLiteral("memory not judged (runs under %1 s)").arg(kShortestJudgedRunS);
    const qint64 warmUpMs = std::max(kMinWarmUpS, seconds / 6) * 1000;
    const auto settled = std::find_if(memory_.begin(), memory_.end(),
                                      [&](const Sample& s) { return s.atMs >= warmUpMs; });
    if (settled == memory_.end())
        return QStringLiteral("memory not judged (no sample after the warm-up)");
    const qint64 peak =
        std::max_element(settled, memory_.end(), [](const Sample& a, const Sample& b) {
            return a.rssKb < b.rssKb;
        })->rssKb;
    const qint64 growth = peak - settled->rssKb;
    flat = growth <= kGrowthLimitKb;
    return QStringLiteral("RSS %1 MB after the warm-up, at most %2 MB later (%3%4 MB%5)")
        .arg(megabytes(settled->rssKb), 0, 'f', 2)
        .arg(megabytes(peak), 0, 'f', 2)
        .arg(growth >= 0 ? QStringLiteral("+") : QString())
        .arg(megabytes(growth), 0, 'f', 2)
        .arg(flat ? QString()
                  : QStringLiteral(", more than %1 MB: NOT FLAT").arg(kGrowthLimitKb / 1024));
}

void SoakRun::finish() {
    if (longestStallMs_ > kStallLimitMs)
        violation(QStringLiteral("the event loop stood still for %1 ms").arg(longestStallMs_));
    if (counts_.statusTexts == 0 || counts_.framesOnWire == 0)
        violation(QStringLiteral("no status text or no frame on the wire: the run tested nothing"));
    bool flat = true;
    const QString memory = memoryVerdict(flat);
    const Counts& c = counts_;
    const bool passed = violationCount_ == 0 && flat;
    print(QStringLiteral(
              "soak: %1 in %2 s (seed %3): %4 actions (%5 clicks, %6 holds, %7 typed, "
              "%8 port switches of which %9 failed, %10 speed switches, %11 device losses, "
              "%12 noticed), %13 frames sent (%14 repeats, %15 while closed), %16 on the "
              "wire, %17 status texts; %18; longest stall %19 ms; %20 violations")
              .arg(passed ? QStringLiteral("PASS") : QStringLiteral("FAIL"))
              .arg(options_.duration.count())
              .arg(options_.seed)
              .arg(c.actions)
              .arg(c.clicks)
              .arg(c.holds)
              .arg(c.typed)
              .arg(c.portSwitches)
              .arg(c.failedOpens)
              .arg(c.speedSwitches)
              .arg(c.deviceLosses)
              .arg(c.lossesNoticed)
              .arg(c.framesSent)
              .arg(c.repeats)
              .arg(c.sentWhileClosed)
              .arg(c.framesOnWire)
              .arg(c.statusTexts)
              .arg(memory)
              .arg(longestStallMs_)
              .arg(violationCount_));
    Q_EMIT finished(passed ? 0 : 1);
}

} // namespace tavo::soak
