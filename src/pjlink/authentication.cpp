#include "pjlink/authentication.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace tavo::pjlink {

namespace {

// Case folding without a branch on the byte, so that it leaks no timing.
unsigned char foldCase(char c) {
    const auto byte = static_cast<unsigned char>(c);
    const unsigned isUpper = static_cast<unsigned>(static_cast<unsigned>(byte - 'A') < 26u);
    return static_cast<unsigned char>(byte | (isUpper << 5));
}

} // namespace

QByteArray makeChallenge() {
    const quint32 value = QRandomGenerator::system()->generate();
    return QByteArray::number(value, 16).rightJustified(kChallengeLength, '0');
}

QByteArray digestOf(QByteArrayView challenge, QByteArrayView password) {
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(challenge);
    hash.addData(password);
    return hash.result().toHex();
}

bool digestsEqual(QByteArrayView received, QByteArrayView expected) {
    if (received.size() != expected.size())
        return false;
    unsigned difference = 0;
    for (qsizetype i = 0; i < received.size(); ++i)
        difference |= unsigned(foldCase(received[i]) ^ foldCase(expected[i]));
    return difference == 0;
}

std::optional<DigestedLine> takeDigest(QByteArrayView line) {
    qsizetype end = line.indexOf('%');
    if (end < 0)
        end = line.size();
    if (end == 0 || end > kDigestLength)
        return std::nullopt;
    return DigestedLine{line.first(end).toByteArray().rightJustified(kDigestLength, '0'),
                        line.sliced(end)};
}

} // namespace tavo::pjlink
