#include "link/stop_signals.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace tavo::link {

namespace {

struct StopSignal {
    int number;
    const char* name;
};

// The usual three first; StopSet::Usual takes only those.
constexpr StopSignal kStopSignals[] = {{SIGINT, "SIGINT"},
                                       {SIGTERM, "SIGTERM"},
                                       {SIGHUP, "SIGHUP"},
                                       {SIGQUIT, "SIGQUIT"},
                                       {SIGPIPE, "SIGPIPE"}};
constexpr std::size_t kUsualCount = 3;

// Written by the handler, so a plain global of a lock-free type.
volatile std::sig_atomic_t stopPipe = -1;

void onStopSignal(int signal) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(stopPipe, &byte, 1);
    errno = savedErrno;
}

} // namespace

const char* stopSignalName(int signal) {
    for (const StopSignal& stop : kStopSignals) {
        if (stop.number == signal)
            return stop.name;
    }
    return "signal";
}

StopSignals::StopSignals(QObject* parent, StopSet set) : QObject(parent) {
    static_assert(std::size(kStopSignals) == kSignalCount);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readEnd_ = ends[0];
    writeEnd_ = ends[1];
    stopPipe = writeEnd_;
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &StopSignals::drain);

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    const std::size_t count = set == StopSet::Usual ? kUsualCount : kSignalCount;
    for (std::size_t i = 0; i < count; ++i) {
        const int signal = kStopSignals[i].number;
        if (::sigaction(signal, nullptr, &previous_[i]) != 0 || previous_[i].sa_handler == SIG_IGN)
            continue;
        handled_[i] = ::sigaction(signal, &action, nullptr) == 0;
    }
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < kSignalCount; ++i) {
        if (handled_[i])
            ::sigaction(kStopSignals[i].number, &previous_[i], nullptr);
    }
    stopPipe = -1;
    notifier_.reset();
    if (readEnd_ >= 0)
        ::close(readEnd_);
    if (writeEnd_ >= 0)
        ::close(writeEnd_);
}

void StopSignals::drain() {
    unsigned char byte = 0;
    int last = 0;
    while (::read(readEnd_, &byte, 1) == 1)
        last = byte;
    if (last != 0)
        Q_EMIT stopRequested(last);
}

} // namespace tavo::link
