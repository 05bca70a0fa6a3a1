#pragma once
// The PJLink server: listens for clients, keeps at most a set number of
// connections, reads each request through the mapping and answers it, from
// the bridge's own identity or through the projector line. Logs one line per
// request with its serial exchange, and one per connection event.

#include "pjlink/client_stream.h"
#include "pjlink/connection.h"
#include "pjlink/mapping.h"
#include "pjlink/projector_line.h"
#include "pjlink/protocol.h"

#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <optional>

namespace tavo::pjlink {

inline constexpr int kMaxConnections = 64;

struct BridgeSettings {
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = kDefaultPort;
    std::optional<QByteArray> password;
    Identity identity;
    std::chrono::milliseconds idleTimeout = kIdleTimeout;
    int maxConnections = kMaxConnections;
    qsizetype maxUnanswered = 16; // per connection
};

class Bridge final : public QObject {
    Q_OBJECT
public:
    Bridge(BridgeSettings settings, ProjectorLine& line, QObject* parent = nullptr);

    // False with errorString() when the address cannot be listened on.
    bool listen();
    QString errorString() const { return server_.errorString(); }
    quint16 serverPort() const { return server_.serverPort(); }
    int connectionCount() const { return int(connections_.size()); }

Q_SIGNALS:
    void logLine(const QString& line);

private:
    void onConnection(qintptr descriptor);
    void onRequest(Connection& connection, quint64 id, QByteArrayView line);
    void answer(Connection& connection, quint64 id, const QByteArray& request,
                const QByteArray& answer, const QString& detail);
    void logRequest(const QString& peer, const QByteArray& request, const QByteArray& answer,
                    const QString& detail);

    BridgeSettings settings_;
    ProjectorLine& line_;
    StreamServer server_;
    QSet<Connection*> connections_;
};

} // namespace tavo::pjlink
