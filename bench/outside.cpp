#include "bench/outside.h"

#include "bench/clock.h"
#include "bench/processes.h"
#include "bench/pty.h"
#include "bench/stream.h"
#include "bench/x_display.h"
#include "bench/x_floor_client.h"
#include "panel/form1.h"
#include "support/fake_serial.h"

#include <QDir>
#include <QFile>
#include <QWidget>

#include <X11/keysym.h>

#include <cstdio>
#include <thread>
#include <unistd.h>

namespace tavo::bench {

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

const QString kGroup = QStringLiteral("from outside (Xvfb -noreset, no window manager)");
constexpr int kStartRounds = 10;
constexpr auto kMemoryAfter = seconds(2);
constexpr auto kMapTimeout = seconds(10);
constexpr int kBaud = 115200;
constexpr int kStreamSeconds = 30;
constexpr int kClickStreamSeconds = 20;
constexpr int kFloorStreamSeconds = 15;
constexpr auto kIdleSpan = seconds(10);
constexpr auto kClickEvery = milliseconds(150);
constexpr auto kButtonHeld = milliseconds(30);
constexpr int kIdleClicks = 100;
// CuteCom 0.51's Open button, from the top-left of its window at its
// default size (the window shows at the screen's corner without a manager).
constexpr QPoint kCuteComOpenButton{50, 43};

QString silentNote(int silentClicks) {
    return silentClicks == 0
               ? QString()
               : QStringLiteral("%1 clicks sent nothing within 1 s").arg(silentClicks);
}

QString joinedNotes(QStringList notes) {
    notes.removeAll(QString());
    return notes.join(QStringLiteral("; "));
}

void sleepUntil(Clock::time_point when) {
    std::this_thread::sleep_until(when);
}

// The centres of the controls the bench presses, from the window as laid
// out (offscreen, unloaded: positions are fixed, in pixels).
struct Controls {
    QPoint on;      // Command17, one-shot: sends C00
    QPoint volume;  // Command1, hold key repeating every 250 ms
    QPoint bright;  // Command15, hold key repeating every 50 ms
    QPoint dzoom;   // Command48, D.Zoom +: its release sets the 5 ms repeat
    QPoint arrowUp; // Command5, an arrow key, repeating as Timer1 was left
    QSize compact;  // the window at its compact height
};

Controls controlCentres() {
    panel::Form1 form(std::make_unique<test::FakeSerial>(), QStringList{QString(), QString()});
    const auto centre = [&](const char* name) {
        const auto* widget = form.findChild<QWidget*>(QLatin1String(name));
        return widget->mapTo(&form, widget->rect().center());
    };
    return {
        centre("Command17"), centre("Command1"),
        centre("Command15"), centre("Command48"),
        centre("Command5"),  panel::Form1::clientSizeForOuterHeight(panel::Form1::kCompactHeight)};
}

class Outside {
public:
    explicit Outside(const OutsidePrograms& programs)
        : programs_(programs), controls_(controlCentres()) {
        QDir().mkpath(programs_.workDir);
        writeCuteComSettings();
    }

    std::vector<Figure> run();

private:
    struct Started {
        pid_t pid = 0;
        unsigned long window = 0;
        double startMs = 0;
        Clock::time_point at;
    };
    struct StreamFigures {
        std::vector<double> cpuPerSecond;
        double memoryGrowthMb = 0;
        double bytesPerSecond = 0;
        std::vector<double> clicks;
        int silentClicks = 0; // clicks after which nothing reached the line
    };

    Launch panelLaunch() const;
    Launch cuteComLaunch() const;
    Launch xmessageLaunch() const;
    Launch qtWindowLaunch() const;
    void writeCuteComSettings() const;
    Started start(const Launch& launch);
    Started startPanel();
    bool showDataPanel(const Started& panel);
    void startRounds();
    void idleFigures();
    void panelStreams();
    void cuteComStream();
    void floorClicks();
    void floorStreams();
    void holdKeys();
    StreamFigures stream(pid_t pid, int secondsLong, const std::optional<QPoint>& clickAt);
    std::optional<double> clickToWire(QPoint at, int masterFd);
    void seriesClick(QPoint at, std::vector<double>& times, int& silentClicks);
    std::vector<double> holdIntervals(QPoint key, Clock::duration held);
    void add(const QString& name, const QString& unit, std::vector<double> samples,
             const QString& note = {});
    void addStream(const QString& who, const StreamFigures& figures, bool withMemory = true);

    OutsidePrograms programs_;
    Controls controls_;
    XDisplay x_;
    Pty line_; // COM1 of the panel, CuteCom's device
    std::vector<Figure> figures_;
};

Launch Outside::panelLaunch() const {
    return {{programs_.panel, QStringLiteral("--com1"), line_.slaveName(), QStringLiteral("--com2"),
             QStringLiteral("/nonexistent")},
            {},
            {QStringLiteral("QT_QPA_PLATFORM")},
            programs_.workDir + QStringLiteral("/tavo-control.log")};
}

Launch Outside::cuteComLaunch() const {
    return {{programs_.cutecom},
            {QStringLiteral("HOME=") + programs_.workDir + QStringLiteral("/cutecom-home"),
             QStringLiteral("LD_PRELOAD=") + programs_.modemShim},
            {QStringLiteral("QT_QPA_PLATFORM")},
            programs_.workDir + QStringLiteral("/cutecom.log")};
}

Launch Outside::xmessageLaunch() const {
    return {{programs_.xmessage, QStringLiteral("tavo-bench")},
            {},
            {},
            programs_.workDir + QStringLiteral("/xmessage.log")};
}

Launch Outside::qtWindowLaunch() const {
    return {{programs_.qtWindow},
            {},
            {QStringLiteral("QT_QPA_PLATFORM")},
            programs_.workDir + QStringLiteral("/qt-window.log")};
}

// CuteCom's settings: the bench's line at the stream's speed, so that Open
// opens the line.
void Outside::writeCuteComSettings() const {
    const QString dir = programs_.workDir + QStringLiteral("/cutecom-home/.config/CuteCom");
    QDir().mkpath(dir);
    QFile file(dir + QStringLiteral("/CuteCom5.conf"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "tavo-bench: cannot write CuteCom's settings in %s\n",
                     qPrintable(dir));
        std::exit(1);
    }
    file.write(QStringLiteral("[sessions]\n1\\BaudRate=%1\n1\\DataBits=8\n1\\Device=%2\n"
                              "1\\FlowControl=0\n1\\OpenMode=3\n1\\Parity=0\n1\\StopBits=1\n"
                              "1\\autoReconnect=false\n1\\name=Default\nsize=1\n")
                   .arg(kBaud)
                   .arg(line_.slaveName())
                   .toUtf8());
}

// The panel, checked to be laid out at its own pixel size: the clicks aim at
// positions taken from the layout.
Outside::Started Outside::startPanel() {
    const Started started = start(panelLaunch());
    if (started.window && x_.size(started.window) != controls_.compact) {
        const QSize size = x_.size(started.window);
        std::fprintf(stderr,
                     "tavo-bench: the panel's window is %dx%d, not %dx%d as laid out; the display "
                     "scales it (run Xvfb with -dpi 96)\n",
                     size.width(), size.height(), controls_.compact.width(),
                     controls_.compact.height());
        stop(started.pid);
        std::exit(1);
    }
    return started;
}

// The service key shows the data panel; true once the window has grown.
bool Outside::showDataPanel(const Started& panel) {
    x_.controlKey(panel.window, XK_k);
    const auto deadline = Clock::now() + seconds(2);
    while (Clock::now() < deadline) {
        if (x_.size(panel.window).height() > controls_.compact.height())
            return true;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
}

Outside::Started Outside::start(const Launch& launch) {
    x_.forgetMaps();
    Started started;
    started.at = Clock::now();
    started.pid = spawn(launch);
    started.window = x_.waitForMap(started.at + kMapTimeout);
    started.startMs = msSince(started.at);
    return started;
}

void Outside::add(const QString& name, const QString& unit, std::vector<double> samples,
                  const QString& note) {
    figures_.push_back({kGroup, name, unit, std::move(samples), note});
}

// The three programs by turns, so that a drift of the machine's load falls
// on all of them; the first round warms the caches and is not counted.
void Outside::startRounds() {
    struct Contender {
        QString name;
        Launch launch;
        std::vector<double> startMs = {};
        std::vector<double> memoryMb = {};
        QString failure = {};
    };
    std::vector<Contender> contenders{
        {QStringLiteral("xmessage (X floor)"), xmessageLaunch()},
        {QStringLiteral("an empty Qt window (Qt floor)"), qtWindowLaunch()},
        {QStringLiteral("tavo-control"), panelLaunch()},
        {QStringLiteral("CuteCom"), cuteComLaunch()}};
    for (int round = 0; round <= kStartRounds; ++round) {
        for (Contender& contender : contenders) {
            const Started started = start(contender.launch);
            if (!started.window) {
                contender.failure =
                    QStringLiteral("no window within 10 s; see the log in ") + programs_.workDir;
                stop(started.pid);
                continue;
            }
            sleepUntil(started.at + kMemoryAfter);
            const double memory = residentMb(started.pid);
            stop(started.pid);
            if (round == 0)
                continue;
            contender.startMs.push_back(started.startMs);
            contender.memoryMb.push_back(memory);
        }
    }
    for (const Contender& contender : contenders)
        add(QStringLiteral("start to visible window: ") + contender.name, QStringLiteral("ms"),
            contender.startMs, contender.failure);
    for (const Contender& contender : contenders)
        add(QStringLiteral("memory (RSS) 2 s after start: ") + contender.name, QStringLiteral("MB"),
            contender.memoryMb, contender.failure);
}

// Context switches of every thread while nothing happens: each is a wake-up.
void Outside::idleFigures() {
    for (const auto& [name, launch] : {std::pair{QStringLiteral("tavo-control"), panelLaunch()},
                                       std::pair{QStringLiteral("CuteCom"), cuteComLaunch()}}) {
        const bool panel = name == QStringLiteral("tavo-control");
        const Started started = panel ? startPanel() : start(launch);
        if (!started.window) {
            stop(started.pid);
            add(QStringLiteral("idle wake-ups over 10 s: ") + name, QStringLiteral("count"), {},
                QStringLiteral("no window"));
            continue;
        }
        sleepUntil(started.at + kMemoryAfter);
        const long before = contextSwitches(started.pid);
        std::this_thread::sleep_for(kIdleSpan);
        const long after = contextSwitches(started.pid);
        std::vector<double> idleClicks;
        int silentClicks = 0;
        if (panel) {
            const QPoint on = x_.origin(started.window) + controls_.on;
            for (int i = 0; i < kIdleClicks; ++i)
                seriesClick(on, idleClicks, silentClicks);
        }
        stop(started.pid);
        add(QStringLiteral("idle wake-ups over 10 s: ") + name, QStringLiteral("count"),
            {double(after - before)}, QStringLiteral("context switches of all threads"));
        if (panel)
            add(QStringLiteral("click on ON -> first byte on the wire, idle: tavo-control"),
                QStringLiteral("ms"), idleClicks, silentNote(silentClicks));
    }
}

// Press, hold briefly, release: the panel sends on the release, so the
// time runs from the release reaching the server to the first byte readable.
std::optional<double> Outside::clickToWire(QPoint at, int masterFd) {
    x_.moveTo(at);
    x_.button(true);
    std::this_thread::sleep_for(kButtonHeld);
    Pty::drain(masterFd);
    const auto start = Clock::now();
    x_.button(false);
    if (!Pty::waitReadable(masterFd, 1000))
        return std::nullopt;
    const double ms = msSince(start);
    Pty::drain(masterFd);
    return ms;
}

// One click of a series, one every kClickEvery: its time to the wire, or one
// more click after which nothing reached the line.
void Outside::seriesClick(QPoint at, std::vector<double>& times, int& silentClicks) {
    if (const auto ms = clickToWire(at, line_.master()))
        times.push_back(*ms);
    else
        ++silentClicks;
    std::this_thread::sleep_for(kClickEvery - kButtonHeld);
}

Outside::StreamFigures Outside::stream(pid_t pid, int secondsLong,
                                       const std::optional<QPoint>& clickAt) {
    StreamFigures figures;
    const double memoryBefore = residentMb(pid);
    double cpuBefore = cpuSeconds(pid);
    auto secondStart = Clock::now();
    long long bytes = 0;
    {
        Stream stream(line_.master(), kBaud);
        for (int second = 0; second < secondsLong; ++second) {
            const auto secondEnd = secondStart + seconds(1);
            while (clickAt && Clock::now() + kClickEvery < secondEnd)
                seriesClick(*clickAt, figures.clicks, figures.silentClicks);
            sleepUntil(secondEnd);
            const double cpu = cpuSeconds(pid);
            const double span = double(std::chrono::duration_cast<std::chrono::microseconds>(
                                           Clock::now() - secondStart)
                                           .count()) /
                                1e6;
            figures.cpuPerSecond.push_back((cpu - cpuBefore) / span * 100);
            cpuBefore = cpu;
            secondStart = Clock::now();
        }
        bytes = stream.written();
    }
    figures.bytesPerSecond = double(bytes) / secondsLong;
    figures.memoryGrowthMb = residentMb(pid) - memoryBefore;
    Pty::drain(line_.master());
    return figures;
}

void Outside::addStream(const QString& who, const StreamFigures& figures, bool withMemory) {
    double sum = 0;
    for (const double cpu : figures.cpuPerSecond)
        sum += cpu;
    const double average =
        figures.cpuPerSecond.empty() ? 0 : sum / double(figures.cpuPerSecond.size());
    add(QStringLiteral("CPU under a %1 s stream at 115200 baud: %2")
            .arg(figures.cpuPerSecond.size())
            .arg(who),
        QStringLiteral("%"), figures.cpuPerSecond,
        QStringLiteral("per second; average %1 %, %2 bytes/s reached")
            .arg(average, 0, 'f', 2)
            .arg(figures.bytesPerSecond, 0, 'f', 0));
    if (withMemory)
        add(QStringLiteral("memory growth over the stream: ") + who, QStringLiteral("MB"),
            {figures.memoryGrowthMb});
}

void Outside::panelStreams() {
    struct Variant {
        QString who;
        bool dataPanel;
        bool clicks;
    };
    for (const Variant& variant :
         {Variant{QStringLiteral("tavo-control, data panel hidden"), false, false},
          Variant{QStringLiteral("tavo-control, data panel shown"), true, false},
          Variant{QStringLiteral("tavo-control, data panel shown, a click every 150 ms"), true,
                  true}}) {
        const Started started = startPanel();
        if (!started.window || (variant.dataPanel && !showDataPanel(started))) {
            stop(started.pid);
            add(QStringLiteral("CPU under the stream: ") + variant.who, QStringLiteral("%"), {},
                started.window ? QStringLiteral("the service key did not show the data panel")
                               : QStringLiteral("no window"));
            continue;
        }
        const QPoint origin = x_.origin(started.window);
        sleepUntil(started.at + kMemoryAfter);
        const StreamFigures figures =
            stream(started.pid, variant.clicks ? kClickStreamSeconds : kStreamSeconds,
                   variant.clicks ? std::optional(origin + controls_.on) : std::nullopt);
        stop(started.pid);
        if (variant.clicks) {
            add(QStringLiteral("click on ON -> first byte on the wire, during the stream: "
                               "tavo-control"),
                QStringLiteral("ms"), figures.clicks,
                joinedNotes(
                    {QStringLiteral("data panel shown"), silentNote(figures.silentClicks)}));
        }
        addStream(variant.who, figures);
    }
}

void Outside::cuteComStream() {
    const QString who = QStringLiteral("CuteCom");
    const Started started = start(cuteComLaunch());
    if (!started.window) {
        stop(started.pid);
        add(QStringLiteral("CPU under the stream: ") + who, QStringLiteral("%"), {},
            QStringLiteral("no window"));
        return;
    }
    sleepUntil(started.at + kMemoryAfter);
    x_.click(x_.origin(started.window) + kCuteComOpenButton);
    const auto deadline = Clock::now() + seconds(3);
    while (!hasOpen(started.pid, line_.slaveName()) && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
    if (!hasOpen(started.pid, line_.slaveName())) {
        stop(started.pid);
        add(QStringLiteral("CPU under the stream: ") + who, QStringLiteral("%"), {},
            QStringLiteral("CuteCom did not open the line; see ") + programs_.workDir +
                QStringLiteral("/cutecom.log"));
        return;
    }
    std::this_thread::sleep_for(seconds(1));
    addStream(who + QStringLiteral(" (line opened with the modem-line shim)"),
              stream(started.pid, kStreamSeconds, std::nullopt));
    stop(started.pid);
}

// A bare Xlib client on a line of its own, clicked as the panel is.
void Outside::floorClicks() {
    Pty floorLine;
    const Started started =
        start({{programs_.self, QStringLiteral("x-floor-client"), floorLine.slaveName()},
               {},
               {},
               programs_.workDir + QStringLiteral("/floor-client.log")});
    std::vector<double> clicks;
    int silentClicks = 0;
    if (started.window) {
        const QPoint middle(kFloorWindowSize / 2, kFloorWindowSize / 2);
        for (int i = 0; i < kIdleClicks; ++i) {
            if (const auto ms = clickToWire(middle, floorLine.master()))
                clicks.push_back(*ms);
            else
                ++silentClicks;
            std::this_thread::sleep_for(kClickEvery - kButtonHeld);
        }
    }
    stop(started.pid);
    add(QStringLiteral("X and pty floor: click -> byte from a bare Xlib client"),
        QStringLiteral("ms"), clicks,
        started.window ? silentNote(silentClicks) : QStringLiteral("no window"));
}

// Programs that only read the line, under the same stream.
void Outside::floorStreams() {
    for (const auto& [mode, who] :
         {std::pair{QStringLiteral("bare-reader"), QStringLiteral("floor, a bare poll/read loop")},
          std::pair{QStringLiteral("qt-reader"),
                    QStringLiteral("floor, a bare QSerialPort reader in Qt's event loop")}}) {
        const pid_t pid =
            spawn({{programs_.self, mode, line_.slaveName()},
                   {},
                   {},
                   programs_.workDir + QStringLiteral("/") + mode + QStringLiteral(".log")});
        const auto deadline = Clock::now() + seconds(3);
        while (!hasOpen(pid, line_.slaveName()) && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(20));
        if (!hasOpen(pid, line_.slaveName())) {
            stop(pid);
            add(QStringLiteral("CPU under the stream: ") + who, QStringLiteral("%"), {},
                QStringLiteral("the reader did not open the line; see its log in ") +
                    programs_.workDir);
            continue;
        }
        addStream(who, stream(pid, kFloorStreamSeconds, std::nullopt), false);
        stop(pid);
    }
}

// Arrival times of the frames on the master while a key is held; a sample
// is the time between two frames.
std::vector<double> Outside::holdIntervals(QPoint key, Clock::duration held) {
    x_.moveTo(key);
    Pty::drain(line_.master());
    std::vector<Clock::time_point> arrivals;
    const auto end = Clock::now() + held;
    x_.button(true);
    while (Clock::now() < end) {
        if (!Pty::waitReadable(line_.master(), 20))
            continue;
        const auto now = Clock::now();
        char buffer[256];
        const ssize_t n = ::read(line_.master(), buffer, sizeof buffer);
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == '\r')
                arrivals.push_back(now);
        }
    }
    x_.button(false);
    std::this_thread::sleep_for(milliseconds(300));
    Pty::drain(line_.master());
    std::vector<double> intervals;
    for (std::size_t i = 1; i < arrivals.size(); ++i)
        intervals.push_back(double(std::chrono::duration_cast<std::chrono::microseconds>(
                                       arrivals[i] - arrivals[i - 1])
                                       .count()) /
                            1000);
    return intervals;
}

void Outside::holdKeys() {
    const Started started = startPanel();
    if (!started.window) {
        stop(started.pid);
        add(QStringLiteral("hold-key period"), QStringLiteral("ms"), {},
            QStringLiteral("no window"));
        return;
    }
    const QPoint origin = x_.origin(started.window);
    sleepUntil(started.at + kMemoryAfter);
    const auto addHold = [this](const QString& name, std::vector<double> intervals) {
        const QString note =
            intervals.empty() ? QStringLiteral("fewer than two frames arrived") : QString();
        add(name, QStringLiteral("ms"), std::move(intervals), note);
    };
    addHold(QStringLiteral("hold-key period, VOL + (250 ms)"),
            holdIntervals(origin + controls_.volume, seconds(8)));
    addHold(QStringLiteral("hold-key period, Brightness + (50 ms)"),
            holdIntervals(origin + controls_.bright, seconds(4)));
    // The release of D.Zoom leaves the repeat at 5 ms for the arrow keys.
    x_.click(origin + controls_.dzoom);
    std::this_thread::sleep_for(milliseconds(300));
    Pty::drain(line_.master());
    addHold(QStringLiteral("hold-key period, arrow up after D.Zoom (5 ms)"),
            holdIntervals(origin + controls_.arrowUp, seconds(3)));
    stop(started.pid);
}

std::vector<Figure> Outside::run() {
    startRounds();
    idleFigures();
    floorClicks();
    floorStreams();
    panelStreams();
    cuteComStream();
    holdKeys();
    return figures_;
}

} // namespace

std::vector<Figure> outsideFigures(const OutsidePrograms& programs) {
    return Outside(programs).run();
}

} // namespace tavo::bench
