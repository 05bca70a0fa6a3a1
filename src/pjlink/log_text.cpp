#include "pjlink/log_text.h"

namespace tavo::pjlink {

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

} // namespace tavo::pjlink
