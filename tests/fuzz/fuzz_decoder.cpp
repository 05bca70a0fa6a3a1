// The status decoder with any last frame and any trace line. Two input forms:
//   FRAME NUL REPLY            the trace line of the reply bytes, empty prefix,
//                              decoded as the reply grows piece by piece too;
//   0x01 PREFIX NUL FRAME NUL TRACE
//                              any command prefix, and any trace line (UTF-8).
// A text comes only after a status query's frame, and it is one of that
// query's table or of the form of its rule. The typed reading of the same
// reply is a value exactly when it has no problem, and its value reads back
// as text.

#include "exchange/trace.h"
#include "fuzz_support.h"
#include "status/decoder.h"
#include "status/reading.h"
#include "support/status_texts.h"

namespace {

using tavo::fuzz::FuzzInput;

// Decoded traces of a growing reply: enough to cover every field the rules
// read (the longest ends at trace character 38) and then some.
constexpr qsizetype kPiecesDecoded = 48;

void checkDecoded(const QByteArray& frame, const QByteArray& prefix, const QString& trace) {
    static const QList<QByteArray> queries = tavo::test::statusQueryFrames();
    const std::optional<QString> text = tavo::status::decodeStatus(frame, prefix, trace);
    const bool isQuery = frame.startsWith(prefix) && queries.contains(frame.sliced(prefix.size()));
    FUZZ_CHECK(isQuery || !text,
               QStringLiteral("\"%1\" after frame \"%2\"")
                   .arg(text.value_or(QString()), QString::fromLatin1(frame.toPercentEncoding())));
    if (text) {
        const QString problem = tavo::test::statusTextProblem(frame, prefix, trace, *text);
        FUZZ_CHECK(problem.isEmpty(), problem);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    if (size > 0 && data[0] == 1) {
        input.byte();
        const QByteArray prefix = input.upTo('\0');
        const QByteArray frame = input.upTo('\0');
        checkDecoded(frame, prefix, QString::fromUtf8(input.rest()));
        return 0;
    }
    const QByteArray frame = input.upTo('\0');
    const QByteArray reply = input.rest();
    for (qsizetype received = 1; received < std::min(reply.size(), kPiecesDecoded); ++received)
        checkDecoded(frame, {}, tavo::link::traceLine(reply.first(received)));
    checkDecoded(frame, {}, tavo::link::traceLine(reply));
    const QByteArray code = frame.endsWith('\r') ? frame.chopped(1) : frame;
    const tavo::status::Reading reading = tavo::status::readingOf(code, reply);
    FUZZ_CHECK(reading.isValue() == reading.problem.isEmpty() &&
                   reading.isValue() == !reading.valueText().isEmpty() &&
                   reading.isValue() == !reading.words().isEmpty(),
               QString::fromLatin1(reply.toPercentEncoding()));
    return 0;
}
