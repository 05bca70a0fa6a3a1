// The trace line of any bytes: checked against a token table written out
// here, and built in two pieces it equals the line built at once (the reply
// capture builds it piece by piece).

#include "exchange/trace.h"
#include "fuzz_support.h"

#include <array>

namespace {

using tavo::fuzz::FuzzInput;

// The token of every byte value, as the trace line documents it.
const std::array<QString, 256>& tokens() {
    static const std::array<QString, 256> table = [] {
        std::array<QString, 256> t;
        for (int code = 0; code < 256; ++code) {
            t[code] = code >= 32 && code <= 122 ? QString(QChar(code)) + QLatin1Char(' ')
                                                : QStringLiteral("? ");
        }
        t[6] = QStringLiteral("ACK ");
        t[10] = QStringLiteral("LF ");
        t[13] = QStringLiteral("CR ");
        t[20] = QStringLiteral("&");
        return t;
    }();
    return table;
}

QString expectedLine(QByteArrayView bytes) {
    QString line(QLatin1Char(' '));
    for (const char c : bytes)
        line += tokens()[static_cast<unsigned char>(c)];
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const unsigned char split = input.byte();
    const QByteArray bytes = input.rest();

    const QString line = tavo::link::traceLine(bytes);
    const QString expected = expectedLine(bytes);
    FUZZ_CHECK(line == expected, QStringLiteral("\"%1\" instead of \"%2\"").arg(line, expected));

    const qsizetype at = split % (bytes.size() + 1);
    QString pieced = tavo::link::traceLine(bytes.first(at));
    tavo::link::appendTraceTokens(pieced, bytes.sliced(at));
    FUZZ_CHECK(pieced == line, QStringLiteral("split at %1: \"%2\"").arg(at).arg(pieced));
    return 0;
}
