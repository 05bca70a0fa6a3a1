#pragma once
// PJLink authentication: the projector greets with a random challenge, the
// client puts the MD5 digest of challenge and password (32 lower-case hex
// digits) in front of its first request. The challenge comes from the
// system's secure generator; the digest is compared in constant time, so the
// time an answer takes says nothing about how much of a guess was right.

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

namespace tavo::pjlink {

inline constexpr qsizetype kChallengeLength = 8;
inline constexpr qsizetype kDigestLength = 32;
// The longest password a client can be expected to handle.
inline constexpr qsizetype kMaxPasswordLength = 32;

// Eight lower-case hex digits from the system's secure random source.
QByteArray makeChallenge();

// MD5 of challenge followed by password, as 32 lower-case hex digits.
QByteArray digestOf(QByteArrayView challenge, QByteArrayView password);

// Equal length and equal bytes, hex letters in either case; the time taken
// depends on the lengths only.
bool digestsEqual(QByteArrayView received, QByteArrayView expected);

// A line split into the digest in front and the request after it.
struct DigestedLine {
    QByteArray digest; // 32 characters
    QByteArrayView request;
};

// The digest is what stands before the request's header "%": 32 hex digits,
// or fewer, whose leading zeros are then put back (a widely used client
// writes the digest as a number and drops them). Nothing when nothing or
// more than 32 bytes stand there.
std::optional<DigestedLine> takeDigest(QByteArrayView line);

} // namespace tavo::pjlink
