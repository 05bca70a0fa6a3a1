#include "projector.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace tavo::sim {

namespace {

constexpr char kCr = '\r';
constexpr std::chrono::hours kHour{1};

using Reply = QByteArray (Projector::*)() const;
using Effect = void (*)(ProjectorState&, Millis now);

struct Query {
    std::string_view code;
    Reply reply;
};

// The nine queries whose replies the panel decodes come first, then the six
// whose replies it only shows.
constexpr Query kQueries[] = {
    {"CR0", &Projector::powerReply},
    {"CR1", &Projector::inputReply},
    {"CR4", &Projector::screenReversalReply},
    {"CR3", &Projector::lampHoursReply},
    {"CR6", &Projector::temperatureReply},
    {"CRA", &Projector::muteReply},
    {"CR9", &Projector::statusTextReply},
    {"CR PRESSURE", &Projector::pressureReply},
    {"CR7", &Projector::lampStateReply},
    {"CR PROJH", &Projector::projectorHoursReply},
    {"CR KEYDIS", &Projector::keyLockReply},
    {"CR INPUT", &Projector::inputNameReply},
    {"CR LAMPMODE", &Projector::lampModeReply},
    {"CR FANSPEED", &Projector::fanSpeedReply},
    {"CR SCREEN", &Projector::screenSizeReply},
};

void powerOn(ProjectorState& s, Millis now) {
    if (s.power != Power::Standby)
        return;
    s.power = Power::CountDown;
    s.powerSince = now;
}

// Switching off ends the lamp's On period and clears the mutes and the
// freeze, so that the next power on starts with picture and sound.
void powerOff(ProjectorState& s, Millis now) {
    if (s.power != Power::On)
        return;
    s.lampOnTime += now - s.powerSince;
    s.power = Power::Cooling;
    s.powerSince = now;
    s.pictureMute = false;
    s.soundMute = false;
    s.freeze = false;
}

template <Input Selected> void selectInput(ProjectorState& s, Millis) {
    s.input = Selected;
}

template <bool ProjectorState::*Flag, bool Value> void setFlag(ProjectorState& s, Millis) {
    s.*Flag = Value;
}

struct Command {
    std::string_view code;
    Effect effect;
};

constexpr Command kStateCommands[] = {
    {"C00", powerOn},
    {"C01", powerOff},
    {"C05", selectInput<Input::Pc1>},
    {"C06", selectInput<Input::Pc2>},
    {"C07", selectInput<Input::Video>},
    {"C0B", setFlag<&ProjectorState::soundMute, true>},
    {"C0C", setFlag<&ProjectorState::soundMute, false>},
    {"C0D", setFlag<&ProjectorState::pictureMute, true>},
    {"C0E", setFlag<&ProjectorState::pictureMute, false>},
    {"C43", setFlag<&ProjectorState::freeze, true>},
    {"C44", setFlag<&ProjectorState::freeze, false>},
};

// Commands that set a word-valued setting to the word its query reports.
struct WordCommand {
    std::string_view code;
    QByteArray ProjectorState::*setting;
    const char* word;
};

const WordCommand kWordCommands[] = {
    {"C0F", &ProjectorState::screenSize, "REGULAR"},
    {"C10", &ProjectorState::screenSize, "WIDE"},
    {"C73", &ProjectorState::lampMode, "AUTO"},
    {"C74", &ProjectorState::lampMode, "NORMAL"},
    {"C75", &ProjectorState::lampMode, "ECO"},
    {"CF FANSPEED MAX", &ProjectorState::fanSpeed, "MAX"},
    {"CF FANSPEED NOR", &ProjectorState::fanSpeed, "NOR"},
    {"CF KEYDIS NONE", &ProjectorState::keyLock, "NONE"},
    {"CF KEYDIS RC", &ProjectorState::keyLock, "RC"},
    {"CF KEYDIS KEY", &ProjectorState::keyLock, "KEY"},
    {"C50", &ProjectorState::pc1Terminal, "RGB"},
    {"C52", &ProjectorState::pc1Terminal, "DVI-PC"},
    {"C53", &ProjectorState::pc1Terminal, "DVI-AV"},
    {"C25", &ProjectorState::pc2Terminal, "RGB"},
    {"C26", &ProjectorState::pc2Terminal, "SCART"},
    {"CF TERMINAL COMPUTER", &ProjectorState::pc2Direction, "COMPUTER"},
    {"CF TERMINAL MONITOR", &ProjectorState::pc2Direction, "MONITOR"},
    {"CF INPUT VIDEO AUTO", &ProjectorState::videoTerminal, "AUTO"},
    {"CF INPUT VIDEO VIDEO", &ProjectorState::videoTerminal, "VIDEO"},
    {"CF INPUT VIDEO S-VIDEO", &ProjectorState::videoTerminal, "S-VIDEO"},
    {"CF INPUT VIDEO YPBPR", &ProjectorState::videoTerminal, "YPBPR"},
};

// Commands acknowledged without a visible effect here: menu and cursor
// keys, picture presets and adjustments, logo capture, timers.
constexpr std::string_view kPlainCommands[] = {
    "C09", "C0A", "C11", "C12", "C13", "C14", "C15", "C16", "C17", "C1C", "C1D", "C1E",
    "C20", "C21", "C27", "C30", "C31", "C3A", "C3B", "C3C", "C3D", "C3F", "C46", "C47",
    "C4A", "C4B", "C7A", "C7B", "C7C", "C7D", "C89", "C8A", "C8E", "C8F",
};

struct PowerFacts {
    const char* statusCode; // reply to "CR0"
    const char* word;       // in the readable status text
    const char* lampState;  // reply to "CR7": both lamps lit or both off, 2 lamp mode
    Temperatures temperatures;
};

PowerFacts facts(Power power) {
    switch (power) {
    case Power::Standby:
        return {"80", "STANDBY", "00", {25.0, 26.5, 27.0}};
    case Power::CountDown:
        return {"40", "COUNTDOWN", "03", {28.5, 31.0, 30.5}};
    case Power::On:
        return {"00", "ON", "03", {35.5, 42.0, 38.5}};
    case Power::Cooling:
        return {"20", "COOLING", "00", {31.0, 37.5, 34.0}};
    }
    return {};
}

const char* inputWord(Input input) {
    switch (input) {
    case Input::Pc1:
        return "PC1";
    case Input::Pc2:
        return "PC2";
    case Input::Video:
        return "VIDEO";
    }
    return "";
}

QByteArray line(QByteArray text) {
    return text.append(kCr);
}

// One temperature as five characters, "035.5": the fixed width keeps the
// three fields at reply characters 1-5, 7-11 and 13-17, where the panel
// reads them (it skips the leading digit of the middle one, always 0 here).
QByteArray temperatureField(double celsius) {
    return QByteArray::number(std::clamp(celsius, 0.0, 99.9), 'f', 1).rightJustified(5, '0');
}

QByteArray hours(int value) {
    return QByteArray::number(value).rightJustified(5, '0');
}

} // namespace

Projector::Projector(ProjectorConfig config) : config_(std::move(config)) {}

void Projector::advance(Millis now) {
    now_ = std::max(now, now_);
    const auto finish = [this](Millis duration, Power next) {
        const Millis end = state_.powerSince + duration;
        if (now_ < end)
            return;
        state_.power = next;
        state_.powerSince = end;
    };
    if (state_.power == Power::CountDown)
        finish(config_.countDown, Power::On);
    else if (state_.power == Power::Cooling)
        finish(config_.cooling, Power::Standby);
}

QByteArray Projector::answer(QByteArrayView frame, Millis now) {
    advance(now);
    const std::string_view code(frame.data(), frame.size());
    for (const auto& query : kQueries) {
        if (query.code == code)
            return (this->*query.reply)();
    }
    for (const auto& command : kStateCommands) {
        if (command.code == code) {
            command.effect(state_, now_);
            return QByteArray(1, kAck);
        }
    }
    for (const auto& command : kWordCommands) {
        if (command.code == code) {
            state_.*command.setting = command.word;
            return QByteArray(1, kAck);
        }
    }
    const bool plain = std::ranges::find(kPlainCommands, code) != std::end(kPlainCommands);
    return QByteArray(1, plain ? kAck : kNak);
}

Millis Projector::lampTime() const {
    const Millis running = state_.power == Power::On ? now_ - state_.powerSince : Millis{0};
    return state_.lampOnTime + running;
}

int Projector::lampHours() const {
    return config_.lampHours + static_cast<int>(lampTime() / kHour);
}

int Projector::projectorHours() const {
    return config_.projectorHours + static_cast<int>(lampTime() / kHour);
}

Temperatures Projector::temperatures() const {
    return facts(state_.power).temperatures;
}

QByteArray Projector::powerReply() const {
    return line(facts(state_.power).statusCode);
}

QByteArray Projector::inputReply() const {
    return line(QByteArray::number(static_cast<int>(state_.input) + 1));
}

QByteArray Projector::screenReversalReply() const {
    return line(config_.screenReversal);
}

QByteArray Projector::lampHoursReply() const {
    return line(hours(lampHours()));
}

QByteArray Projector::temperatureReply() const {
    const Temperatures t = temperatures();
    return line(temperatureField(t.intake) + ',' + temperatureField(t.exhaust) + ',' +
                temperatureField(t.internal));
}

// 00 nothing muted, 01 picture, 02 sound, 03 both; FF while in standby.
QByteArray Projector::muteReply() const {
    if (state_.power == Power::Standby)
        return line("FF");
    const int code = (state_.pictureMute ? 1 : 0) | (state_.soundMute ? 2 : 0);
    return line(QByteArray::number(code).rightJustified(2, '0'));
}

QByteArray Projector::lampStateReply() const {
    return line(facts(state_.power).lampState);
}

QByteArray Projector::statusTextReply() const {
    return line(QByteArray(facts(state_.power).word) + ' ' + inputWord(state_.input) + ' ' +
                QByteArray::number(lampHours()) + 'H');
}

QByteArray Projector::pressureReply() const {
    return line(QByteArray::number(config_.pressureRaw));
}

QByteArray Projector::projectorHoursReply() const {
    return line(hours(projectorHours()));
}

QByteArray Projector::keyLockReply() const {
    return line(state_.keyLock);
}

QByteArray Projector::inputNameReply() const {
    const QByteArray& terminal = state_.input == Input::Pc1   ? state_.pc1Terminal
                                 : state_.input == Input::Pc2 ? state_.pc2Terminal
                                                              : state_.videoTerminal;
    return line(QByteArray(inputWord(state_.input)) + ' ' + terminal);
}

QByteArray Projector::lampModeReply() const {
    return line(state_.lampMode);
}

QByteArray Projector::fanSpeedReply() const {
    return line(state_.fanSpeed);
}

QByteArray Projector::screenSizeReply() const {
    return line(state_.screenSize);
}

} // namespace tavo::sim
