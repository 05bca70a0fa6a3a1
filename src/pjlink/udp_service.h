#pragma once
// PJLink Class 2 over UDP, on the listen address and the PJLink port: answers
// a search ("%2SRCH") with "%2ACKN=" and the MAC address of the interface it
// listens on, to the port the search came from and to the sender's PJLink
// port (4352), and sends the status notifications ("%2POWR=1") to the
// controllers it knows. Never a broadcast, and never to itself.
//
// Bounded like the TCP side: a datagram longer than a search is dropped
// unread, a turn of the event loop reads a set number of datagrams, and the
// search answers go out within a budget per sender and in all. On the
// loopback interface, which has no hardware address, the MAC address sent is
// 00:00:00:00:00:00; so it is for an interface without one.

#include "pjlink/controllers.h"
#include "pjlink/log_throttle.h"
#include "pjlink/protocol.h"
#include "pjlink/search_budget.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include <chrono>

namespace tavo::pjlink {

inline constexpr QByteArrayView kNoHardwareAddress = "00:00:00:00:00:00";

struct UdpSettings {
    quint16 notifyPort = kDefaultPort; // where a learned controller hears notifications
    QList<Endpoint> notify;            // given with --notify
    int maxLearned = 16;
    std::chrono::milliseconds forgetAfter{std::chrono::minutes(30)};
    SearchLimits search;
};

// The MAC address, "AA:BB:CC:DD:EE:FF", of the interface that holds address
// (or, for an address of any interface, of the one with that index);
// kNoHardwareAddress for the loopback or an interface without one.
QByteArray hardwareAddressFor(const QHostAddress& address, int interfaceIndex = 0);

class UdpService final : public QObject {
    Q_OBJECT
public:
    explicit UdpService(UdpSettings settings, QObject* parent = nullptr);

    bool bind(const QHostAddress& address, quint16 port);
    QString errorString() const { return socket_.errorString(); }

    // A controller seen at this address: notifications go to its
    // notification port.
    void learn(const QHostAddress& address);
    // Sends "%2" + command + "=" + value + CR to every controller known now;
    // gives how many it went to.
    int notify(QByteArrayView command, QByteArrayView value);
    // The listening interface's MAC address, for LKUP.
    QByteArray hardwareAddress() const { return hardwareAddressFor(address_); }

Q_SIGNALS:
    void logLine(tavo::pjlink::LogKind kind, const QString& line);

private:
    // Whether a datagram to there would come back to this socket.
    bool isSelf(const QHostAddress& address, quint16 port) const;
    void readDatagrams();
    void answerSearch(const QHostAddress& sender, quint16 port, int interfaceIndex);

    UdpSettings settings_;
    QUdpSocket socket_;
    QHostAddress address_;
    Controllers controllers_;
    SearchBudget budget_;
};

} // namespace tavo::pjlink
