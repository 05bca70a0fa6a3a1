#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace tavo::fuzz {

void fail(const char* condition, const char* file, int line, const QString& detail) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", file, line, condition,
                 qUtf8Printable(detail));
    std::fflush(stderr);
    std::abort();
}

QByteArray FuzzInput::bytes(qsizetype count) {
    const qsizetype taken = std::clamp<qsizetype>(count, 0, bytes_.size() - pos_);
    const QByteArray piece = bytes_.sliced(pos_, taken).toByteArray();
    pos_ += taken;
    return piece;
}

QByteArray FuzzInput::upTo(char separator) {
    const qsizetype end = bytes_.indexOf(separator, pos_);
    if (end < 0)
        return rest();
    const QByteArray piece = bytes(end - pos_);
    ++pos_;
    return piece;
}

QByteArray LargePieces::take(FuzzInput& input) {
    const qsizetype size = std::min(qsizetype(input.byte()) * 256, left_);
    const QByteArray pattern = input.bytes(input.byte() % 16 + 1);
    if (pattern.isEmpty() || size == 0)
        return {};
    left_ -= size;
    QByteArray piece = pattern.repeated(size / pattern.size() + 1);
    piece.truncate(size);
    return piece;
}

} // namespace tavo::fuzz
