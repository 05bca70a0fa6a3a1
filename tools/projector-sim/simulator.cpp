#include "simulator.h"

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

QList<Exchange> Simulator::receive(QByteArrayView bytes, Micros now) {
    QList<Exchange> exchanges;
    for (Frame& frame : assembler_.feed(bytes)) {
        Exchange exchange{std::move(frame), {}, now + kProcessingDelay + behaviour_.late};
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

} // namespace tavo::sim
