// The reply buffer under any sequence of pieces and clears. Operations:
//   'r' LENGTH BYTES           a piece of up to 255 bytes;
//   'R' COUNT LENGTH PATTERN   a piece of COUNT * 256 bytes, PATTERN (1 to 16
//                              bytes) over and over: past the capacity in one go
//                              (one capacity and 4 KiB per input);
//   'c'                        empty the buffer.
// The buffer holds the first kCapacity bytes received since it was emptied,
// never more, and its trace is always the trace line of its bytes.

#include "exchange/reply_capture.h"
#include "exchange/trace.h"
#include "fuzz_support.h"

#include <array>

namespace {

using tavo::fuzz::FuzzInput;
using tavo::fuzz::Operation;
using tavo::link::ReplyCapture;

// Comparing the whole trace after every piece would make a long run of small
// pieces quadratic: past this size only the part just added is compared, and
// the whole line at every clear and at the end.
constexpr qsizetype kWholeCheckLimit = 1024;

struct State {
    ReplyCapture capture;
    QByteArray received; // since the last clear, cut just past the capacity
    tavo::fuzz::LargePieces largePieces;
};

void checkWhole(const State& state) {
    const QByteArray& bytes = state.capture.bytes();
    FUZZ_CHECK(bytes ==
                   state.received.first(std::min(state.received.size(), ReplyCapture::kCapacity)),
               QStringLiteral("holds %1 bytes of %2 received")
                   .arg(bytes.size())
                   .arg(state.received.size()));
    FUZZ_CHECK(state.capture.trace() == tavo::link::traceLine(bytes),
               QStringLiteral("trace of %1 bytes differs").arg(bytes.size()));
}

void append(State& state, const QByteArray& piece) {
    const qsizetype before = state.capture.bytes().size();
    const qsizetype traceBefore = state.capture.trace().size();
    const qsizetype kept = state.capture.append(piece);
    const qsizetype after = state.capture.bytes().size();

    FUZZ_CHECK(after <= ReplyCapture::kCapacity, QStringLiteral("%1 bytes held").arg(after));
    FUZZ_CHECK(
        kept == std::min(piece.size(), ReplyCapture::kCapacity - before),
        QStringLiteral("kept %1 of %2 with %3 held").arg(kept).arg(piece.size()).arg(before));
    FUZZ_CHECK(after == before + kept,
               QStringLiteral("%1 + %2 -> %3").arg(before).arg(kept).arg(after));
    state.received.append(piece.first(std::min(piece.size(), ReplyCapture::kCapacity + 1)));
    state.received.truncate(ReplyCapture::kCapacity + 1);

    if (after <= kWholeCheckLimit) {
        checkWhole(state);
        return;
    }
    const QString added =
        state.capture.trace().sliced(std::min(traceBefore, state.capture.trace().size()));
    QString expected;
    tavo::link::appendTraceTokens(expected, piece.first(kept));
    FUZZ_CHECK(added == expected, QStringLiteral("trace of the last %1 bytes differs").arg(kept));
}

void smallPiece(State& state, FuzzInput& input) {
    append(state, input.bytes(input.byte()));
}

void largePiece(State& state, FuzzInput& input) {
    const QByteArray piece = state.largePieces.take(input);
    if (!piece.isEmpty())
        append(state, piece);
}

void clear(State& state, FuzzInput&) {
    checkWhole(state);
    state.capture.clear();
    state.received.clear();
    FUZZ_CHECK(state.capture.bytes().isEmpty() &&
                   state.capture.trace() == tavo::link::traceLine({}),
               QStringLiteral("not empty after a clear"));
}

constexpr std::array<Operation<State>, 3> kOperations{{
    {'r', smallPiece},
    {'R', largePiece},
    {'c', clear},
}};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    State state;
    while (!input.atEnd())
        tavo::fuzz::pickOperation<State>(kOperations, input.byte()).run(state, input);
    checkWhole(state);
    return 0;
}
