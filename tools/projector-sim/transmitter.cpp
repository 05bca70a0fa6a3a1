#include "transmitter.h"

#include <algorithm>

namespace tavo::sim {

namespace {
constexpr long long kBitsPerCharacter = 10;
constexpr long long kMicrosPerSecond = 1'000'000;
} // namespace

Micros characterTime(int baud) {
    const long long bitsTime = kBitsPerCharacter * kMicrosPerSecond;
    return Micros{(bitsTime + baud / 2) / baud};
}

Transmitter::Transmitter(int baud, Micros start)
    : characterTime_(characterTime(baud)), lineFree_(start) {}

void Transmitter::send(const QByteArray& bytes, Micros readyAt) {
    if (!bytes.isEmpty())
        queue_.append({bytes, readyAt});
}

void Transmitter::setFlood(const QByteArray& pattern) {
    flood_ = pattern;
    floodNext_ = 0;
}

bool Transmitter::replyByteReady(Micros at) const {
    return !queue_.isEmpty() && queue_.first().readyAt <= at;
}

std::optional<Micros> Transmitter::nextDue() const {
    if (!flood_.isEmpty())
        return lineFree_ + characterTime_;
    if (queue_.isEmpty())
        return std::nullopt;
    return std::max(lineFree_, queue_.first().readyAt) + characterTime_;
}

QByteArray Transmitter::take(Micros now) {
    QByteArray out;
    for (auto due = nextDue(); due && *due <= now; due = nextDue()) {
        const Micros start = *due - characterTime_;
        if (replyByteReady(start)) {
            const QByteArray& head = queue_.first().bytes;
            out.append(head.at(sentOfHead_++));
            if (sentOfHead_ == head.size()) {
                queue_.removeFirst();
                sentOfHead_ = 0;
            }
        } else {
            out.append(flood_.at(floodNext_));
            floodNext_ = (floodNext_ + 1) % flood_.size();
        }
        lineFree_ = *due;
    }
    return out;
}

} // namespace tavo::sim
