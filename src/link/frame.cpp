#include "link/frame.h"

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
    for (const QChar c : text)
        bytes.append(c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '?');
    return bytes;
}

} // namespace tavo::link
