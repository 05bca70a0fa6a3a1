#include "exchange/frame.h"

#include <QList>

namespace tavo::link {

QByteArray buildFrame(QByteArrayView prefix, QByteArrayView code) {
    QByteArray frame;
    frame.reserve(prefix.size() + code.size() + 1);
    frame.append(prefix);
    frame.append(code);
    frame.append(kFrameTerminator);
    return frame;
}

QByteArray textToBytes(QStringView text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    // By code point: a character outside the 16-bit range is one '?', not two.
    for (const char32_t c : text.toUcs4())
        bytes.append(c <= 0xFF ? static_cast<char>(c) : '?');
    return bytes;
}

} // namespace tavo::link
