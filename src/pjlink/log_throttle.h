#pragma once
// Keeps the bridge's log readable under a flood: each kind of line has a
// budget per interval; lines beyond it are counted instead of written, and
// at the end of the interval one line says how many of each kind were left
// out. The journal then keeps the lines that matter (port events, the first
// refusals) instead of dropping them among a million alike.

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>

namespace tavo::pjlink {

enum class LogKind {
    Request,      // a query, sent to the projector or answered here
    Setting,      // a request with commands for the projector: never left out
    ErrorRequest, // a request answered ERR1/ERR2 or a line that is not a request
    Connection,   // connected, disconnected, closed
    Refusal,      // a connection refused
    Authentication,
    Other, // never left out: port events and the like
};

struct LogBudget {
    std::chrono::milliseconds interval{10'000};
    int requests = 100;   // per interval
    bool verbose = false; // every request line, whatever the rate
    int others = 20;      // each other kind but settings and Other, which have no limit
};

class LogThrottle final : public QObject {
    Q_OBJECT
public:
    explicit LogThrottle(LogBudget budget, QObject* parent = nullptr);

    // Writes the line through logLine unless its kind has used its budget.
    void log(LogKind kind, const QString& line);
    // Whether a line of this kind is to be written now, counted as written
    // or as left out: for lines that cost time to build, before building them.
    bool admit(LogKind kind);
    void write(const QString& line) { Q_EMIT logLine(line); }

Q_SIGNALS:
    void logLine(const QString& line);

private:
    static constexpr std::size_t kKinds = std::size_t(LogKind::Other) + 1;
    int budgetOf(LogKind kind) const;
    void summarise();

    LogBudget budget_;
    QTimer interval_;
    std::array<int, kKinds> written_{};
    std::array<qint64, kKinds> leftOut_{};
};

} // namespace tavo::pjlink
