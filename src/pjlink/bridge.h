#pragma once
// The PJLink server: listens for clients, keeps at most a set number of
// connections (and of connections from one address; when the table is full,
// the oldest connection that has not made a request gives way to a new one,
// so clients that have are never shut out by ones that have not), guards
// the password against guessing per address, reads each request through the
// mapping and answers it, from the bridge's own identity or through the
// projector line. Logs a line per request with its serial exchange and per
// connection event, through a throttle that summarises floods.

#include "pjlink/auth_guard.h"
#include "pjlink/class2.h"
#include "pjlink/client_stream.h"
#include "pjlink/connection.h"
#include "pjlink/log_throttle.h"
#include "pjlink/mapping.h"
#include "pjlink/projector_line.h"
#include "pjlink/protocol.h"
#include "pjlink/status_watch.h"
#include "pjlink/udp_service.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

namespace tavo::pjlink {

inline constexpr int kMaxConnections = 64;
inline constexpr int kMaxConnectionsPerAddress = 16;
inline constexpr std::chrono::seconds kFirstRequestTimeout{5};

struct BridgeSettings {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = kDefaultPort;
    std::optional<QByteArray> password;
    Identity identity;
    std::chrono::milliseconds idleTimeout = kIdleTimeout;
    int maxConnections = kMaxConnections;
    int maxPerAddress = kMaxConnectionsPerAddress;
    std::chrono::milliseconds firstRequestTimeout = kFirstRequestTimeout;
    qsizetype maxUnanswered = 16; // per connection
    GuessingLimits guessing;
    LogBudget log;
    UdpSettings udp;
    // The status notifications' poll; zero: no poll, no notifications.
    std::chrono::milliseconds pollPeriod = kDefaultPollPeriod;
};

class Bridge final : public QObject {
    Q_OBJECT
public:
    Bridge(BridgeSettings settings, ProjectorLine& line, QObject* parent = nullptr);

    // False with errorString() when the address cannot be listened on, for
    // TCP or for the search's UDP on the same port.
    bool listen();
    QString errorString() const { return error_; }
    quint16 serverPort() const { return server_.serverPort(); }
    int connectionCount() const { return int(connections_.size()); }

Q_SIGNALS:
    void logLine(const QString& line);

private:
    void onConnection(qintptr descriptor);
    // Why a new connection from this address cannot come in; empty when it
    // can (after the oldest connection without a request gave way to it).
    QString admit(const QHostAddress& address);
    void onRequest(Connection& connection, quint64 id, QByteArrayView line);
    void answer(Connection& connection, quint64 id, const QByteArray& request,
                const QByteArray& answer, const QString& detail,
                LogKind kind = LogKind::ErrorRequest);
    void logRequest(LogKind kind, const QString& peer, const QByteArray& request,
                    const QByteArray& answer, const QString& detail);
    void log(LogKind kind, const QString& line) { throttle_.log(kind, line); }

    BridgeSettings settings_;
    ProjectorLine& line_;
    StreamServer server_;
    QList<Connection*> connections_; // oldest first
    AuthGuard guard_;
    LogThrottle throttle_;
    FreezeMemory freeze_;
    UdpService udp_;
    std::unique_ptr<StatusWatch> watch_;
    QString error_;
};

} // namespace tavo::pjlink
