#include "frame_assembler.h"

#include <utility>

namespace tavo::sim {

QList<Frame> FrameAssembler::feed(QByteArrayView bytes) {
    QList<Frame> frames;
    for (const char byte : bytes) {
        if (byte == '\n')
            continue;
        if (byte != '\r') {
            if (current_.head.size() < kMaxFrame)
                current_.head.append(byte);
            ++current_.length;
            continue;
        }
        if (current_.length > 0)
            frames.append(std::exchange(current_, Frame{}));
    }
    return frames;
}

} // namespace tavo::sim
