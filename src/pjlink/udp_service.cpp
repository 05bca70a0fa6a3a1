#include "pjlink/udp_service.h"

#include "exchange/log_text.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>

namespace tavo::pjlink {

namespace {

constexpr QByteArrayView kSearch = "%2SRCH\r";
// A search is 7 bytes; anything much longer is not one and is not read.
constexpr qint64 kMaxDatagram = 64;
constexpr int kDatagramsPerTurn = 32;

QString endpointText(const QHostAddress& address, quint16 port) {
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

} // namespace

QByteArray hardwareAddressFor(const QHostAddress& address, int interfaceIndex) {
    QNetworkInterface found;
    if (isAnyAddress(address)) {
        found = QNetworkInterface::interfaceFromIndex(interfaceIndex);
    } else {
        for (const QNetworkInterface& candidate : QNetworkInterface::allInterfaces()) {
            for (const QNetworkAddressEntry& entry : candidate.addressEntries()) {
                if (address.isInSubnet(entry.ip(), entry.prefixLength()))
                    found = candidate;
            }
            if (found.isValid())
                break;
        }
    }
    const QByteArray mac = found.hardwareAddress().toLatin1();
    if (!found.isValid() || found.flags().testFlag(QNetworkInterface::IsLoopBack) ||
        mac.size() != kNoHardwareAddress.size())
        return kNoHardwareAddress.toByteArray();
    return mac.toUpper();
}

UdpService::UdpService(UdpSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)),
      controllers_(settings_.notify, settings_.maxLearned, settings_.forgetAfter),
      budget_(settings_.search) {
    connect(&socket_, &QUdpSocket::readyRead, this, &UdpService::readDatagrams);
}

bool UdpService::bind(const QHostAddress& address, quint16 port) {
    address_ = address;
    return socket_.bind(address, port);
}

bool UdpService::isSelf(const QHostAddress& address, quint16 port) const {
    if (port != socket_.localPort())
        return false;
    if (address.isEqual(address_))
        return true;
    return isAnyAddress(address_) &&
           (address.isLoopback() || QNetworkInterface::allAddresses().contains(address));
}

void UdpService::learn(const QHostAddress& address) {
    controllers_.learn({address, settings_.notifyPort}, Controllers::Clock::now());
}

int UdpService::notify(QByteArrayView command, QByteArrayView value) {
    const QByteArray datagram = formatAnswer(kClass2, command, value);
    int sent = 0;
    for (const Endpoint& target : controllers_.current(Controllers::Clock::now())) {
        // A controller on this bridge's own address and port cannot be there
        // (one learned on this machine, with the default ports).
        if (isSelf(target.address, target.port))
            continue;
        if (socket_.writeDatagram(datagram, target.address, target.port) >= 0) {
            ++sent;
            continue;
        }
        Q_EMIT logLine(LogKind::Other,
                       QStringLiteral("notification %1 to %2 not sent: %3")
                           .arg(link::quoted(datagram.chopped(1)),
                                endpointText(target.address, target.port), socket_.errorString()));
    }
    return sent;
}

void UdpService::readDatagrams() {
    for (int read = 0; socket_.hasPendingDatagrams(); ++read) {
        if (read == kDatagramsPerTurn) {
            // The rest wait for a later turn, so that the TCP clients are served meanwhile.
            QMetaObject::invokeMethod(this, &UdpService::readDatagrams, Qt::QueuedConnection);
            return;
        }
        const qint64 size = socket_.pendingDatagramSize();
        const QNetworkDatagram datagram = socket_.receiveDatagram(kMaxDatagram);
        const QHostAddress sender = datagram.senderAddress();
        const quint16 port = quint16(datagram.senderPort());
        if (size > kMaxDatagram || datagram.data() != kSearch) {
            Q_EMIT logLine(LogKind::ErrorRequest,
                           QStringLiteral("%1 UDP %2 bytes, not a search: dropped")
                               .arg(endpointText(sender, port))
                               .arg(size));
            continue;
        }
        answerSearch(sender, port, datagram.interfaceIndex());
    }
}

void UdpService::answerSearch(const QHostAddress& sender, quint16 port, int interfaceIndex) {
    if (!budget_.take(sender, SearchBudget::Clock::now())) {
        Q_EMIT logLine(LogKind::Refusal, QStringLiteral("%1 search not answered: too many searches")
                                             .arg(endpointText(sender, port)));
        return;
    }
    learn(sender);
    const QByteArray answer =
        formatAnswer(kClass2, "ACKN", hardwareAddressFor(address_, interfaceIndex));
    const bool sent = socket_.writeDatagram(answer, sender, port) == answer.size();
    // A controller hears PJLink datagrams on its notification port; one that
    // searched from another port may listen on either.
    const quint16 alsoTo = settings_.notifyPort;
    const bool also = sent && alsoTo != port && !isSelf(sender, alsoTo) &&
                      socket_.writeDatagram(answer, sender, alsoTo) == answer.size();
    Q_EMIT logLine(LogKind::Request,
                   QStringLiteral("%1 %2 -> %3%4")
                       .arg(endpointText(sender, port), link::quoted(kSearch.chopped(1)),
                            link::quoted(answer.chopped(1)),
                            !sent  ? QStringLiteral(" not sent: ") + socket_.errorString()
                            : also ? QStringLiteral(", also to port %1").arg(alsoTo)
                                   : QString()));
}

} // namespace tavo::pjlink
