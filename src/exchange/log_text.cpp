#include "exchange/log_text.h"

#include "exchange/frame.h"

namespace tavo::link {

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

} // namespace

QString printable(QByteArrayView bytes) {
    QString text;
    for (const char byte : bytes)
        appendByte(text, byte);
    return text;
}

QString quoted(QByteArrayView bytes) {
    return QLatin1Char('"') + printable(bytes) + QLatin1Char('"');
}

QString escapedQuoted(QByteArrayView bytes) {
    QString text = QStringLiteral("\"");
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (byte == '"' || byte == '\\')
            text += QStringLiteral("\\") + QLatin1Char(byte);
        else if (byte == '\r')
            text += QStringLiteral("\\r");
        else if (byte == '\n')
            text += QStringLiteral("\\n");
        else if (code >= 32 && code < 127)
            text += QLatin1Char(byte);
        else
            text += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
    }
    return text + QLatin1Char('"');
}

QString durationText(qint64 nanoseconds) {
    return QStringLiteral("%1 ms").arg(double(nanoseconds) / 1e6, 0, 'f', 2);
}

} // namespace tavo::link
