#pragma once
// Cuts the incoming byte stream into command frames: a frame is every byte
// before a carriage return. Line feeds are dropped wherever they stand, so a
// terminal that ends lines with CR LF works too, and empty frames are skipped.
// Memory stays bounded: of a frame longer than the limit only the head is
// kept, and the frame comes out marked as too long.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace tavo::sim {

struct Frame {
    QByteArray head;    // the frame, or its first bytes when it was too long
    qsizetype length{}; // bytes the frame had, line feeds not counted

    bool tooLong() const { return length > head.size(); }
};

class FrameAssembler {
public:
    static constexpr qsizetype kMaxFrame = 256;

    QList<Frame> feed(QByteArrayView bytes);

private:
    Frame current_;
};

} // namespace tavo::sim
