#include "log_text.h"

namespace tavo::sim {

namespace {

QString quoted(QByteArrayView bytes) {
    return QLatin1Char('"') + printable(bytes) + QLatin1Char('"');
}

} // namespace

QString describe(const Exchange& exchange) {
    const Frame& frame = exchange.frame;
    if (frame.tooLong())
        return QStringLiteral("rx %1... (%2 bytes) -> dropped, too long")
            .arg(quoted(frame.head.first(16)))
            .arg(frame.length);
    const QString answer =
        exchange.reply.isEmpty() ? QStringLiteral("no answer") : quoted(exchange.reply);
    return QStringLiteral("rx %1 -> %2").arg(quoted(frame.head), answer);
}

} // namespace tavo::sim
