#pragma once
// Turns SIGINT, SIGTERM and SIGHUP (for a program in a pipeline also SIGQUIT
// and SIGPIPE) into a Qt signal on the event thread, so
// that a program asked to stop closes its ports (and so removes their lock
// files) instead of dying with them open. The handler only writes one byte
// into a pipe (the one thing it may safely do); a socket notifier on the
// pipe's other end emits stopRequested(). A signal that was ignored when the
// object was made (nohup, a background job of a script) stays ignored. The
// previous handlers come back with the object's end.

#include <QObject>
#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <memory>

namespace tavo::link {

// Which signals stop the program: a window or a service keeps the default
// effect of SIGQUIT and SIGPIPE; a program whose output goes down a pipe
// (| head -1) ends cleanly on them too.
enum class StopSet { Usual, WithQuitAndPipe };

class StopSignals : public QObject {
    Q_OBJECT

public:
    explicit StopSignals(QObject* parent = nullptr, StopSet set = StopSet::Usual);
    ~StopSignals() override;
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // False when no pipe could be made; the signals then keep their effect.
    bool isActive() const { return notifier_ != nullptr; }

Q_SIGNALS:
    void stopRequested(int signal);

private:
    void drain();

    static constexpr std::size_t kSignalCount = 5;

    int readEnd_ = -1;
    int writeEnd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::array<struct sigaction, kSignalCount> previous_{};
    std::array<bool, kSignalCount> handled_{};
};

// "SIGTERM" and so on, for the five stop signals.
const char* stopSignalName(int signal);

} // namespace tavo::link
