#include "simulator.h"

#include "exchange/log_text.h"

#include <algorithm>
#include <utility>

namespace tavo::sim {

namespace {

constexpr int kMaxNoiseBurst = 4;

Millis toMillis(Micros time) {
    return std::chrono::floor<Millis>(time);
}

} // namespace

Simulator::Simulator(ProjectorConfig config, Behaviour behaviour, int baud, Micros start)
    : behaviour_(behaviour), projector_(std::move(config)), transmitter_(baud, start),
      random_(behaviour.seed) {
    if (behaviour_.flood)
        transmitter_.setFlood(kFloodPattern);
    if (behaviour_.noiseEvery > Millis{0})
        nextNoise_ = start + behaviour_.noiseEvery;
}

QList<ReceivedFrame> Simulator::receive(QByteArrayView bytes, Micros now) {
    QList<ReceivedFrame> exchanges;
    for (Frame& frame : assembler_.feed(bytes)) {
        ReceivedFrame exchange{std::move(frame), {}, now + kProcessingDelay + behaviour_.late};
        if (!exchange.frame.tooLong()) {
            QByteArray reply = projector_.answer(exchange.frame.head, toMillis(now));
            if (!behaviour_.silent)
                exchange.reply = std::move(reply);
        }
        transmitter_.send(exchange.reply, exchange.replyReadyAt);
        exchanges.append(std::move(exchange));
    }
    return exchanges;
}

QList<QByteArray> Simulator::advance(Micros now) {
    projector_.advance(toMillis(now));
    QList<QByteArray> bursts;
    while (nextNoise_ && *nextNoise_ <= now) {
        bursts.append(noiseBurst());
        transmitter_.send(bursts.last(), *nextNoise_);
        *nextNoise_ += behaviour_.noiseEvery;
    }
    return bursts;
}

QByteArray Simulator::take(Micros now) {
    return transmitter_.take(now);
}

std::optional<Micros> Simulator::nextDue() const {
    const auto line = transmitter_.nextDue();
    if (!line || !nextNoise_)
        return line ? line : nextNoise_;
    return std::min(*line, *nextNoise_);
}

QByteArray Simulator::noiseBurst() {
    QByteArray burst(random_.bounded(1, kMaxNoiseBurst + 1), '\0');
    for (char& byte : burst)
        byte = static_cast<char>(random_.bounded(256));
    return burst;
}

QString describe(const ReceivedFrame& received) {
    using link::quoted;
    const Frame& frame = received.frame;
    if (frame.tooLong())
        return QStringLiteral("rx %1... (%2 bytes) -> dropped, too long")
            .arg(quoted(frame.head.first(16)))
            .arg(frame.length);
    const QString answer =
        received.reply.isEmpty() ? QStringLiteral("no answer") : quoted(received.reply);
    return QStringLiteral("rx %1 -> %2").arg(quoted(frame.head), answer);
}

} // namespace tavo::sim
