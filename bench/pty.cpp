#include "bench/pty.h"

#include "link/pseudo_terminal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tavo::bench {

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "tavo-bench: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

void makeNonBlocking(int fd) {
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0)
        fail("cannot make a pseudo-terminal non-blocking");
}

void waitWritable(int fd) {
    pollfd p{fd, POLLOUT, 0};
    ::poll(&p, 1, 1000);
}

} // namespace

Pty::Pty() : ends_(link::openPseudoTerminal()) {
    if (!ends_.isOpen()) {
        std::fprintf(stderr, "tavo-bench: cannot open a pseudo-terminal: %s\n",
                     qPrintable(ends_.error));
        std::exit(1);
    }
    makeNonBlocking(slave());
}

bool Pty::readable(int fd) {
    return waitReadable(fd, 0);
}

bool Pty::waitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0 && (p.revents & POLLIN);
}

qsizetype Pty::drain(int fd) {
    char buffer[4096];
    qsizetype total = 0;
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        total += n;
    return total;
}

void Pty::writeAll(int fd, QByteArrayView bytes) {
    for (qsizetype done = link::writeWhatFits(fd, bytes); done < bytes.size();
         done += link::writeWhatFits(fd, bytes.sliced(done))) {
        if (errno != EAGAIN)
            fail("cannot write to a pseudo-terminal");
        waitWritable(fd);
    }
}

} // namespace tavo::bench
