#include "exchange/reply_capture.h"

#include "exchange/trace.h"

#include <algorithm>

namespace tavo::link {

namespace {
constexpr qsizetype kLongestToken = 4; // "ACK "
constexpr qsizetype kLongestLine = 1 + kLongestToken * ReplyCapture::kCapacity;
} // namespace

ReplyCapture::ReplyCapture() : trace_(traceLine({})) {}

qsizetype ReplyCapture::append(QByteArrayView piece) {
    const qsizetype kept = std::min(piece.size(), kCapacity - bytes_.size());
    if (kept <= 0)
        return 0;
    const QByteArrayView head = piece.first(kept);
    bytes_.append(head);
    // appendTraceTokens reserves room for its tokens to the character, which
    // reallocates the whole line on every piece; growing it geometrically
    // first keeps that reservation within what is there.
    const qsizetype needed = trace_.size() + kLongestToken * kept;
    if (needed >= trace_.capacity())
        trace_.reserve(std::max(needed + 1, std::min(2 * trace_.capacity(), kLongestLine)));
    appendTraceTokens(trace_, head);
    return kept;
}

void ReplyCapture::clear() {
    bytes_.clear();
    trace_ = traceLine({});
}

} // namespace tavo::link
