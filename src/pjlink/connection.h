#pragma once
// One client connection: the greeting, the authentication of the first
// request, the splitting of what the client sends into request lines, and
// the answers, written in the order of the requests whatever order they are
// ready in.
//
// Everything read is bounded: a line longer than the standard allows closes
// the connection (after the answers to the requests before it); a turn of
// the event loop handles at most kLinesPerTurn of a client's lines, so that
// no client holds up another's greeting or answers; a client with too many
// requests unanswered is not read until answers go out (its bytes wait with
// the system, so TCP itself slows the client down); one that does not read
// its answers is closed. A connection without a request for the idle time
// is closed, one whose first request has not gone through (authenticated,
// when authentication is on) within the first-request time too. A wrong
// digest gets "PJLINK ERRA" and the connection is closed. A client that
// finishes sending gets its answers, then the connection is closed.

#include "pjlink/auth_guard.h"
#include "pjlink/log_throttle.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>

namespace tavo::pjlink {

class ClientStream;

using std::chrono::milliseconds;

// A connection's lines handled in one turn of the event loop.
inline constexpr int kLinesPerTurn = 8;

class Connection final : public QObject {
    Q_OBJECT
public:
    struct Settings {
        std::optional<QByteArray> password; // authentication on when set
        milliseconds idleTimeout{30000};
        milliseconds firstRequestTimeout{5000}; // until the first request goes through
        qsizetype maxUnanswered = 16;
        AuthGuard* guard = nullptr; // delays the answers to failed digests
    };

    // Called once per request line (digest removed); the connection expects
    // answer() with the same id, now or later.
    using RequestHandler =
        std::function<void(Connection& connection, quint64 id, QByteArrayView line)>;

    // Takes over the stream and sends the greeting.
    Connection(ClientStream* stream, const Settings& settings, RequestHandler onRequest,
               QObject* parent = nullptr);

    void answer(quint64 id, const QByteArray& answer);
    // "127.0.0.1:50312", for the log.
    const QString& peer() const;
    const QHostAddress& address() const;
    bool isOpen() const;
    // A request went through (authenticated, when authentication is on).
    bool isProven() const { return proven_; }
    // Closes at once, for a newer connection that takes this one's place.
    void evict();

Q_SIGNALS:
    void logLine(tavo::pjlink::LogKind kind, const QString& line);
    // The client is gone; this object may be deleted.
    void closed();

private:
    struct Slot {
        quint64 id;
        QByteArray answer;
        bool ready = false;
    };

    void readInput();
    void yieldTurn();
    void handleLine(QByteArray line);
    // Takes a digest off the front of the line when one is due or present;
    // false when it is missing or wrong.
    bool authenticate(QByteArray& line);
    void refuse(const QString& why);
    void flush();
    void closeFor(const QString& why);
    void stopReading();
    void finishInput();
    qsizetype maxLineLength() const;

    ClientStream* stream_;
    RequestHandler onRequest_;
    AuthGuard* guard_;
    QByteArray expectedDigest_; // empty without authentication
    bool authenticated_ = false;
    bool proven_ = false;
    milliseconds idleTimeout_;
    milliseconds firstRequestTimeout_;
    qsizetype maxUnanswered_;
    QTimer idle_;
    QByteArray inbox_;
    std::deque<Slot> unanswered_;
    quint64 nextId_ = 0;
    bool closing_ = false;       // nothing more is read
    bool closeWhenDone_ = false; // close once every answer is out
    bool readBlocked_ = false;   // stopped reading at maxUnanswered
    bool readScheduled_ = false; // a later turn will read on
};

} // namespace tavo::pjlink
