#include "bench/in_process.h"

#include "bench/clock.h"
#include "exchange/exchange.h"
#include "exchange/trace.h"
#include "panel/form1.h"
#include "status/decoder.h"
#include "status/number_reading.h"
#include "support/window_rig.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include <chrono>
#include <functional>

namespace tavo::bench {

namespace {

const QString kGroup = QStringLiteral("in-process");

double nanosecondsSince(Clock::time_point start) {
    return double(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
}

// Calls short enough to drown in the clock's own cost are timed in batches;
// a sample is the time per call.
template <typename Call> std::vector<double> timePerCall(int samples, int batch, Call&& call) {
    std::vector<double> times;
    times.reserve(std::size_t(samples));
    for (int i = 0; i < samples; ++i) {
        const auto start = Clock::now();
        for (int j = 0; j < batch; ++j)
            call();
        times.push_back(nanosecondsSince(start) / batch);
    }
    return times;
}

struct PureCall {
    const char* name;
    std::function<void()> call;
};

std::vector<Figure> pureFigures() {
    const QByteArray frame("CF INPUT VIDEO S-VIDEO\r");
    const QByteArray powerQuery("CR0\r");
    const QByteArray pressureQuery("CR PRESSURE\r");
    const QString powerReply = link::traceLine("00\r");
    const QString pressureReply = link::traceLine("512\r");
    const QString longDigits = link::traceLine(QByteArray(link::ReplyCapture::kCapacity, '5'));
    volatile qsizetype sink = 0;
    const std::vector<PureCall> calls{
        {"trace line of a 23-byte frame", [&] { sink = link::traceLine(frame).size(); }},
        {"decoder, CR0 reply",
         [&] { sink = status::decodeStatus(powerQuery, {}, powerReply)->size(); }},
        {"decoder, pressure reply",
         [&] { sink = status::decodeStatus(pressureQuery, {}, pressureReply)->size(); }},
        {"number reading, \" 5 1 2 CR \"",
         [&] { sink = qsizetype(status::readNumberLeniently(pressureReply)); }},
    };
    std::vector<Figure> figures;
    for (const PureCall& pure : calls)
        figures.push_back({kGroup, QLatin1String(pure.name), QStringLiteral("ns"),
                           timePerCall(1000, 200, pure.call), QString()});
    figures.push_back(
        {kGroup, QStringLiteral("decoder, pressure over a full buffer of digits"),
         QStringLiteral("µs"),
         timePerCall(200, 1,
                     [&] { sink = status::decodeStatus(pressureQuery, {}, longDigits)->size(); }),
         QStringLiteral("the one rule whose reading runs on while digits come")});
    for (double& sample : figures.back().samples)
        sample /= 1000;
    return figures;
}

// The window on an in-memory port, shown with its data panel (the service
// key), with the timers set so long that only the pieces change the lines.
class ReceiveRig {
public:
    ReceiveRig() {
        window_.serviceKey();
        QApplication::processEvents();
        exchange().setReplyTiming({std::chrono::minutes(10), std::chrono::minutes(10)});
    }
    bool isReady() const { return window_.isReady(); }
    link::Exchange& exchange() const { return window_.form().exchange(); }
    test::FakeSerial& port() const { return window_.port(); }
    template <typename T> T* find(const char* name) const { return window_.find<T>(name); }

private:
    test::WindowRig window_;
};

constexpr qsizetype kPieceSize = 16;
constexpr int kPiecesPerFill = 50;
constexpr int kFills = 40;

struct BufferSize {
    const char* label;
    qsizetype fill;
};

// The last size leaves room for the timed pieces below the capacity.
constexpr BufferSize kBufferSizes[]{
    {"0", 0},
    {"1 K", 1024},
    {"16 K", 16 * 1024},
    {"32 K", link::ReplyCapture::kCapacity - kPiecesPerFill* kPieceSize - kPieceSize}};

// One piece at a time into a buffer filled to the size: the buffer is
// emptied and filled again, untimed, every kPiecesPerFill pieces. The first
// piece after a fill is not timed either: it shows the whole trace once.
std::vector<double> timePieces(ReceiveRig& rig, qsizetype fill) {
    const QByteArray piece("0123456789ABCDEF");
    std::vector<double> samples;
    for (int round = 0; round < kFills; ++round) {
        rig.exchange().endReply();
        rig.port().receive(QByteArray(fill, 'A'));
        rig.port().receive(piece);
        QApplication::processEvents();
        for (int i = 0; i < kPiecesPerFill; ++i) {
            const auto start = Clock::now();
            rig.port().receive(piece);
            samples.push_back(nanosecondsSince(start) / 1000);
        }
    }
    return samples;
}

std::vector<Figure> receiveFigures() {
    ReceiveRig rig;
    if (!rig.isReady())
        return {{kGroup,
                 QStringLiteral("receive path"),
                 QStringLiteral("µs"),
                 {},
                 QStringLiteral("the window was not shown")}};
    std::vector<Figure> figures;
    struct LastFrame {
        const char* code;
        const char* what;
    };
    for (const LastFrame last : {LastFrame{"C00", "no status query"},
                                 LastFrame{"CR9", "CR9: the status line copies the trace"}}) {
        rig.exchange().send(last.code);
        for (const BufferSize& size : kBufferSizes)
            figures.push_back({kGroup,
                               QStringLiteral("receive path, 16-byte piece, buffer %1, after %2")
                                   .arg(QLatin1String(size.label), QLatin1String(last.code)),
                               QStringLiteral("µs"), timePieces(rig, size.fill),
                               size.fill == 0 ? QLatin1String(last.what) : QString()});
    }
    rig.exchange().endReply();
    rig.port().receive(QByteArray(link::ReplyCapture::kCapacity, 'A'));
    figures.push_back({kGroup, QStringLiteral("receive path, 16-byte piece into a full buffer"),
                       QStringLiteral("µs"),
                       timePerCall(2000, 1, [&] { rig.port().receive("0123456789ABCDEF"); }),
                       QStringLiteral("dropped; lines unchanged")});
    for (double& sample : figures.back().samples)
        sample /= 1000;

    // Painting Label12 lays out only what its box shows, whatever it holds.
    auto* received = rig.find<QLabel>("Label12");
    for (const BufferSize& size : kBufferSizes) {
        rig.exchange().endReply();
        rig.port().receive(QByteArray(size.fill, 'A'));
        rig.port().receive("0123456789ABCDEF");
        std::vector<double> samples = timePerCall(300, 1, [&] { received->repaint(); });
        for (double& sample : samples)
            sample /= 1000;
        figures.push_back(
            {kGroup, QStringLiteral("Label12 repaint, buffer %1").arg(QLatin1String(size.label)),
             QStringLiteral("µs"), samples, QString()});
    }

    // Qt repaints a released button before it emits clicked(): this much
    // of every click comes before the frame is written.
    auto* on = rig.find<QPushButton>("Command17");
    std::vector<double> samples = timePerCall(300, 1, [&] { on->repaint(); });
    for (double& sample : samples)
        sample /= 1000;
    figures.push_back({kGroup, QStringLiteral("ON button repaint"), QStringLiteral("µs"), samples,
                       QStringLiteral("offscreen: painting only, no flush to a display")});
    return figures;
}

} // namespace

std::vector<Figure> inProcessFigures() {
    std::vector<Figure> figures = pureFigures();
    for (Figure& figure : receiveFigures())
        figures.push_back(std::move(figure));
    return figures;
}

} // namespace tavo::bench
