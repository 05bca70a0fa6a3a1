#include "log_text.h"

namespace tavo::sim {

namespace {

struct ControlName {
    char byte;
    const char* name;
};

constexpr ControlName kControlNames[] = {
    {'\r', "<CR>"},
    {'\n', "<LF>"},
    {kAck, "<ACK>"},
    {kNak, "<NAK>"},
};

void appendByte(QString& text, char byte) {
    for (const auto& control : kControlNames) {
        if (control.byte == byte) {
            text += QLatin1String(control.name);
            return;
        }
    }
    const auto code = static_cast<unsigned char>(byte);
    if (code >= 32 && code < 127)
        text += QLatin1Char(byte);
    else
        text += QStringLiteral("<0x%1>").arg(
            QString::number(code, 16).toUpper().rightJustified(2, QLatin1Char('0')));
}

QString quoted(QByteArrayView bytes) {
    return QLatin1Char('"') + printable(bytes) + QLatin1Char('"');
}

} // namespace

QString printable(QByteArrayView bytes) {
    QString text;
    for (const char byte : bytes)
        appendByte(text, byte);
    return text;
}

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
