#pragma once
// The projector's transmit side, paced like a real serial line: one
// character takes ten bit times (start bit, 8 data bits, stop bit), so at
// 19200 baud a character is complete every 521 us and at 9600 every 1042 us.
// Bytes are handed over with the time they are ready to go; take() gives
// back the bytes whose stop bit has left by a given time, so a reply reaches
// the other end in pieces, as on a cable. With a flood pattern set the line
// never idles: whenever no reply byte is ready, the next pattern byte goes.

#include <QByteArray>
#include <QList>

#include <chrono>
#include <optional>

namespace tavo::sim {

using Micros = std::chrono::microseconds;

// Time on the line of one character at the given speed (8N1).
Micros characterTime(int baud);

class Transmitter {
public:
    explicit Transmitter(int baud, Micros start = Micros{0});

    // Queues bytes behind everything queued before; none of them leaves
    // before readyAt.
    void send(const QByteArray& bytes, Micros readyAt);
    void setFlood(const QByteArray& pattern);

    // The bytes complete on the line by now, in order.
    QByteArray take(Micros now);

    // When the next byte will be complete, if one is coming.
    std::optional<Micros> nextDue() const;

private:
    struct Chunk {
        QByteArray bytes;
        Micros readyAt;
    };

    bool replyByteReady(Micros at) const;

    Micros characterTime_;
    Micros lineFree_; // when the character on the line is complete
    QList<Chunk> queue_;
    qsizetype sentOfHead_ = 0;
    QByteArray flood_;
    qsizetype floodNext_ = 0;
};

} // namespace tavo::sim
