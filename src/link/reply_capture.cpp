#include "link/reply_capture.h"

#include "link/trace.h"

#include <algorithm>

namespace tavo::link {

ReplyCapture::ReplyCapture() : trace_(traceLine({})) {}

qsizetype ReplyCapture::append(QByteArrayView piece) {
    const qsizetype kept = std::min(piece.size(), kCapacity - bytes_.size());
    if (kept <= 0)
        return 0;
    const QByteArrayView head = piece.first(kept);
    bytes_.append(head);
    appendTraceTokens(trace_, head);
    return kept;
}

void ReplyCapture::clear() {
    bytes_.clear();
    trace_ = traceLine({});
}

} // namespace tavo::link
