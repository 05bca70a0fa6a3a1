#include "stop_signals.h"

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace tavo::sim {

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM};

// Written by the handler, so a plain global of a lock-free type.
volatile std::sig_atomic_t stopPipe = -1;

void onStopSignal(int signal) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(stopPipe, &byte, 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals)
        ::sigaction(signal, &action, nullptr);
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readEnd_ = UniqueFd(ends[0]);
    writeEnd_ = UniqueFd(ends[1]);
    stopPipe = writeEnd_.get();
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &StopSignals::drain);
    setHandler(onStopSignal);
}

StopSignals::~StopSignals() {
    if (notifier_)
        setHandler(SIG_DFL);
    stopPipe = -1;
}

void StopSignals::drain() {
    unsigned char byte = 0;
    int last = 0;
    while (::read(readEnd_.get(), &byte, 1) == 1)
        last = byte;
    if (last != 0)
        Q_EMIT stopRequested(last);
}

} // namespace tavo::sim
