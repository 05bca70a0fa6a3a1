#pragma once
// The reply buffer: the bytes received since it was last emptied, with their
// trace line kept up to date piece by piece, so a receive costs time in
// proportion to the new bytes. The buffer keeps its first kCapacity bytes and
// drops later ones until it is emptied: an endless unsolicited stream cannot
// grow memory, and the decoder still sees the start of a reply.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tavo::link {

class ReplyCapture {
public:
    static constexpr qsizetype kCapacity = 32767;

    ReplyCapture();

    // Appends what still fits; returns the number of bytes kept.
    qsizetype append(QByteArrayView piece);
    void clear();

    const QByteArray& bytes() const { return bytes_; }
    const QString& trace() const { return trace_; }

private:
    QByteArray bytes_;
    QString trace_;
};

} // namespace tavo::link
