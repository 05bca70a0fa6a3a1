#pragma once
// A virtual RA20/RB20 projector as a pure state machine: it takes one command
// frame (the bytes before the carriage return) and the current time, and
// returns the bytes it answers. No I/O and no clock of its own, so a test can
// walk it through a power cycle in virtual milliseconds.
//
// Answers: a status query gets its reply text and a carriage return, a known
// command a lone ACK (6), anything else a lone NAK (21).

#include <QByteArray>
#include <QByteArrayView>

#include <chrono>

namespace tavo::sim {

using Millis = std::chrono::milliseconds;

inline constexpr char kAck = 6;
inline constexpr char kNak = 21;

enum class Power { Standby, CountDown, On, Cooling };
enum class Input { Pc1, Pc2, Video };

struct Temperatures {
    double intake = 0;
    double exhaust = 0;
    double internal = 0;
};

struct ProjectorConfig {
    Millis countDown{3000};
    Millis cooling{5000};
    int lampHours = 1234;      // at start; grows with every hour the lamp is on
    int projectorHours = 2345; // likewise
    int pressureRaw = 852;     // sensor reading 0..1023; 852 is about 1012 hPa
    QByteArray screenReversal = "11";
};

// Everything a frame can change or a query can report. The word-valued
// settings hold the very words that their query replies carry.
struct ProjectorState {
    Power power = Power::Standby;
    Millis powerSince{0}; // when the current power state began
    Input input = Input::Pc1;
    bool pictureMute = false; // "no show"
    bool soundMute = false;
    bool freeze = false;
    QByteArray screenSize = "REGULAR";
    QByteArray lampMode = "AUTO";
    QByteArray fanSpeed = "NOR";
    QByteArray keyLock = "NONE";
    QByteArray pc1Terminal = "RGB";
    QByteArray pc2Terminal = "RGB";
    QByteArray pc2Direction = "COMPUTER";
    QByteArray videoTerminal = "AUTO";
    Millis lampOnTime{0}; // lamp time of finished On periods
};

class Projector {
public:
    explicit Projector(ProjectorConfig config = {});

    // Runs the timed power transitions due by now, then handles the frame.
    QByteArray answer(QByteArrayView frame, Millis now);

    // Runs the timed power transitions due by now: count down ends in On,
    // cooling in Standby. Time that goes backwards is taken as no time.
    void advance(Millis now);

    const ProjectorState& state() const { return state_; }
    int lampHours() const;
    int projectorHours() const;
    Temperatures temperatures() const;

    // The full reply to each status query, carriage return included.
    QByteArray powerReply() const;
    QByteArray inputReply() const;
    QByteArray screenReversalReply() const;
    QByteArray lampHoursReply() const;
    QByteArray temperatureReply() const;
    QByteArray muteReply() const;
    QByteArray lampStateReply() const;
    QByteArray statusTextReply() const;
    QByteArray pressureReply() const;
    QByteArray projectorHoursReply() const;
    QByteArray keyLockReply() const;
    QByteArray inputNameReply() const;
    QByteArray lampModeReply() const;
    QByteArray fanSpeedReply() const;
    QByteArray screenSizeReply() const;

private:
    Millis lampTime() const;

    ProjectorConfig config_;
    ProjectorState state_;
    Millis now_{0};
};

} // namespace tavo::sim
