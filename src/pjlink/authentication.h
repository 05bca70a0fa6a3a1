#pragma once
// PJLink authentication: the projector greets with a random challenge, the
// client puts the MD5 digest of challenge and password (32 lower-case hex
// digits) in front of its first request. The challenge comes from the
// system's secure generator; the digest is compared in constant time, so the
// time an answer takes says nothing about how much of a guess was right.

#include <QByteArray>
#include <QByteArrayView>

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

} // namespace tavo::pjlink
