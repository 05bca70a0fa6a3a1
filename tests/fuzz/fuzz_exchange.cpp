// The whole receive path of the exchange, over an in-memory serial link:
// reply bytes in any pieces, interleaved with the controls' sends, hold-key
// presses and releases, typed frames, the end of a reply, a transaction, the
// port closing, opening and being lost, and ticks of the three timers.
// Operations (a letter and its arguments):
//   'o' N      one-shot sender N          'q' N      status query N
//   't' L TEXT typed text (UTF-8)         'p' N      press hold key N
//   'u' N      release hold key N         'h'        release the held key
//   'r' L BYTES reply piece               'R' C L PATTERN  C*256 bytes of PATTERN
//   's' L BYTES bytes shown as received   'e'        end the reply
//   '1' '2' '4' tick Timer1, Timer2, Timer4 (when running)
//   'b'        begin a transaction        'x'        reset
//   'c' 'O' 'L' close, open, lose the device
// A tick is the timer event the event loop would deliver, sent at once, so a
// run never depends on the clock; no event loop runs.
//
// Checked all along: the buffer holds the head of what arrived since it was
// emptied and never more than its capacity, every trace shown is the trace
// line of the buffer (or of the bytes shown, the timeout mark, or a blank),
// every status text is one the decoder's tables and rules allow for the last
// frame, every frame written is the one the operation sent (a repeat only
// while a key is held), and transactions report what they saw.

#include "commands/controller.h"
#include "exchange/exchange.h"
#include "exchange/frame.h"
#include "exchange/trace.h"
#include "exchange/transaction.h"
#include "fuzz_support.h"
#include "status/tables.h"
#include "support/fake_serial.h"
#include "support/status_texts.h"

#include <QCoreApplication>
#include <QTimer>
#include <QTimerEvent>

#include <array>
#include <memory>
#include <optional>

namespace {

using namespace tavo;
using fuzz::FuzzInput;
using fuzz::Operation;
using link::ReplyCapture;

QString escaped(const QByteArray& bytes) {
    return QString::fromLatin1(
        bytes.first(std::min<qsizetype>(bytes.size(), 64)).toPercentEncoding());
}

// What the event loop does when a running timer falls due.
void tick(QTimer& timer) {
    if (!timer.isActive())
        return;
    QTimerEvent event(timer.timerId());
    QCoreApplication::sendEvent(&timer, &event);
}

class Harness {
public:
    explicit Harness(
        std::unique_ptr<test::FakeSerial> serial = std::make_unique<test::FakeSerial>());

    void run(const Operation<Harness>& operation, FuzzInput& input);
    void checkAtEnd() { checkState(); }

    // What the operations use.
    void expectSend(const QByteArray& frame) {
        if (port->isOpen())
            expected_.append(frame);
    }
    QByteArray frameOf(QByteArrayView code) const {
        return link::buildFrame(exchange.commandPrefix(), code);
    }
    void deliver(const QByteArray& piece);
    void show(const QByteArray& data);
    void checkEmptied(const char* after) const;

    test::FakeSerial* port;
    fuzz::LargePieces largePieces;
    link::Exchange exchange;
    commands::Controller controller;
    link::Transaction transaction;

private:
    void watch();
    const QString& bufferTrace();
    void checkReceivedTrace(const QString& trace);
    void checkStatusText(const QString& text);
    void checkResult(const link::ExchangeResult& result);
    void checkState();

    QByteArray received_;        // since the buffer was last seen empty, cut past the capacity
    QList<QByteArray> expected_; // frames the running operation sends
    std::optional<QByteArray> showing_;
    QString shownTrace_;  // the received trace line shown last
    QString shownStatus_; // the status line shown last
    bool transactionFinished_ = false;
    // The trace line of the buffer, computed again only when the buffer changed.
    QByteArray tracedBytes_;
    QString tracedLine_;
    QString verifiedTrace_; // the capture's own trace, once compared
};

Harness::Harness(std::unique_ptr<test::FakeSerial> serial)
    : port(serial.get()), exchange(std::move(serial)), controller(exchange), transaction(exchange),
      tracedLine_(link::traceLine({})) {
    watch();
    controller.reset();
    exchange.reset();
    port->open();
}

void Harness::watch() {
    QObject::connect(
        &exchange, &link::Exchange::sentTraceChanged, &exchange, [this](const QString& trace) {
            FUZZ_CHECK(trace.isEmpty() || trace == link::traceLine(exchange.lastFrameSent()),
                       QStringLiteral("sent trace \"%1\"").arg(trace));
        });
    QObject::connect(&exchange, &link::Exchange::receivedTraceChanged, &exchange,
                     [this](const QString& trace) { checkReceivedTrace(trace); });
    QObject::connect(&exchange, &link::Exchange::statusTextChanged, &exchange,
                     [this](const QString& text) { checkStatusText(text); });
    // Later pieces of a reply extend the lines instead of setting them whole.
    QObject::connect(
        &exchange, &link::Exchange::receivedTraceAppended, &exchange,
        [this](QStringView tokens) { checkReceivedTrace(shownTrace_ + tokens.toString()); });
    QObject::connect(
        &exchange, &link::Exchange::statusTextAppended, &exchange,
        [this](QStringView tokens) { checkStatusText(shownStatus_ + tokens.toString()); });
    QObject::connect(&exchange, &link::Exchange::replyEnded, &exchange,
                     [this](const QByteArray& reply, bool) {
                         FUZZ_CHECK(exchange.replyBuffer().isEmpty(),
                                    QStringLiteral("buffer not emptied at the end of a reply"));
                         FUZZ_CHECK(reply.size() <= ReplyCapture::kCapacity,
                                    QStringLiteral("a reply of %1 bytes").arg(reply.size()));
                     });
    QObject::connect(&transaction, &link::Transaction::finished, &exchange,
                     [this](const link::ExchangeResult& result) { checkResult(result); });
}

const QString& Harness::bufferTrace() {
    if (exchange.replyBuffer() != tracedBytes_) {
        tracedBytes_ = exchange.replyBuffer();
        tracedLine_ = link::traceLine(tracedBytes_);
    }
    return tracedLine_;
}

void Harness::checkReceivedTrace(const QString& trace) {
    shownTrace_ = trace;
    if (trace.isEmpty() || trace == link::kTimeoutMark)
        return;
    const QString& expected = showing_ ? link::traceLine(*showing_) : bufferTrace();
    FUZZ_CHECK(trace == expected, QStringLiteral("received trace of %1 characters, expected %2")
                                      .arg(trace.size())
                                      .arg(expected.size()));
}

void Harness::checkStatusText(const QString& text) {
    shownStatus_ = text;
    if (text.isEmpty())
        return;
    const QString problem = test::statusTextProblem(exchange.lastFrameSent(),
                                                    exchange.commandPrefix(), shownTrace_, text);
    FUZZ_CHECK(problem.isEmpty(), problem);
}

void Harness::checkResult(const link::ExchangeResult& result) {
    transactionFinished_ = true;
    FUZZ_CHECK(result.frame == exchange.lastFrameSent(), escaped(result.frame));
    FUZZ_CHECK(result.reply.size() <= ReplyCapture::kCapacity,
               QStringLiteral("a reply of %1 bytes").arg(result.reply.size()));
    const bool early = result.outcome == link::Outcome::Acknowledged ||
                       result.outcome == link::Outcome::Refused ||
                       result.outcome == link::Outcome::Replied;
    FUZZ_CHECK(!early || result.receivedTrace == link::traceLine(result.reply),
               escaped(result.reply));
    FUZZ_CHECK(result.outcome != link::Outcome::Acknowledged ||
                   result.reply == QByteArray(1, link::kAck),
               escaped(result.reply));
    FUZZ_CHECK(result.outcome != link::Outcome::Refused ||
                   result.reply == QByteArray(1, link::kNak),
               escaped(result.reply));
    if (result.status) {
        const QString problem = test::statusTextProblem(result.frame, exchange.commandPrefix(),
                                                        result.receivedTrace, *result.status);
        FUZZ_CHECK(problem.isEmpty(), problem);
    }
}

void Harness::checkState() {
    const QByteArray& buffer = exchange.replyBuffer();
    FUZZ_CHECK(buffer.size() <= ReplyCapture::kCapacity,
               QStringLiteral("%1 bytes held").arg(buffer.size()));
    // Unchanged since it was last compared when it still shares that copy's data.
    const QString& trace = exchange.replyTrace();
    if (trace.constData() != verifiedTrace_.constData() || trace.size() != verifiedTrace_.size()) {
        FUZZ_CHECK(trace == bufferTrace(),
                   QStringLiteral("buffer trace of %1 characters for %2 bytes")
                       .arg(trace.size())
                       .arg(buffer.size()));
        verifiedTrace_ = trace;
    }
}

void Harness::checkEmptied(const char* after) const {
    FUZZ_CHECK(exchange.replyBuffer().isEmpty(),
               QStringLiteral("%1 bytes left in the buffer after %2")
                   .arg(exchange.replyBuffer().size())
                   .arg(QLatin1StringView(after)));
}

void Harness::deliver(const QByteArray& piece) {
    if (exchange.replyBuffer().isEmpty())
        received_.clear();
    received_.append(piece.first(std::min(piece.size(), ReplyCapture::kCapacity + 1)));
    received_.truncate(ReplyCapture::kCapacity + 1);
    transactionFinished_ = false;
    port->receive(piece);

    const QByteArray& buffer = exchange.replyBuffer();
    const QByteArray head = received_.first(std::min(received_.size(), ReplyCapture::kCapacity));
    FUZZ_CHECK(buffer == head || (transactionFinished_ && buffer.isEmpty()),
               QStringLiteral("buffer of %1 bytes after %2 received")
                   .arg(buffer.size())
                   .arg(received_.size()));
    FUZZ_CHECK(!exchange.awaitingReply(), QStringLiteral("still awaiting a reply"));
}

void Harness::show(const QByteArray& data) {
    showing_ = data;
    exchange.showReceived(data);
    showing_.reset();
}

void Harness::run(const Operation<Harness>& operation, FuzzInput& input) {
    const qsizetype writesBefore = port->written.size();
    expected_.clear();
    operation.run(*this, input);
    const QList<QByteArray> writes = port->written.sliced(writesBefore);
    FUZZ_CHECK(
        writes == expected_,
        QStringLiteral("operation '%1' wrote %2 frames (first \"%3\"), expected %4 (first \"%5\")")
            .arg(QLatin1Char(operation.letter))
            .arg(writes.size())
            .arg(writes.isEmpty() ? QString() : escaped(writes.first()))
            .arg(expected_.size())
            .arg(expected_.isEmpty() ? QString() : escaped(expected_.first())));
    checkState();
}

// ------------------------------------------------------------------ operations

template <typename T> const T& pick(std::span<const T> table, FuzzInput& input) {
    return table[input.byte() % table.size()];
}

void sendOneShot(Harness& h, FuzzInput& input) {
    const commands::OneShotSender& sender = pick(commands::oneShotSenders(), input);
    h.expectSend(h.frameOf(QByteArrayView(sender.code)));
    h.controller.sendOneShot(sender);
}

void sendQuery(Harness& h, FuzzInput& input) {
    const status::StatusQuery& query = pick(status::statusQueries(), input);
    h.expectSend(h.frameOf(QByteArrayView(query.code)));
    h.exchange.send(QByteArrayView(query.code));
}

void sendTyped(Harness& h, FuzzInput& input) {
    const QString text = QString::fromUtf8(input.bytes(input.byte()));
    h.expectSend(h.frameOf(link::textToBytes(text)));
    h.controller.sendTyped(text);
}

void press(Harness& h, FuzzInput& input) {
    const commands::HoldKey& key = pick(commands::holdKeys(), input);
    h.expectSend(h.frameOf(QByteArrayView(key.code)));
    h.controller.press(key);
}

void release(Harness& h, FuzzInput& input) {
    h.controller.release(pick(commands::holdKeys(), input));
    h.checkEmptied("a release");
    FUZZ_CHECK(!h.controller.heldKey() && !h.controller.repeatTimer().isActive(),
               QStringLiteral("still repeating after a release"));
}

void releaseHeld(Harness& h, FuzzInput&) {
    const bool held = h.controller.heldKey() != nullptr;
    h.controller.releaseHeld();
    if (held)
        h.checkEmptied("releasing the held key");
    FUZZ_CHECK(!h.controller.heldKey(), QStringLiteral("a key still held"));
}

void receive(Harness& h, FuzzInput& input) {
    h.deliver(input.bytes(input.byte()));
}

void receiveLarge(Harness& h, FuzzInput& input) {
    const QByteArray piece = h.largePieces.take(input);
    if (!piece.isEmpty())
        h.deliver(piece);
}

void show(Harness& h, FuzzInput& input) {
    h.show(input.bytes(input.byte()));
}

void endReply(Harness& h, FuzzInput&) {
    h.exchange.endReply();
    h.checkEmptied("the end of a reply");
    FUZZ_CHECK(!h.exchange.awaitingReply() && !h.exchange.replyTimer().isActive(),
               QStringLiteral("still awaiting a reply after its end"));
}

void tickRepeat(Harness& h, FuzzInput&) {
    if (h.controller.repeatTimer().isActive() && h.controller.heldKey())
        h.expectSend(h.frameOf(QByteArrayView(h.controller.heldKey()->code)));
    tick(h.controller.repeatTimer());
}

void tickReply(Harness& h, FuzzInput&) {
    const bool running = h.exchange.replyTimer().isActive();
    tick(h.exchange.replyTimer());
    if (running)
        h.checkEmptied("the reply timeout");
}

void tickClear(Harness& h, FuzzInput&) {
    tick(h.exchange.clearTimer());
}

void beginTransaction(Harness& h, FuzzInput&) {
    h.transaction.begin();
}

void reset(Harness& h, FuzzInput&) {
    h.controller.reset();
    h.exchange.reset();
    h.checkEmptied("a reset");
}

void closePort(Harness& h, FuzzInput&) {
    h.port->close();
}
void openPort(Harness& h, FuzzInput&) {
    h.port->open();
}

void loseDevice(Harness& h, FuzzInput&) {
    // A real link reports a loss only while open.
    if (h.port->isOpen())
        h.port->loseDevice();
}

constexpr std::array<Operation<Harness>, 19> kOperations{{
    {'o', sendOneShot},
    {'q', sendQuery},
    {'t', sendTyped},
    {'p', press},
    {'u', release},
    {'h', releaseHeld},
    {'r', receive},
    {'R', receiveLarge},
    {'s', show},
    {'e', endReply},
    {'1', tickRepeat},
    {'2', tickReply},
    {'4', tickClear},
    {'b', beginTransaction},
    {'x', reset},
    {'c', closePort},
    {'O', openPort},
    {'L', loseDevice},
    {'n', [](Harness&, FuzzInput&) {}}, // nothing: lets a mutation drop an operation in place
}};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Timers and signals need an application object; one for the whole run,
    // never destroyed, so that nothing of Qt's is torn down behind it at exit.
    static int argc = 1;
    static char name[] = "fuzz_exchange";
    static char* argv[] = {name, nullptr};
    static const QCoreApplication* const application = new QCoreApplication(argc, argv);
    return application ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    Harness harness;
    while (!input.atEnd())
        harness.run(fuzz::pickOperation<Harness>(kOperations, input.byte()), input);
    harness.checkAtEnd();
    return 0;
}
