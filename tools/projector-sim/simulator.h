#pragma once
// The virtual projector as seen from the cable: received bytes go in, paced
// reply bytes come out. It joins the frame assembler, the projector state
// machine and the transmitter, and adds the misbehaviours a technician or a
// test may ask for: a projector that never answers, one that answers late,
// a line that picks up noise, and one flooded with bytes nobody asked for.
// Time is handed in by the caller, as with the projector itself.

#include "frame_assembler.h"
#include "projector.h"
#include "transmitter.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>
#include <QString>

#include <optional>

namespace tavo::sim {

// A reply leaves this long after its frame's carriage return came in.
inline constexpr Micros kProcessingDelay{3000};

struct Behaviour {
    bool silent = false;  // act on frames, answer nothing
    Millis late{0};       // extra delay before every reply
    Millis noiseEvery{0}; // a burst of random bytes at this interval; 0: none
    bool flood = false;   // an endless stream of unsolicited bytes
    quint32 seed = 1;     // of the noise, so a run can be repeated
};

// The text that a flooded line carries over and over.
inline constexpr char kFloodPattern[] = "flood ";

// One received frame and what became of it.
struct ReceivedFrame {
    Frame frame;
    QByteArray reply;      // empty when nothing goes back
    Micros replyReadyAt{}; // when the reply starts to leave
};

// One line for the simulator's log: rx "CR0" -> "00<CR>"; a frame that was
// too long or got no answer says so.
QString describe(const ReceivedFrame& received);

class Simulator {
public:
    Simulator(ProjectorConfig config, Behaviour behaviour, int baud, Micros start = Micros{0});

    QList<ReceivedFrame> receive(QByteArrayView bytes, Micros now);

    // Runs what falls due by now apart from the line itself: the power
    // transitions and the noise bursts. Returns the bursts put on the line.
    QList<QByteArray> advance(Micros now);

    // The bytes complete on the line by now; call advance() first, so that
    // noise due by now is on the line.
    QByteArray take(Micros now);

    // When advance() or take() next has something to do.
    std::optional<Micros> nextDue() const;

    const Projector& projector() const { return projector_; }

private:
    QByteArray noiseBurst();

    Behaviour behaviour_;
    Projector projector_;
    FrameAssembler assembler_;
    Transmitter transmitter_;
    QRandomGenerator random_;
    std::optional<Micros> nextNoise_;
};

} // namespace tavo::sim
