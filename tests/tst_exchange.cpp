// The exchange with the projector without any window: frames on the wire,
// replies in pieces, the timeout mark, blanking, the buffer's head, a closed
// port and a lost device, over the in-memory port and a real pseudo-terminal.
// Timer ticks are driven by hand where the order of events matters, and
// waited for where the time itself is the point.
#include "exchange/exchange.h"
#include "exchange/reply_capture.h"
#include "exchange/trace.h"
#include "exchange/transaction.h"
#include "link/serial_control.h"
#include "support/fake_exchange.h"
#include "support/pseudo_terminal.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace std::chrono_literals;
using tavo::link::Exchange;
using tavo::link::ExchangeResult;
using tavo::link::Outcome;
using tavo::link::ReplyTiming;
using tavo::link::Transaction;
using tavo::test::FakeExchange;
using tavo::test::PseudoTerminal;
using tavo::test::tick;

Q_DECLARE_METATYPE(tavo::link::Outcome)
Q_DECLARE_METATYPE(tavo::link::ExchangeResult)

namespace {

// The three display lines as the exchange's signals leave them.
struct Lines {
    QString sent, received, status;

    explicit Lines(Exchange& exchange) {
        QObject::connect(&exchange, &Exchange::sentTraceChanged,
                         [this](const QString& t) { sent = t; });
        QObject::connect(&exchange, &Exchange::receivedTraceChanged,
                         [this](const QString& t) { received = t; });
        QObject::connect(&exchange, &Exchange::statusTextChanged,
                         [this](const QString& t) { status = t; });
        // Later pieces of a reply extend the lines instead of setting them whole.
        QObject::connect(&exchange, &Exchange::receivedTraceAppended,
                         [this](QStringView t) { received += t; });
        QObject::connect(&exchange, &Exchange::statusTextAppended,
                         [this](QStringView t) { status += t; });
    }
};

struct FakeRig : FakeExchange {
    std::unique_ptr<Lines> lines = std::make_unique<Lines>(*exchange);

    FakeRig() { exchange->reset(); }
};

// A transaction on the rig's exchange, and what it reported.
struct TransactionRig : FakeRig {
    Transaction transaction{*exchange};
    QSignalSpy finished{&transaction, &Transaction::finished};

    // One frame: begin, send, the reply's pieces, then the reply timer's
    // tick when nothing ended the frame sooner.
    void exchangeFrame(QByteArrayView code, const QList<QByteArray>& pieces) {
        const qsizetype before = finished.size();
        transaction.begin();
        exchange->send(code);
        for (const QByteArray& piece : pieces)
            port->receive(piece);
        if (finished.size() == before)
            tick(exchange->replyTimer());
    }
    ExchangeResult last() const { return finished.last().at(0).value<ExchangeResult>(); }
};

QByteArray printable(qsizetype size) {
    QByteArray bytes(size, 'A');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>('A' + i % 26);
    return bytes;
}

} // namespace

class TestExchange : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sendWritesFrameAndStartsTimers_data();
    void sendWritesFrameAndStartsTimers();
    void replyPiecesShownAndDecoded_data();
    void replyPiecesShownAndDecoded();
    void replyTimerTick_data();
    void replyTimerTick();
    void clearingTimerBlanksAllThree();
    void bufferKeepsItsHead();
    void sendWhilePortClosed();
    void releaseEndsTheReply();
    void timingChangesRestartOnlyRunningTimers();
    void receivedTraceOfOtherBytes();
    void timeoutMarkComesInTime();
    void transactionOutcomes_data();
    void transactionOutcomes();
    void transactionEndsEarlyAndEmptiesBuffer();
    void transactionDropsBytesFromBefore_data();
    void transactionDropsBytesFromBefore();
    void transactionFailsAtOnce_data();
    void transactionFailsAtOnce();
    void transactionWaitsForAQuietLine_data();
    void transactionWaitsForAQuietLine();
    void overPseudoTerminal();
    void deviceLostOverPseudoTerminal();
};

void TestExchange::sendWritesFrameAndStartsTimers_data() {
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("trace");
    QTest::addRow("POWER ON") << QByteArray("C00") << QByteArray("C00\r")
                              << QStringLiteral(" C 0 0 CR ");
    QTest::addRow("a query with a blank") << QByteArray("CR PROJH") << QByteArray("CR PROJH\r")
                                          << QStringLiteral(" C R   P R O J H CR ");
    QTest::addRow("an empty entry") << QByteArray() << QByteArray("\r") << QStringLiteral(" CR ");
    QTest::addRow("NUL and high bytes")
        << QByteArray("A\0\xff", 3) << QByteArray("A\0\xff\r", 4) << QStringLiteral(" A ? ? CR ");
}

void TestExchange::sendWritesFrameAndStartsTimers() {
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, wire);
    QFETCH(QString, trace);
    FakeRig rig;
    rig.exchange->send(code);
    QCOMPARE(rig.port->written, QList<QByteArray>{wire});
    QCOMPARE(rig.exchange->lastFrameSent(), wire);
    QCOMPARE(rig.lines->sent, trace);
    QCOMPARE(rig.exchange->awaitingReply(), true);
    QVERIFY(rig.exchange->replyTimer().isActive());
    QVERIFY(rig.exchange->clearTimer().isActive());
    QCOMPARE(rig.exchange->replyTimer().interval(), 500);
    QCOMPARE(rig.exchange->clearTimer().interval(), 1000);
    QCOMPARE(rig.exchange->replyTimer().timerType(), Qt::PreciseTimer);
    QCOMPARE(rig.exchange->clearTimer().timerType(), Qt::PreciseTimer);
}

void TestExchange::replyPiecesShownAndDecoded_data() {
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QStringList>("traces");   // after each piece
    QTest::addColumn<QStringList>("statuses"); // after each piece
    QTest::addRow("STATUS in two pieces")
        << QByteArray("CR0") << QList<QByteArray>{"0", "0\r"} << QStringList{" 0 ", " 0 0 CR "}
        << QStringList{"", " Power ON"};
    QTest::addRow("an acknowledgement") << QByteArray("C00") << QList<QByteArray>{"\x06"}
                                        << QStringList{" ACK "} << QStringList{""};
    QTest::addRow("a heading query is not decoded")
        << QByteArray("CR SCREEN") << QList<QByteArray>{"REGULAR\r"}
        << QStringList{" R E G U L A R CR "} << QStringList{""};
    QTest::addRow("line feed and unknown characters")
        << QByteArray("CR0") << QList<QByteArray>{"00\r", "\n{~"}
        << QStringList{" 0 0 CR ", " 0 0 CR LF ? ? "} << QStringList{" Power ON", " Power ON"};
    QTest::addRow("character 20 has no blank") << QByteArray("C00") << QList<QByteArray>{"A\024B"}
                                               << QStringList{" A &B "} << QStringList{""};
}

void TestExchange::replyPiecesShownAndDecoded() {
    QFETCH(QByteArray, code);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QStringList, traces);
    QFETCH(QStringList, statuses);
    FakeRig rig;
    rig.exchange->send(code);
    QSignalSpy received(rig.exchange.get(), &Exchange::replyReceived);
    QByteArray all;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        rig.port->receive(pieces[i]);
        all += pieces[i];
        QCOMPARE(rig.lines->received, traces[i]);
        QCOMPARE(rig.lines->status, statuses[i]);
        QCOMPARE(rig.exchange->replyBuffer(), all);
        QCOMPARE(rig.exchange->replyTrace(), traces[i]);
        QCOMPARE(rig.exchange->awaitingReply(), false);
    }
    QCOMPARE(received.size(), pieces.size());
    QCOMPARE(rig.port->written.size(), 1); // nothing is ever written on a receive
}

void TestExchange::replyTimerTick_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("traceAfter");
    QTest::addColumn<bool>("timedOut");
    QTest::addRow("no reply: the timeout mark")
        << QByteArray() << QStringLiteral(" X X X X") << true;
    QTest::addRow("a reply stays on show")
        << QByteArray("00\r") << QStringLiteral(" 0 0 CR ") << false;
}

void TestExchange::replyTimerTick() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, traceAfter);
    QFETCH(bool, timedOut);
    FakeRig rig;
    rig.exchange->send("CR0");
    if (!reply.isEmpty())
        rig.port->receive(reply);
    QSignalSpy ended(rig.exchange.get(), &Exchange::replyEnded);
    tick(rig.exchange->replyTimer());
    QCOMPARE(rig.lines->received, traceAfter);
    QVERIFY(!rig.exchange->replyTimer().isActive());
    QVERIFY(rig.exchange->clearTimer().isActive());
    QVERIFY(rig.exchange->replyBuffer().isEmpty());
    QCOMPARE(rig.exchange->awaitingReply(), false);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().at(0).toByteArray(), reply);
    QCOMPARE(ended.first().at(1).toBool(), timedOut);
    // A reply that begins after the tick starts in the emptied buffer.
    rig.port->receive("8");
    QCOMPARE(rig.exchange->replyBuffer(), QByteArray("8"));
    QCOMPARE(rig.lines->received, QStringLiteral(" 8 "));
}

void TestExchange::clearingTimerBlanksAllThree() {
    FakeRig rig;
    rig.exchange->send("CR0");
    rig.port->receive("00\r");
    QCOMPARE(rig.lines->status, QStringLiteral(" Power ON"));
    tick(rig.exchange->clearTimer());
    QCOMPARE(rig.lines->sent, QString());
    QCOMPARE(rig.lines->received, QString());
    QCOMPARE(rig.lines->status, QString());
    QVERIFY(!rig.exchange->clearTimer().isActive());
    // The clearing leaves the reply being collected alone.
    QCOMPARE(rig.exchange->replyBuffer(), QByteArray("00\r"));
    QVERIFY(rig.exchange->replyTimer().isActive());
}

void TestExchange::bufferKeepsItsHead() {
    FakeRig rig;
    rig.exchange->send("CR0");
    const QByteArray stream = printable(40000);
    for (qsizetype at = 0; at < stream.size(); at += 4096)
        rig.port->receive(stream.mid(at, 4096));
    const QByteArray head = stream.first(tavo::link::ReplyCapture::kCapacity);
    QCOMPARE(rig.exchange->replyBuffer(), head);
    QCOMPARE(rig.exchange->replyTrace(), tavo::link::traceLine(head));
    QCOMPARE(rig.lines->received, rig.exchange->replyTrace());
    // A send still goes out at once.
    rig.exchange->send("C01");
    QCOMPARE(rig.port->written.last(), QByteArray("C01\r"));
}

void TestExchange::sendWhilePortClosed() {
    FakeRig rig;
    rig.port->close();
    QSignalSpy closed(rig.exchange.get(), &Exchange::sentWhilePortClosed);
    rig.exchange->send("C00");
    QVERIFY(rig.port->written.isEmpty());
    QCOMPARE(closed.size(), 1);
    // Everything but the write runs as usual, so the timeout mark appears.
    QCOMPARE(rig.lines->sent, QStringLiteral(" C 0 0 CR "));
    QCOMPARE(rig.exchange->awaitingReply(), true);
    tick(rig.exchange->replyTimer());
    QCOMPARE(rig.lines->received, QStringLiteral(" X X X X"));
}

void TestExchange::releaseEndsTheReply() {
    FakeRig rig;
    rig.exchange->setReplyTiming({25ms, 25ms});
    rig.exchange->send("C20");
    rig.port->receive("\x06");
    rig.exchange->send("C20"); // the flag is 1 again
    rig.exchange->release();
    QVERIFY(!rig.exchange->replyTimer().isActive());
    QVERIFY(rig.exchange->clearTimer().isActive());
    QCOMPARE(rig.exchange->replyTiming(), tavo::link::kStartTiming);
    QCOMPARE(rig.lines->sent, QString());
    QCOMPARE(rig.lines->received, QString());
    QVERIFY(rig.exchange->replyBuffer().isEmpty());
    QCOMPARE(rig.exchange->awaitingReply(), true); // left for the next receive or tick
}

void TestExchange::timingChangesRestartOnlyRunningTimers() {
    FakeRig rig;
    rig.exchange->setReplyTiming({2000ms, 2500ms});
    QVERIFY(!rig.exchange->replyTimer().isActive());
    QVERIFY(!rig.exchange->clearTimer().isActive());
    QCOMPARE(rig.exchange->replyTiming(), (ReplyTiming{2000ms, 2500ms}));
    rig.exchange->send("C11");
    QTest::qWait(50);
    rig.exchange->setReplyTiming({5000ms, 5500ms});
    QVERIFY(rig.exchange->replyTimer().remainingTime() > 4900);
    QVERIFY(rig.exchange->clearTimer().remainingTime() > 5400);
}

void TestExchange::receivedTraceOfOtherBytes() {
    FakeRig rig;
    rig.exchange->send("CR0");
    rig.port->receive("8");
    rig.exchange->showReceived("00\r");
    QCOMPARE(rig.lines->received, QStringLiteral(" 0 0 CR "));
    QCOMPARE(rig.lines->status, QStringLiteral(" Power ON"));
    QCOMPARE(rig.exchange->replyBuffer(), QByteArray("8")); // the buffer is not touched
}

void TestExchange::timeoutMarkComesInTime() {
    FakeRig rig;
    QElapsedTimer clock;
    clock.start();
    rig.exchange->send("CR0");
    QTRY_COMPARE_WITH_TIMEOUT(rig.lines->received, QStringLiteral(" X X X X"), 3000);
    const qint64 markAt = clock.elapsed();
    QTRY_COMPARE_WITH_TIMEOUT(rig.lines->sent, QString(), 3000);
    const qint64 blankAt = clock.elapsed();
    QVERIFY2(markAt >= 300 && markAt <= 700, qPrintable(QString::number(markAt)));
    QVERIFY2(blankAt >= 600 && blankAt <= 1400, qPrintable(QString::number(blankAt)));
}

void TestExchange::transactionOutcomes_data() {
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("receivedTrace");
    QTest::addColumn<QString>("status");
    QTest::addRow("acknowledged") << QByteArray("C00") << QList<QByteArray>{"\x06"}
                                  << Outcome::Acknowledged << QStringLiteral(" ACK ") << QString();
    QTest::addRow("refused") << QByteArray("C99") << QList<QByteArray>{"\x15"} << Outcome::Refused
                             << QStringLiteral(" ? ") << QString();
    QTest::addRow("status in pieces")
        << QByteArray("CR0") << QList<QByteArray>{"8", "0\r"} << Outcome::Replied
        << QStringLiteral(" 8 0 CR ") << QStringLiteral(" Stand by");
    QTest::addRow("no reply") << QByteArray("CR0") << QList<QByteArray>{} << Outcome::NoReply
                              << QStringLiteral(" X X X X") << QString();
    QTest::addRow("a reply without its end")
        << QByteArray("CR0") << QList<QByteArray>{"00"} << Outcome::Replied
        << QStringLiteral(" 0 0 ") << QStringLiteral(" Power ON");
}

void TestExchange::transactionOutcomes() {
    QFETCH(QByteArray, code);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(Outcome, outcome);
    QFETCH(QString, receivedTrace);
    QFETCH(QString, status);
    TransactionRig rig;
    rig.exchangeFrame(code, pieces);
    QCOMPARE(rig.finished.size(), 1);
    const ExchangeResult result = rig.last();
    QCOMPARE(result.frame, code + '\r');
    QCOMPARE(result.sentTrace, tavo::link::traceLine(code + '\r'));
    QCOMPARE(result.outcome, outcome);
    QCOMPARE(result.receivedTrace, receivedTrace);
    QCOMPARE(result.status.value_or(QString()), status);
    QVERIFY(!rig.transaction.isRunning());
    // Nothing more is reported for this frame.
    tick(rig.exchange->replyTimer());
    QCOMPARE(rig.finished.size(), 1);
}

void TestExchange::transactionEndsEarlyAndEmptiesBuffer() {
    TransactionRig rig;
    rig.exchangeFrame("CR0", {"00\r"});
    QCOMPARE(rig.finished.size(), 1);
    QVERIFY(rig.exchange->replyBuffer().isEmpty());
    QVERIFY(!rig.exchange->replyTimer().isActive());
    // The next frame's reply starts clean.
    rig.exchangeFrame("CR3", {"01234\r"});
    QCOMPARE(rig.finished.size(), 2);
    QCOMPARE(rig.last().reply, QByteArray("01234\r"));
}

// Bytes that came in between two frames (a late answer, noise on the line)
// are not the next frame's reply, whether or not one follows.
void TestExchange::transactionDropsBytesFromBefore_data() {
    QTest::addColumn<QByteArray>("between");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<Outcome>("outcome");
    QTest::addRow("noise, then an acknowledgement")
        << QByteArray("\xff!") << QByteArray("\x06") << Outcome::Acknowledged;
    QTest::addRow("a late status reply, then a refusal")
        << QByteArray("80\r") << QByteArray("\x15") << Outcome::Refused;
    QTest::addRow("a stray NAK, then silence")
        << QByteArray("\x15") << QByteArray() << Outcome::NoReply;
}

void TestExchange::transactionDropsBytesFromBefore() {
    QFETCH(QByteArray, between);
    QFETCH(QByteArray, reply);
    QFETCH(Outcome, outcome);
    TransactionRig rig;
    rig.exchangeFrame("CR0", {"00\r"});
    QCOMPARE(rig.finished.size(), 1);

    rig.port->receive(between);
    rig.exchangeFrame("C00", reply.isEmpty() ? QList<QByteArray>{} : QList<QByteArray>{reply});
    QCOMPARE(rig.finished.size(), 2);
    const ExchangeResult result = rig.last();
    QCOMPARE(result.outcome, outcome);
    QCOMPARE(result.reply, reply);
}

void TestExchange::transactionFailsAtOnce_data() {
    QTest::addColumn<bool>("refused"); // else the port is closed
    QTest::addColumn<QString>("failure");
    QTest::addRow("port closed") << false << QString();
    QTest::addRow("frame refused") << true << QStringLiteral("COM1 takes no more bytes.");
}

void TestExchange::transactionFailsAtOnce() {
    QFETCH(bool, refused);
    QFETCH(QString, failure);
    TransactionRig rig;
    if (refused)
        rig.port->refuseWrites = true;
    else
        rig.port->close();
    rig.transaction.begin();
    rig.exchange->send("C00");
    QCOMPARE(rig.finished.size(), 1);
    QCOMPARE(rig.last().outcome, Outcome::PortFailed);
    QCOMPARE(rig.last().failure, failure);
    QCOMPARE(rig.last().sent, false);
    // A refused frame is not on the line: not shown as sent, no reply awaited.
    // To a closed port all but the write runs on (sendWhilePortClosed()).
    QCOMPARE(rig.lines->sent, refused ? QString() : QStringLiteral(" C 0 0 CR "));
    QCOMPARE(rig.exchange->awaitingReply(), !refused);
    QCOMPARE(rig.exchange->replyTimer().isActive(), !refused);
}

// After a timeout, a reply that does not fit, or bytes from nowhere, the
// next frame waits until the line has been quiet for the settle time.
void TestExchange::transactionWaitsForAQuietLine_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("between");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<bool>("waits");
    QTest::addRow("fitting reply")
        << QByteArray("80\r") << QByteArray() << Outcome::Replied << false;
    QTest::addRow("no reply") << QByteArray() << QByteArray() << Outcome::NoReply << true;
    QTest::addRow("reply of another shape")
        << QByteArray("8\r") << QByteArray() << Outcome::Malformed << true;
    QTest::addRow("bytes between frames")
        << QByteArray("80\r") << QByteArray("80\r") << Outcome::Replied << true;
}

void TestExchange::transactionWaitsForAQuietLine() {
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, between);
    QFETCH(Outcome, outcome);
    QFETCH(bool, waits);
    TransactionRig rig;
    const auto twoDigits = [](QByteArrayView bytes) { return bytes.size() == 3; };
    rig.transaction.run([&] { rig.exchange->send("CR0"); }, twoDigits);
    if (reply.isEmpty())
        tick(rig.exchange->replyTimer());
    else
        rig.port->receive(reply);
    QCOMPARE(rig.last().outcome, outcome);
    if (!between.isEmpty())
        rig.port->receive(between);

    rig.transaction.run([&] { rig.exchange->send("CR1"); });
    QCOMPARE(rig.port->written.size(), waits ? 1 : 2);
    QCOMPARE(rig.transaction.isSettling(), waits);
    rig.port->receive("0\r"); // still late: the quiet time starts over, nothing is taken
    QCOMPARE(rig.finished.size(), waits ? 1 : 2);
    tick(*rig.transaction.findChild<QTimer*>(QStringLiteral("settle")));
    QCOMPARE(rig.port->written.size(), 2);
}

void TestExchange::overPseudoTerminal() {
    PseudoTerminal projector;
    QVERIFY(projector.isValid());
    Exchange exchange(std::make_unique<tavo::link::SerialControl>(projector.devicePath()));
    Lines lines(exchange);
    exchange.reset();
    QVERIFY2(exchange.port().setSettings(QStringLiteral("19200,N,8,1")) && exchange.port().open(),
             qPrintable(exchange.port().errorDescription()));
    exchange.send("CR0");
    QCOMPARE(projector.readAtLeast(4), QByteArray("CR0\r"));
    projector.write("0");
    QTRY_COMPARE(lines.received, QStringLiteral(" 0 "));
    projector.write("0\r");
    QTRY_COMPARE(lines.status, QStringLiteral(" Power ON"));
    QCOMPARE(lines.received, QStringLiteral(" 0 0 CR "));
    QTRY_COMPARE_WITH_TIMEOUT(exchange.replyBuffer(), QByteArray(), 3000);
    QCOMPARE(lines.received, QStringLiteral(" 0 0 CR ")); // no timeout mark after a reply
}

void TestExchange::deviceLostOverPseudoTerminal() {
    auto projector = std::make_unique<PseudoTerminal>();
    QVERIFY(projector->isValid());
    Exchange exchange(std::make_unique<tavo::link::SerialControl>(projector->devicePath()));
    QVERIFY(exchange.port().open());
    Transaction transaction(exchange);
    QSignalSpy finished(&transaction, &Transaction::finished);
    transaction.begin();
    exchange.send("CR0");
    QCOMPARE(projector->readAtLeast(4), QByteArray("CR0\r"));
    projector.reset(); // the cable is pulled
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 3000);
    const auto result = finished.first().at(0).value<ExchangeResult>();
    QCOMPARE(result.outcome, Outcome::PortFailed);
    QVERIFY(!result.failure.isEmpty());
    QVERIFY(!exchange.port().isOpen());
}

QTEST_GUILESS_MAIN(TestExchange)
#include "tst_exchange.moc"
