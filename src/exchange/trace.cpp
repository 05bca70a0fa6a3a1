#include "exchange/trace.h"

#include "exchange/frame.h"

namespace tavo::link {

namespace {
constexpr char kAmpersandCode = 20;
constexpr char kLineFeed = 10;
} // namespace

void appendTraceTokens(QString& line, QByteArrayView bytes) {
    line.reserve(line.size() + 4 * bytes.size());
    for (const char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (c == kAck) {
            line += QLatin1String("ACK ");
        } else if (c == kAmpersandCode) {
            line += QLatin1Char('&');
        } else if (c == kFrameTerminator) {
            line += QLatin1String("CR ");
        } else if (c == kLineFeed) {
            line += QLatin1String("LF ");
        } else if (code >= 32 && code <= 122) {
            line += QLatin1Char(c);
            line += QLatin1Char(' ');
        } else {
            line += QLatin1String("? ");
        }
    }
}

QString traceLine(QByteArrayView bytes) {
    QString line(QLatin1Char(' '));
    appendTraceTokens(line, bytes);
    return line;
}

} // namespace tavo::link
