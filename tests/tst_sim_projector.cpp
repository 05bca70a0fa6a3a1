// The virtual projector without any I/O: the state machine on a virtual
// clock, frame assembly, the misbehaviour knobs and the pacing of replies.

#include "projector-sim/frame_assembler.h"
#include "projector-sim/projector.h"
#include "projector-sim/simulator.h"
#include "projector-sim/transmitter.h"

#include "commands/senders.h"
#include "exchange/log_text.h"

#include <QtTest>

using namespace tavo::sim;
using tavo::link::printable;
using namespace std::chrono_literals;

namespace {

const QByteArray kAckReply(1, kAck);
const QByteArray kNakReply(1, kNak);

// One frame received at a time, and the reply it must get.
struct Step {
    qint64 atMs;
    QByteArray frame;
    QByteArray reply;
};

// One byte complete on the line.
struct Arrival {
    qint64 atUs;
    char byte;

    bool operator==(const Arrival&) const = default;
};

constexpr qint64 kHourMs = 3'600'000;

// When each byte is complete on the line, the first one ready at readyUs.
QList<Arrival> paced(const QByteArray& bytes, qint64 readyUs, qint64 characterUs) {
    QList<Arrival> arrivals;
    for (qsizetype i = 0; i < bytes.size(); ++i)
        arrivals.append({readyUs + (i + 1) * characterUs, bytes.at(i)});
    return arrivals;
}

// Steps the simulator from one due time to the next, as the server's timer
// does, and records every byte with the time it is taken off the line.
QList<Arrival> runLine(Simulator& simulator, Micros until) {
    QList<Arrival> arrivals;
    for (auto due = simulator.nextDue(); due && *due <= until; due = simulator.nextDue()) {
        simulator.advance(*due);
        for (const char byte : simulator.take(*due))
            arrivals.append({due->count(), byte});
    }
    return arrivals;
}

QByteArray bytesOf(const QList<Arrival>& arrivals) {
    QByteArray bytes;
    for (const Arrival& arrival : arrivals)
        bytes.append(arrival.byte);
    return bytes;
}

} // namespace

Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(Arrival)
Q_DECLARE_METATYPE(tavo::sim::Behaviour)
Q_DECLARE_METATYPE(tavo::sim::ReceivedFrame)

namespace QTest {
template <> char* toString(const Arrival& arrival) {
    return qstrdup(QStringLiteral("%1 us: %2")
                       .arg(arrival.atUs)
                       .arg(printable(QByteArrayView(&arrival.byte, 1)))
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class TestSimProjector : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void exchanges_data();
    void exchanges();
    void temperatureReplyFitsThePanelsSensorRule_data();
    void temperatureReplyFitsThePanelsSensorRule();
    void everyPanelCommandIsAcknowledged_data();
    void everyPanelCommandIsAcknowledged();
    void frameAssembly_data();
    void frameAssembly();
    void pacing_data();
    void pacing();
    void silentProjectorStillActs();
    void noiseComesInShortBurstsAtItsInterval();
    void floodNeverIdlesTheLineAndRepliesGoOutWhole();
    void logLines_data();
    void logLines();
};

void TestSimProjector::exchanges_data() {
    QTest::addColumn<QList<Step>>("steps");
    const QByteArray ack = kAckReply;

    QTest::addRow("standby answers 80") << QList<Step>{{0, "CR0", "80\r"}};
    QTest::addRow("power on counts down for 3 s, then is on") << QList<Step>{
        {0, "C00", ack}, {1, "CR0", "40\r"}, {2999, "CR0", "40\r"}, {3000, "CR0", "00\r"}};
    QTest::addRow("power off cools for 5 s, then stands by") << QList<Step>{{0, "C00", ack},
                                                                            {3000, "C01", ack},
                                                                            {3001, "CR0", "20\r"},
                                                                            {7999, "CR0", "20\r"},
                                                                            {8000, "CR0", "80\r"}};
    QTest::addRow("power on while cooling changes nothing") << QList<Step>{
        {0, "C00", ack}, {3000, "C01", ack}, {4000, "C00", ack}, {8000, "CR0", "80\r"}};
    QTest::addRow("power off in standby or during count down changes nothing")
        << QList<Step>{{0, "C01", ack},
                       {1, "CR0", "80\r"},
                       {2, "C00", ack},
                       {3, "C01", ack},
                       {3002, "CR0", "00\r"}};
    QTest::addRow("power on twice does not restart the count down")
        << QList<Step>{{0, "C00", ack}, {2000, "C00", ack}, {3000, "CR0", "00\r"}};
    QTest::addRow("queries answer whatever the power state")
        << QList<Step>{{0, "CR1", "1\r"}, {0, "CR4", "11\r"}, {0, "CR PRESSURE", "852\r"}};

    QTest::addRow("input modes") << QList<Step>{
        {0, "CR1", "1\r"}, {1, "C06", ack}, {2, "CR1", "2\r"}, {3, "C07", ack},
        {4, "CR1", "3\r"}, {5, "C05", ack}, {6, "CR1", "1\r"}};
    QTest::addRow("input name with its terminal") << QList<Step>{{0, "CR INPUT", "PC1 RGB\r"},
                                                                 {1, "C53", ack},
                                                                 {2, "CR INPUT", "PC1 DVI-AV\r"},
                                                                 {3, "C07", ack},
                                                                 {4, "CF INPUT VIDEO S-VIDEO", ack},
                                                                 {5, "CR INPUT", "VIDEO S-VIDEO\r"},
                                                                 {6, "C06", ack},
                                                                 {7, "C26", ack},
                                                                 {8, "CR INPUT", "PC2 SCART\r"}};

    QTest::addRow("mutes read FF in standby")
        << QList<Step>{{0, "CRA", "FF\r"}, {1, "C0B", ack}, {2, "CRA", "FF\r"}};
    QTest::addRow("mute codes: 01 picture, 02 sound, 03 both") << QList<Step>{
        {0, "C00", ack},    {3000, "CRA", "00\r"}, {3001, "C0D", ack}, {3002, "CRA", "01\r"},
        {3003, "C0B", ack}, {3004, "CRA", "03\r"}, {3005, "C0E", ack}, {3006, "CRA", "02\r"},
        {3007, "C0C", ack}, {3008, "CRA", "00\r"}};
    QTest::addRow("power off clears the mutes") << QList<Step>{
        {0, "C00", ack},       {3000, "C0B", ack}, {3001, "C0D", ack},    {3002, "C01", ack},
        {3003, "CRA", "00\r"}, {8002, "C00", ack}, {11002, "CRA", "00\r"}};

    QTest::addRow("lamp hours grow while on")
        << QList<Step>{{0, "CR3", "01234\r"},
                       {0, "C00", ack},
                       {3000 + 2 * kHourMs - 1, "CR3", "01235\r"},
                       {3000 + 2 * kHourMs, "CR3", "01236\r"},
                       {3000 + 2 * kHourMs, "CR PROJH", "02347\r"}};
    QTest::addRow("lamp hours stand still while off")
        << QList<Step>{{0, "C00", ack},
                       {3000 + kHourMs, "C01", ack},
                       {3000 + 5 * kHourMs, "CR3", "01235\r"},
                       {3000 + 5 * kHourMs, "C00", ack},
                       {6000 + 6 * kHourMs, "CR3", "01236\r"}};
    QTest::addRow("lamp state: both lamps lit while on, 2 lamp mode")
        << QList<Step>{{0, "CR7", "00\r"},    {0, "C00", ack},    {1, "CR7", "03\r"},
                       {3000, "CR7", "03\r"}, {3000, "C01", ack}, {3001, "CR7", "00\r"}};
    QTest::addRow("readable status text") << QList<Step>{{0, "CR9", "STANDBY PC1 1234H\r"},
                                                         {0, "C00", ack},
                                                         {1, "C07", ack},
                                                         {3000, "CR9", "ON VIDEO 1234H\r"}};
    QTest::addRow("screen reversal normal") << QList<Step>{{0, "CR4", "11\r"}};

    QTest::addRow("key lock") << QList<Step>{{0, "CR KEYDIS", "NONE\r"},
                                             {1, "CF KEYDIS RC", ack},
                                             {2, "CR KEYDIS", "RC\r"},
                                             {3, "CF KEYDIS KEY", ack},
                                             {4, "CR KEYDIS", "KEY\r"}};
    QTest::addRow("lamp mode") << QList<Step>{{0, "CR LAMPMODE", "AUTO\r"},
                                              {1, "C75", ack},
                                              {2, "CR LAMPMODE", "ECO\r"},
                                              {3, "C74", ack},
                                              {4, "CR LAMPMODE", "NORMAL\r"}};
    QTest::addRow("fan speed") << QList<Step>{
        {0, "CR FANSPEED", "NOR\r"}, {1, "CF FANSPEED MAX", ack}, {2, "CR FANSPEED", "MAX\r"}};
    QTest::addRow("AV size") << QList<Step>{{0, "CR SCREEN", "REGULAR\r"},
                                            {1, "C10", ack},
                                            {2, "CR SCREEN", "WIDE\r"},
                                            {3, "C0F", ack},
                                            {4, "CR SCREEN", "REGULAR\r"}};

    const QByteArray nak = kNakReply;
    QTest::addRow("unknown frames get NAK") << QList<Step>{{0, "C99", nak},
                                                           {0, "c00", nak},
                                                           {0, "C00 ", nak},
                                                           {0, "CR", nak},
                                                           {0, "CR0 ", nak},
                                                           {0, "cr0", nak},
                                                           {0, "CRPROJH", nak},
                                                           {0,
                                                            QByteArray("C\0"
                                                                       "0",
                                                                       3),
                                                            nak},
                                                           {0, "CF INPUT", nak},
                                                           {0, "CR0", "80\r"}};
}

void TestSimProjector::exchanges() {
    QFETCH(QList<Step>, steps);
    Projector projector;
    for (const Step& step : steps)
        QCOMPARE(projector.answer(step.frame, Millis{step.atMs}), step.reply);
}

// The panel shows reply characters 1-5, 8-11 and 13-17 as the sensors S1,
// S2 and S3 and skips characters 6, 7 and 12.
void TestSimProjector::temperatureReplyFitsThePanelsSensorRule_data() {
    QTest::addColumn<bool>("switchedOn");
    QTest::addColumn<qint64>("atMs");
    QTest::addColumn<QByteArray>("s1");
    QTest::addColumn<QByteArray>("s2");
    QTest::addColumn<QByteArray>("s3");

    QTest::addRow("standby") << false << qint64{0} << QByteArray("025.0") << QByteArray("26.5")
                             << QByteArray("027.0");
    QTest::addRow("count down") << true << qint64{1} << QByteArray("028.5") << QByteArray("31.0")
                                << QByteArray("030.5");
    QTest::addRow("on") << true << qint64{3000} << QByteArray("035.5") << QByteArray("42.0")
                        << QByteArray("038.5");
}

void TestSimProjector::temperatureReplyFitsThePanelsSensorRule() {
    QFETCH(bool, switchedOn);
    QFETCH(qint64, atMs);
    QFETCH(QByteArray, s1);
    QFETCH(QByteArray, s2);
    QFETCH(QByteArray, s3);

    Projector projector;
    if (switchedOn)
        projector.answer("C00", 0ms);
    const QByteArray reply = projector.answer("CR6", Millis{atMs});
    QCOMPARE(reply.size(), 18);
    QCOMPARE(reply.mid(0, 5), s1);
    QCOMPARE(reply.mid(7, 4), s2);
    QCOMPARE(reply.mid(12, 5), s3);
    // The skipped characters hide nothing: two separators and the middle
    // field's leading zero.
    QCOMPARE(reply.at(5), ',');
    QCOMPARE(reply.at(6), '0');
    QCOMPARE(reply.at(11), ',');
    QCOMPARE(reply.back(), '\r');
}

void TestSimProjector::everyPanelCommandIsAcknowledged_data() {
    QTest::addColumn<QByteArray>("code");
    // Every command the panel's senders and hold keys send, read from the
    // panel's own tables; the status queries ("CR...") answer with text.
    const auto addRow = [](std::string_view control, std::string_view code) {
        if (!code.starts_with("CR"))
            QTest::addRow("%s %s", control.data(), code.data())
                << QByteArray(code.data(), static_cast<qsizetype>(code.size()));
    };
    for (const auto& sender : tavo::commands::oneShotSenders())
        addRow(sender.control, sender.code);
    for (const auto& key : tavo::commands::holdKeys())
        addRow(key.control, key.code);
}

void TestSimProjector::everyPanelCommandIsAcknowledged() {
    QFETCH(QByteArray, code);
    Projector standby;
    QCOMPARE(standby.answer(code, 0ms), kAckReply);
    Projector on;
    on.answer("C00", 0ms);
    QCOMPARE(on.answer(code, 3000ms), kAckReply);
}

void TestSimProjector::frameAssembly_data() {
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QList<qsizetype>>("lengths");

    const QByteArray long300(300, 'x');
    const QByteArray exactly256(256, 'y');
    QTest::addRow("one frame, one piece")
        << QList<QByteArray>{"CR0\r"} << QList<QByteArray>{"CR0"} << QList<qsizetype>{3};
    QTest::addRow("one frame in three pieces")
        << QList<QByteArray>{"C", "R0", "\r"} << QList<QByteArray>{"CR0"} << QList<qsizetype>{3};
    QTest::addRow("two frames in one piece")
        << QList<QByteArray>{"C00\rCR0\r"} << QList<QByteArray>{"C00", "CR0"}
        << QList<qsizetype>{3, 3};
    QTest::addRow("frame split after its CR")
        << QList<QByteArray>{"C00\rC", "R0\r"} << QList<QByteArray>{"C00", "CR0"}
        << QList<qsizetype>{3, 3};
    QTest::addRow("CR LF ends a frame once")
        << QList<QByteArray>{"CR0\r\n", "CR1\r\n"} << QList<QByteArray>{"CR0", "CR1"}
        << QList<qsizetype>{3, 3};
    QTest::addRow("LF alone ends nothing")
        << QList<QByteArray>{"CR\n0\n", "\r"} << QList<QByteArray>{"CR0"} << QList<qsizetype>{3};
    QTest::addRow("empty frames are skipped") << QList<QByteArray>{"\r\r\n\r", "CR0\r"}
                                              << QList<QByteArray>{"CR0"} << QList<qsizetype>{3};
    QTest::addRow("no CR, no frame")
        << QList<QByteArray>{"CR0", "CR1"} << QList<QByteArray>{} << QList<qsizetype>{};
    QTest::addRow("a frame of the longest length is kept whole")
        << QList<QByteArray>{exactly256 + '\r'} << QList<QByteArray>{exactly256}
        << QList<qsizetype>{256};
    QTest::addRow("a too long frame keeps its head, the next one is whole")
        << QList<QByteArray>{long300.left(100), long300.mid(100) + "\rCR0\r"}
        << QList<QByteArray>{long300.left(256), "CR0"} << QList<qsizetype>{300, 3};
}

void TestSimProjector::frameAssembly() {
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QList<qsizetype>, lengths);

    FrameAssembler assembler;
    QList<Frame> got;
    for (const QByteArray& piece : pieces)
        got += assembler.feed(piece);
    QCOMPARE(got.size(), frames.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].head, frames[i]);
        QCOMPARE(got[i].length, lengths[i]);
        QCOMPARE(got[i].tooLong(), lengths[i] > FrameAssembler::kMaxFrame);
    }
}

void TestSimProjector::pacing_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<Behaviour>("behaviour");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QList<Arrival>>("expected");

    const qint64 fast = 521;  // 10 bits at 19200 baud, microseconds
    const qint64 slow = 1042; // at 9600
    const qint64 ready = 3000;
    QTest::addRow("19200 baud, a character every 521 us after 3 ms")
        << 19200 << Behaviour{} << QByteArray("CR0\r") << paced("80\r", ready, fast);
    QTest::addRow("9600 baud, a character every 1042 us after 3 ms")
        << 9600 << Behaviour{} << QByteArray("CR0\r") << paced("80\r", ready, slow);
    QTest::addRow("two frames, the second reply queues behind the first")
        << 19200 << Behaviour{} << QByteArray("CR0\rCR1\r")
        << paced("80\r", ready, fast) + paced("1\r", ready + 3 * fast, fast);
    QTest::addRow("an acknowledgement is one character")
        << 19200 << Behaviour{} << QByteArray("C00\r") << paced(kAckReply, ready, fast);
    Behaviour late;
    late.late = 800ms;
    QTest::addRow("late by 800 ms")
        << 19200 << late << QByteArray("CR0\r") << paced("80\r", ready + 800'000, fast);
    Behaviour silent;
    silent.silent = true;
    QTest::addRow("silent") << 19200 << silent << QByteArray("CR0\rC00\rXYZ\r") << QList<Arrival>{};
    QTest::addRow("a frame still without its CR gets nothing")
        << 19200 << Behaviour{} << QByteArray("CR0") << QList<Arrival>{};
    QTest::addRow("a too long frame gets nothing")
        << 19200 << Behaviour{} << QByteArray(FrameAssembler::kMaxFrame + 1, 'C') + '\r'
        << QList<Arrival>{};
}

void TestSimProjector::pacing() {
    QFETCH(int, baud);
    QFETCH(Behaviour, behaviour);
    QFETCH(QByteArray, received);
    QFETCH(QList<Arrival>, expected);

    Simulator simulator(ProjectorConfig{}, behaviour, baud);
    simulator.receive(received, 0us);
    QCOMPARE(runLine(simulator, 2s), expected);
    QVERIFY(!simulator.nextDue());
}

void TestSimProjector::silentProjectorStillActs() {
    Behaviour silent;
    silent.silent = true;
    Simulator simulator(ProjectorConfig{}, silent, 19200);
    const auto exchanges = simulator.receive("C00\r", 0us);
    QCOMPARE(exchanges.size(), 1);
    QVERIFY(exchanges.first().reply.isEmpty());
    simulator.advance(3s);
    QCOMPARE(simulator.projector().state().power, Power::On);
}

void TestSimProjector::noiseComesInShortBurstsAtItsInterval() {
    Behaviour noisy;
    noisy.noiseEvery = 100ms;
    noisy.seed = 7;
    Simulator simulator(ProjectorConfig{}, noisy, 19200);
    Simulator twin(ProjectorConfig{}, noisy, 19200);

    QVERIFY(simulator.advance(99'999us).isEmpty());
    QCOMPARE(simulator.nextDue().value_or(Micros{0}).count(), 100'000);
    QList<QByteArray> bursts = simulator.advance(100ms);
    bursts += simulator.advance(350ms);
    QCOMPARE(bursts.size(), 3);
    for (const QByteArray& burst : bursts)
        QVERIFY2(burst.size() >= 1 && burst.size() <= 4, qPrintable(printable(burst)));
    QCOMPARE(twin.advance(350ms), bursts);

    // The bursts go out at the line rate, each from its own time on.
    Simulator onLine(ProjectorConfig{}, noisy, 19200);
    const QList<Arrival> arrivals = runLine(onLine, 350ms);
    QCOMPARE(bytesOf(arrivals), bursts.join());
    QCOMPARE(arrivals.first().atUs, 100'521);
}

void TestSimProjector::floodNeverIdlesTheLineAndRepliesGoOutWhole() {
    Behaviour flood;
    flood.flood = true;
    Simulator simulator(ProjectorConfig{}, flood, 19200);
    simulator.receive("CR0\r", 0us);
    const QList<Arrival> arrivals = runLine(simulator, 10ms);

    QCOMPARE(arrivals.size(), 19); // 10 ms / 521 us
    for (qsizetype i = 0; i < arrivals.size(); ++i)
        QCOMPARE(arrivals[i].atUs, (i + 1) * 521);
    // The sixth flood character is on the line when the reply is ready at
    // 3 ms; the reply follows it without a gap, then the flood goes on.
    QCOMPARE(bytesOf(arrivals), QByteArray("flood 80\rflood floo"));
}

void TestSimProjector::logLines_data() {
    QTest::addColumn<ReceivedFrame>("exchange");
    QTest::addColumn<QString>("line");

    QTest::addRow("query") << ReceivedFrame{{"CR0", 3}, "00\r", {}}
                           << QStringLiteral(R"(rx "CR0" -> "00<CR>")");
    QTest::addRow("command") << ReceivedFrame{{"C00", 3}, kAckReply, {}}
                             << QStringLiteral(R"(rx "C00" -> "<ACK>")");
    QTest::addRow("unknown") << ReceivedFrame{{"XY\x01\x8f", 4}, kNakReply, {}}
                             << QStringLiteral(R"(rx "XY<0x01><0x8F>" -> "<NAK>")");
    QTest::addRow("silent") << ReceivedFrame{{"CR0", 3}, {}, {}}
                            << QStringLiteral(R"(rx "CR0" -> no answer)");
    QTest::addRow("too long")
        << ReceivedFrame{{QByteArray(256, 'x'), 300}, {}, {}}
        << QStringLiteral(R"(rx "xxxxxxxxxxxxxxxx"... (300 bytes) -> dropped, too long)");
}

void TestSimProjector::logLines() {
    QFETCH(ReceivedFrame, exchange);
    QFETCH(QString, line);
    QCOMPARE(describe(exchange), line);
}

QTEST_GUILESS_MAIN(TestSimProjector)
#include "tst_sim_projector.moc"
