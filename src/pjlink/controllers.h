#pragma once
// The controllers that status notifications go to: those given on the
// command line, kept for good, and those the bridge learned (the sender of a
// search, the peer of a connection whose request went through), each
// forgotten a set time after it was last seen. The learned ones are at most
// a set number; a new one then takes the place of the one seen longest ago.
// Pure: the time is handed in.

#include <QHostAddress>
#include <QList>

#include <chrono>
#include <vector>

namespace tavo::pjlink {

// The address of every interface (0.0.0.0, ::, or either).
inline bool isAnyAddress(const QHostAddress& address) {
    return address.isEqual(QHostAddress::Any) || address.isEqual(QHostAddress::AnyIPv4) ||
           address.isEqual(QHostAddress::AnyIPv6);
}

struct Endpoint {
    QHostAddress address;
    quint16 port = 0;
    bool operator==(const Endpoint&) const = default;
};

class Controllers {
public:
    using Clock = std::chrono::steady_clock;

    Controllers(QList<Endpoint> given, int maxLearned, std::chrono::milliseconds forgetAfter);

    // Seen now; notifications then go to its notification port.
    void learn(const Endpoint& controller, Clock::time_point now);
    // Everyone to notify now, the given ones first; the forgotten ones are
    // dropped.
    QList<Endpoint> current(Clock::time_point now);

private:
    struct Learned {
        Endpoint endpoint;
        Clock::time_point seen;
    };

    QList<Endpoint> given_;
    int maxLearned_;
    std::chrono::milliseconds forgetAfter_;
    std::vector<Learned> learned_;
};

} // namespace tavo::pjlink
